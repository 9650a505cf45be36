// varnelt-check: the headless checker.
#include <QCoreApplication>
#include <QTextStream>

#include "app/version.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream(stdout) << "varnelt-check " << varnelt::AppVersionText() << Qt::endl;
    return 0;
}
