// The Option menu's view options: fast mode, always on top and the hidden settings panel.
#include <QAction>
#include <QGroupBox>
#include <QTableView>
#include <QWindow>

#include "ui/check_mark_images.h"
#include "ui/main_window.h"
#include "ui/twips.h"

namespace varnelt {

void MainWindow::mnuOptionFormTop_Click() {
    applyFormTop(mnuOptionFormTop->isChecked());
}

void MainWindow::applyFormTop(bool onTop) {
    mnuOptionFormTop->setChecked(onTop);
    // Changing the native window's flag keeps its place, size and activation; the widget's
    // own flag would re-create the window.
    if (QWindow* window = windowHandle()) {
        window->setFlag(Qt::WindowStaysOnTopHint, onTop);
    } else {
        setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    }
}

void MainWindow::mnuOptionSettingHidden_Click() {
    applySettingHidden(mnuOptionSettingHidden->isChecked());
}

void MainWindow::applySettingHidden(bool hidden) {
    mnuOptionSettingHidden->setChecked(hidden);
    // The list grows upward into the hidden frames; its bottom edge stays where it was.
    const QRect frame = ToTwips(fraExtFilter->geometry());
    const int top =
        hidden ? ToTwips(fraCheckedArchiver->geometry()).top() : frame.top() + frame.height() + 105;
    const QRect list = ToTwips(lvwList->geometry());
    const int height = ToTwips(fraAllSetting->geometry()).height() - (top + 480);
    lvwList->setGeometry(FromTwips(QRect(list.left(), top, list.width(), height)));
    for (QGroupBox* box : {fraCheckedArchiver, fraExtFilter, fraIzyoTeigi, fraIzyoSyori}) {
        box->setVisible(!hidden);
    }
}

}  // namespace varnelt
