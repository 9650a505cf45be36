// varnelt: the window.
#include <QApplication>
#include <QIcon>

#include "base/app_paths.h"
#include "base/paths.h"
#include "checkers/archiver_set.h"
#include "settings/ui_language.h"
#include "ui/desktop.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/qt_translations.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The language is fixed before the first widget takes its texts.
    const varnelt::UiLanguage language = varnelt::StartupUiLanguage(varnelt::IniFilePath());
    if (!varnelt::InstallProgramTranslation(app, language)) {
        qWarning("The English translation is not installed: the window stays in Japanese");
    }
    // Qt's own texts are English already.
    if (language == varnelt::UiLanguage::Japanese &&
        varnelt::InstallQtTranslations(app) == nullptr) {
        qWarning(
            "Qt's Japanese translations are not installed (qt6-translations-l10n): "
            "Qt's own buttons and dialogs stay in English");
    }
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("varnelt"), QIcon(QStringLiteral(":/varnelt.png"))));
    varnelt::QtDialogs dialogs;
    varnelt::SystemDesktop desktop;
    varnelt::ArchiverSet archivers;
    varnelt::MainWindow window(dialogs, desktop, archivers);
    // Qt has taken its own options out of argv by now.
    window.Form_Load(varnelt::ArgumentBytes(argc, argv), varnelt::IniFilePath());
    window.show();
    return QApplication::exec();
}
