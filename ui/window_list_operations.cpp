// Sorting and pruning the target list.
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>

#include "targets/target_list_model.h"
#include "ui/main_window.h"

namespace varnelt {

void MainWindow::lvwList_ColumnClick(int column) {
    if (model_->size() != 0) {
        // One direction for every column, flipped by each click. The rows are sorted once:
        // rows added later go to the end.
        sortDescending_ = !sortDescending_;
        sortColumn_ = column;
        model_->sortBy(column, sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
    }
    // The header moves its indicator on every click of its own; it shows the last sort.
    lvwList->horizontalHeader()->setSortIndicator(
        sortColumn_, sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
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
    std::vector<int> rows = selectedRows();
    const int topmost = rows.empty() ? model_->size() - 1 : rows.front();
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
