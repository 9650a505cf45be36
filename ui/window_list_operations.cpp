// Sorting and pruning the target list.
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>

#include "targets/target_list_model.h"
#include "ui/main_window.h"

namespace varnelt {

void MainWindow::lvwList_ColumnClick(int column) {
    if (model_->size() == 0) {
        return;
    }
    // One direction for every column, flipped by each click.
    sortDescending_ = !sortDescending_;
    model_->sortBy(column, sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void MainWindow::cmdLogClear_Click(int index) {
    if (model_->size() == 0) {
        return;
    }
    if (index == 0) {
        model_->clear();
        RefreshFormState();
        return;
    }
    // The selection's ranges, not selectedRows(), which slows to minutes on scattered rows.
    std::vector<int> rows;
    int topmost = model_->size() - 1;
    for (const QItemSelectionRange& range : lvwList->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            rows.push_back(row);
        }
        topmost = std::min(topmost, range.top());
    }
    model_->removeRowSet(std::move(rows));
    // The row that took the topmost removed row's place, or the new last row.
    if (model_->size() > 0) {
        const int select = std::min(topmost, model_->size() - 1);
        lvwList->selectionModel()->setCurrentIndex(
            model_->index(select, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    RefreshFormState();
}

}  // namespace varnelt
