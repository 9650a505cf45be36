// The Help menu: the help page and the About box.
#include <QUrl>

#include "base/app_paths.h"
#include "ui/about_dialog.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

namespace varnelt {

void MainWindow::mnuHelpHelp_Click() {
    dialogs_.openUrl(QUrl::fromLocalFile(HelpFilePath()));
}

void MainWindow::mnuHelpAbout_Click() {
    AboutDialog about(dialogs_, this);
    about.setWindowIcon(windowIcon());
    // Centred on the main window, wherever that puts it.
    const QRect main = frameGeometry();
    about.move(main.left() + main.width() / 2 - about.width() / 2,
               main.top() + main.height() / 2 - about.height() / 2);
    about.exec();
}

}  // namespace varnelt
