// How the rule and action controls react to the user.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>

#include <sys/stat.h>

#include <cerrno>

#include "settings/threshold.h"
#include "ui/main_window.h"

namespace varnelt {

void MainWindow::chkBadNoFileSum_Click() {
    const bool on = chkBadNoFileSum->isChecked();
    txtBadNoFileSum->setEnabled(on);
    if (!on) {
        chkBadNoFileName->setEnabled(false);
    } else if (txtBadNoFileSum->text() == QLatin1String("2")) {
        chkBadNoFileName->setEnabled(true);
    }
    RefreshFormState();
}

bool MainWindow::txtBadNoFileSum_KeyPress(const QString& typed) {
    if (typed.isEmpty() || ThresholdAcceptsKey(typed.front())) {
        return true;
    }
    QApplication::beep();
    return false;
}

void MainWindow::txtBadNoFileSum_Change() {
    const ThresholdRepair repair = RepairThreshold(txtBadNoFileSum->text());
    chkBadNoFileName->setEnabled(repair.offerNameRule);
    // Writing "2" raises this handler once more; that pass finds nothing to change.
    if (repair.text != txtBadNoFileSum->text()) {
        txtBadNoFileSum->setText(repair.text);
    }
    RefreshFormState();
}

void MainWindow::txtBadMove_Delete() {
    txtBadMove->clear();
    RefreshFormState();
}

void MainWindow::txtBadMove_DragDrop(const QStringList& paths) {
    if (!paths.isEmpty()) {
        const QString& path = paths.front();
        struct stat info {};
        if (stat(path.toUtf8().constData(), &info) != 0) {
            ShowRuntimeError({errno, path});
            return;  // the destination keeps its old text
        }
        if (path.endsWith(u'/') || S_ISDIR(info.st_mode)) {
            txtBadMove->setText(path.endsWith(u'/') ? path : path + u'/');
        } else {
            txtBadMove->clear();
        }
    }
    RefreshFormState();
}

}  // namespace varnelt
