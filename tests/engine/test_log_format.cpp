// Log records as a spreadsheet reads them back.
#include <gtest/gtest.h>

#include "base/version.h"
#include "engine/elapsed.h"
#include "engine/log_format.h"

namespace varnelt {
namespace {

TEST(LogFormat, HeaderAndRecordsAreQuotedAndEndInCrLf) {
    EXPECT_EQ(
        LogHeaderRecord(),
        QStringLiteral("\"ファイル名\",\"フォルダ名\",\"サイズ\",\"更新日時\",\"検査結果\"\r\n")
            .toUtf8());
    const TargetRow row{QStringLiteral("a.zip"),
                        QStringLiteral("/data/"),
                        1234,
                        QStringLiteral("2026/01/02 03:04"),
                        QStringLiteral("正常な書庫ﾌｧｲﾙ"),
                        "a.zip",
                        "/data/",
                        QStringLiteral("libunzip32.so: a note the log never carries")};
    EXPECT_EQ(
        LogRecord(row),
        QStringLiteral("\"a.zip\",\"/data/\",\"1234\",\"2026/01/02 03:04\",\"正常な書庫ﾌｧｲﾙ\"\r\n")
            .toUtf8());
}

TEST(LogFormat, QuotesAreDoubledAndLineBreaksStayInsideTheField) {
    const TargetRow row{QStringLiteral("say \"hi\"\n.zip"),
                        QStringLiteral("/a,b/"),
                        -1,
                        QString(),
                        QString(),
                        "say \"hi\"\n.zip",
                        "/a,b/",
                        QString()};
    EXPECT_EQ(LogRecord(row), QByteArray("\"say \"\"hi\"\"\n.zip\",\"/a,b/\",\"\",\"\",\"\"\r\n"));
}

TEST(Version, MinorHasTwoDigitsOthersNone) {
    EXPECT_EQ(FormatVersionText(1, 0, 0), QStringLiteral("1.00.0"));
    EXPECT_EQ(FormatVersionText(1, 2, 7), QStringLiteral("1.02.7"));
    EXPECT_EQ(FormatVersionText(2, 0, 15), QStringLiteral("2.00.15"));
    EXPECT_EQ(FormatVersionText(12, 10, 0), QStringLiteral("12.10.0"));
    EXPECT_EQ(AppVersionText(), QStringLiteral("1.00.0"));
}

TEST(Elapsed, HoursAreNotCapped) {
    EXPECT_EQ(FormatElapsedSeconds(0), QStringLiteral("00:00:00"));
    EXPECT_EQ(FormatElapsedSeconds(65), QStringLiteral("00:01:05"));
    EXPECT_EQ(FormatElapsedSeconds(100 * 3600), QStringLiteral("100:00:00"));
}

}  // namespace
}  // namespace varnelt
