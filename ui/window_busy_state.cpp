// The busy state that brackets every long operation, Stop, and the runtime error report.
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include "base/error_catalogue.h"
#include "engine/check_engine.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

namespace varnelt {

void MainWindow::EnterBusyState() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    cmdStart->setEnabled(false);
    cmdStop->setEnabled(true);
    busy_ = true;  // close requests are ignored from here on
    refreshRowMenu();
    mnuFile->menuAction()->setEnabled(false);
    mnuViewDLL->setEnabled(false);
    mnuOptionIniDefault->setEnabled(false);
    mnuOptionJobs->setEnabled(false);
    fraAllSetting->setEnabled(false);
    stopRequested_ = false;
}

void MainWindow::LeaveBusyState() {
    fraAllSetting->setEnabled(true);
    mnuFile->menuAction()->setEnabled(true);
    mnuViewDLL->setEnabled(true);
    mnuOptionIniDefault->setEnabled(true);
    mnuOptionJobs->setEnabled(true);
    RefreshFormState();
    busy_ = false;
    refreshRowMenu();
    cmdStop->setEnabled(false);
    lvwList->setVisible(true);
    QApplication::restoreOverrideCursor();
}

bool MainWindow::pumpDue() {
    // Often enough for Stop, the clock and repainting to answer at once; rarely enough that
    // a list of tiny archives or a big folder is not slowed by the window.
    constexpr qint64 kPumpIntervalMs = 20;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - lastPump_ < kPumpIntervalMs) {
        return false;
    }
    lastPump_ = now;
    return true;
}

void MainWindow::pumpWhileBusy() {
    if (pumpDue()) {
        QCoreApplication::processEvents();
    }
}

void MainWindow::cmdStop_Click() {
    // A run stops in two steps: no further file, then the files still under test given up.
    if (engine_ != nullptr) {
        if (engine_->stopping()) {
            engine_->abandon();
        } else {
            engine_->stop();
        }
        refreshRunView();
    }
    stopRequested_ = true;
    tmrTimer->stop();
}

void MainWindow::ShowRuntimeError(const RuntimeError& error) {
    dialogs_.message(this, Dialogs::Icon::Critical, tr("エラー"),
                     tr("実行時エラー '%1':\n%2").arg(error.number).arg(DescriptionInUse(error)),
                     Dialogs::Buttons::Ok);
}

}  // namespace varnelt
