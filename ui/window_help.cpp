// The Help menu: the help page and the About box.
#include <QUrl>

#include "base/app_paths.h"
#include "ui/about_dialog.h"
#include "ui/desktop.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

namespace varnelt {

void MainWindow::mnuHelpHelp_Click() {
    // Each language has its page: the catalogue names the one to open.
    const QString page = HelpFilePath(tr("index.html", "the help page's file"));
    if (!desktop_.openUrl(QUrl::fromLocalFile(page))) {
        // Without a browser the page can still be read, once its place is known.
        dialogs_.message(this, Dialogs::Icon::Critical, tr("エラー"),
                         tr("ヘルプを表示できませんでした。\n"
                            "次のファイルをブラウザで開いて下さい。\n%1")
                             .arg(page),
                         Dialogs::Buttons::Ok);
    }
}

void MainWindow::mnuHelpAbout_Click() {
    AboutDialog about(desktop_, this);
    about.setWindowIcon(windowIcon());
    // Centred on the main window, wherever that puts it.
    const QRect main = frameGeometry();
    about.move(main.left() + main.width() / 2 - about.width() / 2,
               main.top() + main.height() / 2 - about.height() / 2);
    about.exec();
}

}  // namespace varnelt
