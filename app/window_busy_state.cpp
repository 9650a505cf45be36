// The busy state that brackets every long operation, Stop, and the runtime error report.
#include <QApplication>
#include <QCheckBox>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include "app/error_catalogue.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

namespace varnelt {

void MainWindow::EnterBusyState() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    cmdStart->setEnabled(false);
    cmdStop->setEnabled(true);
    busy_ = true;  // close requests are ignored from here on
    mnuFile->menuAction()->setEnabled(false);
    mnuViewDLL->setEnabled(false);
    mnuOptionIniDefault->setEnabled(false);
    fraAllSetting->setEnabled(false);
    stopRequested_ = false;
}

void MainWindow::LeaveBusyState() {
    fraAllSetting->setEnabled(true);
    mnuFile->menuAction()->setEnabled(true);
    mnuViewDLL->setEnabled(true);
    mnuOptionIniDefault->setEnabled(true);
    RefreshFormState();
    busy_ = false;
    cmdStop->setEnabled(false);
    lvwList->setVisible(true);
    QApplication::restoreOverrideCursor();
}

void MainWindow::cmdStop_Click() {
    stopRequested_ = true;
    tmrTimer->stop();
}

void MainWindow::ShowRuntimeError(const RuntimeError& error) {
    dialogs_.message(
        this, Dialogs::Icon::Critical, QStringLiteral("エラー"),
        QStringLiteral("実行時エラー '%1':\n%2").arg(error.number).arg(JapaneseDescription(error)),
        Dialogs::Buttons::Ok);
}

}  // namespace varnelt
