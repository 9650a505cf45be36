// varnelt: the window.
#include <QApplication>
#include <QIcon>

#include "base/app_paths.h"
#include "base/paths.h"
#include "checkers/archiver_set.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("varnelt"), QIcon(QStringLiteral(":/varnelt.png"))));
    varnelt::QtDialogs dialogs;
    varnelt::ArchiverSet archivers;
    varnelt::MainWindow window(dialogs, archivers);
    // Qt has taken its own options out of argv by now.
    window.Form_Load(varnelt::ArgumentBytes(argc, argv), varnelt::IniFilePath());
    window.show();
    return QApplication::exec();
}
