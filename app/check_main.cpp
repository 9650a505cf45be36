// varnelt-check: the headless checker.
#include <QCoreApplication>

#include "base/app_paths.h"
#include "base/paths.h"
#include "cli/check_command.h"
#include "settings/ui_language.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    // The log's header and verdicts follow the window's language; a missing catalogue leaves
    // them Japanese, as they always were.
    varnelt::InstallProgramTranslation(app, varnelt::StartupUiLanguage(varnelt::IniFilePath()));
    return varnelt::RunCheckCommand(varnelt::ArgumentBytes(argc, argv));
}
