#include "settings/ui_language.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

#include <memory>

#include "base/app_paths.h"
#include "settings/profile_file.h"

namespace varnelt {

UiLanguage ChooseUiLanguage(const QStringList& userLanguages, const QString& setting) {
    const QString fixed = setting.trimmed();
    if (fixed.compare(QLatin1String("ja"), Qt::CaseInsensitive) == 0) {
        return UiLanguage::Japanese;
    }
    if (fixed.compare(QLatin1String("en"), Qt::CaseInsensitive) == 0) {
        return UiLanguage::English;
    }
    // "ja", "ja-JP" and "ja_JP.UTF-8" all name Japanese; "C" and an empty list name none.
    if (!userLanguages.isEmpty() &&
        QLocale(userLanguages.constFirst()).language() == QLocale::Japanese) {
        return UiLanguage::Japanese;
    }
    return UiLanguage::English;
}

UiLanguage StartupUiLanguage(const QString& iniFilePath) {
    ProfileFile profile;
    profile.load(iniFilePath);
    return ChooseUiLanguage(QLocale::system().uiLanguages(),
                            profile.value(QStringLiteral("Option"), QStringLiteral("Language")));
}

bool InstallProgramTranslation(QCoreApplication& app, UiLanguage language) {
    if (language == UiLanguage::Japanese) {
        return true;
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("varnelt_en"), TranslationsFolder()) ||
        !QCoreApplication::installTranslator(translator.get())) {
        return false;
    }
    translator->setParent(&app);
    translator.release();
    return true;
}

}  // namespace varnelt
