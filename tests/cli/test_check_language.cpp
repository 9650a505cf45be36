// varnelt-check's log in the language chosen at start: the locale's, unless the settings file
// fixes one.
#include <gtest/gtest.h>

#include <QDir>

#include "tests/cli/check_run.h"
#include "tests/support/archive_makers.h"
#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

class CheckLanguage : public ::testing::Test {
protected:
    CheckLanguage() {
        const QString archives = scratch_.path(QStringLiteral("archives"));
        QDir().mkpath(archives);
        EXPECT_TRUE(makeZip(archives + QStringLiteral("/a-good.zip"),
                            {{QStringLiteral("a.txt"), sampleContent(3000, 1)}}));
        EXPECT_TRUE(makeZip(archives + QStringLiteral("/b-pair.zip"),
                            {{QStringLiteral("a.txt"), sampleContent(3000, 2)},
                             {QStringLiteral("b.txt"), sampleContent(3000, 3)}}));
        writeFile(archives + QStringLiteral("/c-text.zip"), "no archive at all");
        archives_ = archives.toUtf8();
        QDir().mkpath(scratch_.path(QStringLiteral("config/varnelt")));
    }
    // The log's records, run under the locale's language and with the settings file given.
    QList<QByteArray> logUnder(const QByteArray& language, const QByteArray& settings = {}) {
        if (!settings.isEmpty()) {
            writeFile(scratch_.path(QStringLiteral("config/varnelt/varnelt.ini")), settings);
        }
        const ProcessRun run =
            runCheckWith({"env", "LANGUAGE=" + language,
                          "XDG_CONFIG_HOME=" + scratch_.path(QStringLiteral("config")).toUtf8()},
                         {"--formats", "zip", "--rules", "broken,count", archives_});
        EXPECT_EQ(run.status, 1) << run.err.constData();
        QList<QByteArray> records = run.out.split('\n');
        EXPECT_TRUE(records.takeLast().isEmpty());
        EXPECT_EQ(records.size(), 4) << run.out.constData();
        return records;
    }
    ScratchDir scratch_;
    QByteArray archives_;
};

TEST_F(CheckLanguage, EnglishLocaleGivesAnEnglishLog) {
    const QList<QByteArray> log = logUnder("en");
    ASSERT_EQ(log.size(), 4);
    EXPECT_EQ(log[0], "\"Name\",\"Folder\",\"Size\",\"Modified\",\"Result\"\r");
    EXPECT_TRUE(log[1].endsWith(",\"Good archive\"\r")) << log[1].constData();
    EXPECT_TRUE(log[2].endsWith(",\"2 or more stored files\"\r")) << log[2].constData();
    EXPECT_TRUE(log[3].endsWith(",\"Damaged or unsupported archive\"\r")) << log[3].constData();
}

TEST_F(CheckLanguage, SettingsFileWinsOverTheLocale) {
    const QList<QByteArray> japanese = logUnder("en", "[Option]\nLanguage=ja\n");
    ASSERT_EQ(japanese.size(), 4);
    EXPECT_EQ(japanese[0],
              QStringLiteral("\"ファイル名\",\"フォルダ名\",\"サイズ\",\"更新日時\",\"検査結果\"\r")
                  .toUtf8());
    EXPECT_TRUE(japanese[1].endsWith(QStringLiteral(",\"正常な書庫ﾌｧｲﾙ\"\r").toUtf8()));
    EXPECT_TRUE(
        japanese[2].endsWith(QStringLiteral(",\"2つ以上の格納ﾌｧｲﾙを持つ書庫ﾌｧｲﾙ\"\r").toUtf8()));

    const QList<QByteArray> english = logUnder("ja", "[Option]\nLanguage=en\n");
    ASSERT_EQ(english.size(), 4);
    EXPECT_EQ(english[0], "\"Name\",\"Folder\",\"Size\",\"Modified\",\"Result\"\r");
    EXPECT_TRUE(english[1].endsWith(",\"Good archive\"\r")) << english[1].constData();
}

}  // namespace
}  // namespace varnelt::test
