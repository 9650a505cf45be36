// Window tests run inside one application object on Qt's offscreen platform, in the language
// the program would choose at start.
#include <gtest/gtest.h>

#include <QApplication>

#include "base/app_paths.h"
#include "settings/ui_language.h"

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (!varnelt::InstallProgramTranslation(app,
                                            varnelt::StartupUiLanguage(varnelt::IniFilePath()))) {
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
