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
    const QModelIndexList selected = lvwList->selectionModel()->selectedRows();
    std::vector<int> rows;
    rows.reserve(static_cast<size_t>(selected.size()));
    int topmost = model_->size() - 1;
    for (const QModelIndex& index : selected) {
        rows.push_back(index.row());
        topmost = std::min(topmost, index.row());
    }
    model_->removeRowSet(std::move(rows));
    // The row that took the topmost removed row's place, or the new last row.
    if (model_->size() > 0) {
        const int select = std::min(topmost, model_->size() - 1);
        lvwList->selectionModel()->setCurrentIndex(model_->index(select, 0),
                                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    RefreshFormState();
}

}  // namespace varnelt
