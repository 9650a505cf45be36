// Registration from the window: the picker buttons, drops on the list, and paths handed over
// at start-up.
#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QTableView>

#include "targets/registrar.h"
#include "targets/target_list_model.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

namespace varnelt {

void MainWindow::flushPendingRows() {
    model_->append(std::move(pendingRows_));
}

void MainWindow::pump() {
    if (!pumpDue()) {
        return;
    }
    lvwList->setVisible(!mnuOptionFastMode->isChecked());
    flushPendingRows();
    QCoreApplication::processEvents();
}

Registrar MainWindow::makeRegistrar() {
    return Registrar({
        .addRow = [this](TargetRow&& row) { pendingRows_.push_back(std::move(row)); },
        .filter = [this] { return currentFilter(); },
        .stopRequested = [this] { return stopRequested_; },
        .pump = [this] { pump(); },
        .reportError = [this](const RuntimeError& error) { ShowRuntimeError(error); },
    });
}

void MainWindow::registerWith(const std::function<void()>& work) {
    lastPump_ = 0;  // the first file already lets the window answer
    work();
    flushPendingRows();
}

void MainWindow::RegisterPaths(const QByteArrayList& paths) {
    Registrar registrar = makeRegistrar();
    registerWith([&] {
        for (const QByteArray& path : paths) {
            if (const MaybeError error = registrar.AddPath(path, chkSubFolderAdd->isChecked())) {
                flushPendingRows();
                ShowRuntimeError(*error);
                return;  // the remaining paths are skipped
            }
        }
    });
}

void MainWindow::AddFolder(const QString& folder) {
    Registrar registrar = makeRegistrar();
    registerWith([&] { registrar.AddFolder(folder.toUtf8(), chkSubFolderAdd->isChecked()); });
}

void MainWindow::AddFile(const QString& path) {
    RegisterPaths({path.toUtf8()});
}

void MainWindow::cmdSelect_Click(int index) {
    if (index == 0) {
        const QString path = dialogs_.openFile(this, tr("ファイルを開く"), tr("全ファイル (*)"));
        if (!path.isEmpty()) {
            EnterBusyState();
            AddFile(path);
            LeaveBusyState();
        }
    } else if (index == 1) {
        const QString folder =
            dialogs_.chooseFolder(this, tr("検査するフォルダを選択して下さい。"));
        if (!folder.isEmpty()) {
            EnterBusyState();
            AddFolder(folder);
            LeaveBusyState();
        }
    } else {
        const QString folder =
            dialogs_.chooseFolder(this, tr("異常書庫ファイルの移動先のフォルダを選択して下さい。"));
        if (!folder.isEmpty()) {
            txtBadMove->setText(folder.endsWith(u'/') ? folder : folder + u'/');
        }
    }
    RefreshFormState();
}

void MainWindow::lvwList_DragDrop(const QByteArrayList& paths) {
    EnterBusyState();
    RegisterPaths(paths);
    LeaveBusyState();
    RefreshFormState();
}

}  // namespace varnelt
