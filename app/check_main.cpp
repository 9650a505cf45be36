// varnelt-check: the headless checker.
#include <QCoreApplication>

#include "cli/check_command.h"
#include "base/paths.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    return varnelt::RunCheckCommand(varnelt::ArgumentBytes(argc, argv));
}
