// varnelt-check: the headless checker.
#include <QCoreApplication>

#include "app/check_command.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    return varnelt::RunCheckCommand(QCoreApplication::arguments().mid(1));
}
