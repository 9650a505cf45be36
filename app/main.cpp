// varnelt: the window.
#include <QApplication>

#include "checkers/archiver_set.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    varnelt::QtDialogs dialogs;
    varnelt::ArchiverSet archivers;
    varnelt::MainWindow window(dialogs, archivers);
    window.DetectArchivers();
    window.RefreshFormState();
    window.RegisterPaths(QApplication::arguments().mid(1));
    window.RefreshFormState();
    window.show();
    return QApplication::exec();
}
