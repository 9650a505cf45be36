// What people do with the rows themselves: show a file in its folder, copy paths, remove rows,
// from the list's own menu or by double-clicking a row.
#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMenu>
#include <QSet>
#include <QTableView>

#include <algorithm>

#include "base/file_urls.h"
#include "targets/target_list_model.h"
#include "ui/desktop.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

namespace varnelt {

std::vector<int> MainWindow::selectedRows() const {
    // The selection's ranges, not selectedRows(), which slows to minutes on scattered rows.
    std::vector<int> rows;
    for (const QItemSelectionRange& range : lvwList->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            rows.push_back(row);
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void MainWindow::refreshRowMenu() {
    const bool selected = lvwList->selectionModel()->hasSelection();
    // Showing and copying only read the rows; removing them waits while the list is in use.
    mnuListOpenFolder->setEnabled(selected);
    mnuListCopyPath->setEnabled(selected);
    mnuListDelete->setEnabled(selected && !busy_);
}

void MainWindow::lvwList_ContextMenu(const QContextMenuEvent& request) {
    // A locked list offers nothing, as any locked control.
    if (!lvwList->isEnabled()) {
        return;
    }
    QWidget* viewport = lvwList->viewport();
    QPoint at;
    if (request.reason() == QContextMenuEvent::Mouse) {
        // A click on a row outside the selection acts on that row, as in a file manager.
        at = request.globalPos();
        const QModelIndex clicked = lvwList->indexAt(viewport->mapFromGlobal(at));
        if (clicked.isValid() && !lvwList->selectionModel()->isRowSelected(clicked.row())) {
            selectRow(clicked.row());
        }
    } else {
        const QRect current = lvwList->visualRect(lvwList->currentIndex());
        at = viewport->mapToGlobal(viewport->rect().contains(current.center()) ? current.center()
                                                                               : QPoint(0, 0));
    }
    refreshRowMenu();
    mnuList->popup(at);
}

void MainWindow::openFolders(const std::vector<int>& rows) {
    QList<QUrl> files;
    for (const int row : rows) {
        files << FileUrl(model_->row(row).nativePath());
    }
    if (files.isEmpty() || desktop_.showItems(files)) {
        return;
    }
    // Without a file manager that selects files, each folder is opened once.
    QSet<QByteArray> opened;
    for (const int row : rows) {
        const TargetRow& target = model_->row(row);
        if (opened.contains(target.nativeFolder)) {
            continue;
        }
        opened.insert(target.nativeFolder);
        if (!desktop_.openUrl(FileUrl(target.nativeFolder))) {
            dialogs_.message(this, Dialogs::Icon::Critical, tr("エラー"),
                             tr("フォルダを開けませんでした。\n%1").arg(target.folder),
                             Dialogs::Buttons::Ok);
            return;
        }
    }
}

void MainWindow::mnuListOpenFolder_Click() {
    openFolders(selectedRows());
}

void MainWindow::mnuListCopyPath_Click() {
    QStringList paths;
    for (const int row : selectedRows()) {
        paths << model_->row(row).path();
    }
    QGuiApplication::clipboard()->setText(paths.join(u'\n'));
}

void MainWindow::lvwList_DblClick(const QModelIndex& index) {
    if (index.isValid()) {
        openFolders({index.row()});
    }
}

}  // namespace varnelt
