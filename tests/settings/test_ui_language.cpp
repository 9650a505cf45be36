// The language choice at start: the settings file's fixed choice, else the user's first
// language.
#include <gtest/gtest.h>

#include "settings/ui_language.h"
#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

TEST(UiLanguage, FirstUserLanguageDecidesWhenNothingIsFixed) {
    const QString automatic;
    EXPECT_EQ(ChooseUiLanguage({QStringLiteral("ja")}, automatic), UiLanguage::Japanese);
    EXPECT_EQ(ChooseUiLanguage({QStringLiteral("ja-JP"), QStringLiteral("en")}, automatic),
              UiLanguage::Japanese);
    EXPECT_EQ(ChooseUiLanguage({QStringLiteral("ja_JP.UTF-8")}, automatic), UiLanguage::Japanese);
    EXPECT_EQ(ChooseUiLanguage({QStringLiteral("en-US"), QStringLiteral("ja")}, automatic),
              UiLanguage::English)
        << "only the first language counts";
    EXPECT_EQ(ChooseUiLanguage({QStringLiteral("de")}, automatic), UiLanguage::English);
    EXPECT_EQ(ChooseUiLanguage({QStringLiteral("C")}, automatic), UiLanguage::English);
    EXPECT_EQ(ChooseUiLanguage({}, automatic), UiLanguage::English);
}

TEST(UiLanguage, SettingFixesTheLanguageAndAnythingElseIsAutomatic) {
    EXPECT_EQ(ChooseUiLanguage({QStringLiteral("ja")}, QStringLiteral("en")), UiLanguage::English);
    EXPECT_EQ(ChooseUiLanguage({QStringLiteral("en")}, QStringLiteral("ja")), UiLanguage::Japanese);
    EXPECT_EQ(ChooseUiLanguage({QStringLiteral("en")}, QStringLiteral(" JA ")),
              UiLanguage::Japanese);
    for (const QString& other : {QStringLiteral("auto"), QStringLiteral("english"),
                                 QStringLiteral("\"en\""), QStringLiteral("1")}) {
        EXPECT_EQ(ChooseUiLanguage({QStringLiteral("ja")}, other), UiLanguage::Japanese)
            << other.toStdString();
        EXPECT_EQ(ChooseUiLanguage({QStringLiteral("en")}, other), UiLanguage::English)
            << other.toStdString();
    }
}

// These tests run under LANGUAGE=ja: the file is read, and only its Language key in [Option]
// counts.
TEST(UiLanguage, StartupReadsTheSettingsFileOverTheLocale) {
    const ScratchDir scratch;
    const QString ini = scratch.path(QStringLiteral("varnelt.ini"));
    EXPECT_EQ(StartupUiLanguage(ini), UiLanguage::Japanese) << "no file: LANGUAGE=ja decides";
    writeFile(ini, "[Option]\r\nFormTop=True\r\nlanguage = en\r\n");
    EXPECT_EQ(StartupUiLanguage(ini), UiLanguage::English);
    writeFile(ini, "[Filter]\nLanguage=en\n");
    EXPECT_EQ(StartupUiLanguage(ini), UiLanguage::Japanese);
}

}  // namespace
}  // namespace varnelt::test
