// varnelt-check: the headless checker.
#include <QCoreApplication>

#include "app/check_command.h"
#include "app/paths.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    return varnelt::RunCheckCommand(varnelt::ArgumentBytes(argc, argv));
}
