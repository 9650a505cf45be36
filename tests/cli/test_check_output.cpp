// varnelt-check's output for programs: JSON lines read back with a JSON parser, names that are
// not UTF-8 restored byte for byte, the quiet mode and the JSON summary.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <QDateTime>
#include <QJsonObject>

#include "checkers/verdicts.h"
#include "tests/cli/check_run.h"
#include "tests/support/archive_makers.h"
#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

class CheckOutput : public ::testing::Test {
protected:
    QString zip(const QString& name, int seed = 1) {
        const QString path = scratch_.path(name);
        EXPECT_TRUE(makeZip(path, {{QStringLiteral("a.txt"), sampleContent(20000, seed)}}));
        return path;
    }
    ScratchDir scratch_;
};

TEST_F(CheckOutput, JsonLinesDescribeEveryFileInOrder) {
    const QString good = zip(QStringLiteral("a-good.zip"));
    const struct utimbuf stamp = {1700000000, 1700000000};
    ASSERT_EQ(utime(good.toUtf8().constData(), &stamp), 0);
    truncateToPercent(zip(QStringLiteral("b-cut.zip"), 2), 60);
    zip(QStringLiteral("c-named.lzh"), 3);
    writeFile(scratch_.path(QStringLiteral("d-text.zip")), "no archive at all");
    const ProcessRun run =
        runCheck({QStringLiteral("--formats"), QStringLiteral("lzh,zip"), QStringLiteral("--rules"),
                  QStringLiteral("broken,extension"), QStringLiteral("--format"),
                  QStringLiteral("jsonl"), scratch_.root()});
    EXPECT_EQ(run.status, 1) << run.err.constData();
    const QList<QJsonObject> records = parseJsonLines(run.out);
    ASSERT_EQ(records.size(), 4) << run.out.constData();

    const QJsonObject& first = records[0];
    EXPECT_EQ(first[QStringLiteral("path")].toString(), good);
    EXPECT_EQ(first[QStringLiteral("name")].toString(), QStringLiteral("a-good.zip"));
    EXPECT_EQ(first[QStringLiteral("folder")].toString(), scratch_.root());
    EXPECT_EQ(first[QStringLiteral("size")].toInteger(), readFile(good).size());
    const QDateTime mtime =
        QDateTime::fromString(first[QStringLiteral("mtime")].toString(), Qt::ISODate);
    EXPECT_EQ(mtime.toSecsSinceEpoch(), 1700000000) << "the offset is part of the time";
    EXPECT_EQ(first[QStringLiteral("verdict")].toString(), QStringLiteral("正常な書庫ﾌｧｲﾙ"));
    EXPECT_EQ(first[QStringLiteral("kind")].toString(), QStringLiteral("good"));
    EXPECT_EQ(first[QStringLiteral("format")].toString(), QStringLiteral("zip"));
    EXPECT_TRUE(first[QStringLiteral("reason")].isNull());
    EXPECT_TRUE(first[QStringLiteral("disposal")].isNull());
    EXPECT_FALSE(first.contains(QStringLiteral("path_bytes"))) << "UTF-8 paths need no bytes";

    const QJsonObject& cut = records[1];
    EXPECT_EQ(cut[QStringLiteral("kind")].toString(), QStringLiteral("broken"));
    EXPECT_EQ(cut[QStringLiteral("format")].toString(), QStringLiteral("zip"))
        << "the library that said why";
    EXPECT_FALSE(cut[QStringLiteral("reason")].toString().isEmpty());

    EXPECT_EQ(records[2][QStringLiteral("kind")].toString(), QStringLiteral("extension"));
    EXPECT_EQ(records[2][QStringLiteral("format")].toString(), QStringLiteral("zip"));
    EXPECT_EQ(records[2][QStringLiteral("verdict")].toString(), kBadNoExtCaption);

    EXPECT_EQ(records[3][QStringLiteral("kind")].toString(), QStringLiteral("broken"));
    EXPECT_TRUE(records[3][QStringLiteral("format")].isNull()) << "no format read it";
    EXPECT_TRUE(records[3][QStringLiteral("reason")].isNull());
}

TEST_F(CheckOutput, PathThatIsNotUtf8IsRestoredFromItsBytes) {
    const QByteArray name("\x93\xfa\x96\x7b.zip");  // CP932
    const QByteArray folder = scratch_.nativePath("\xff\xfe/");  // neither CP932 nor UTF-8
    ASSERT_EQ(mkdir(folder.constData(), 0755), 0);
    writeNativeFile(folder + name, "not an archive");
    const ProcessRun run =
        runCheckWith({}, {"--formats", "zip", "--format", "jsonl", "--action", "delete", folder});
    EXPECT_EQ(run.status, 1) << run.err.constData();
    const QList<QJsonObject> records = parseJsonLines(run.out);
    ASSERT_EQ(records.size(), 1) << run.out.constData();
    const QJsonObject& record = records[0];
    const QByteArray restored =
        QByteArray::fromBase64(record[QStringLiteral("path_bytes")].toString().toLatin1(),
                               QByteArray::AbortOnBase64DecodingErrors);
    EXPECT_EQ(restored, folder + name);
    EXPECT_TRUE(record[QStringLiteral("name")].toString().startsWith(QStringLiteral("日本")))
        << "the text is decoded as the log shows it";
    EXPECT_FALSE(nativeExists(folder + name)) << "deleted by its bytes";
}

TEST_F(CheckOutput, QuietPrintsOnlyErrorsAndTheJsonSummaryIsOneObject) {
    zip(QStringLiteral("a.zip"));
    writeFile(scratch_.path(QStringLiteral("b.zip")), "not an archive");
    const QStringList base{QStringLiteral("--formats"), QStringLiteral("zip"), scratch_.root()};
    const ProcessRun quiet = runCheck(base + QStringList{QStringLiteral("-q")});
    EXPECT_EQ(quiet.status, 1);
    EXPECT_TRUE(quiet.err.isEmpty()) << quiet.err.constData();
    EXPECT_EQ(quiet.out.count("\r\n"), 3) << "the log is still written";

    const ProcessRun failing =
        runCheck({QStringLiteral("--quiet"), QStringLiteral("--formats"), QStringLiteral("zip"),
                  scratch_.root(), scratch_.path(QStringLiteral("gone.zip"))});
    EXPECT_EQ(failing.status, 2);
    EXPECT_TRUE(failing.err.contains("gone.zip")) << "errors are still told";

    const ProcessRun json =
        runCheck(base + QStringList{QStringLiteral("--summary"), QStringLiteral("json"),
                                    QStringLiteral("-q")});
    const QList<QJsonObject> summary = parseJsonLines(json.err);
    ASSERT_EQ(summary.size(), 1) << json.err.constData();
    EXPECT_EQ(summary[0][QStringLiteral("good")].toInt(), 1);
    EXPECT_EQ(summary[0][QStringLiteral("bad")].toInt(), 1);
    EXPECT_EQ(summary[0][QStringLiteral("total")].toInt(), 2);
    EXPECT_EQ(summary[0][QStringLiteral("deleted")].toInt(), 0);
    EXPECT_FALSE(summary[0][QStringLiteral("interrupted")].toBool(true));
    EXPECT_TRUE(summary[0][QStringLiteral("elapsed_seconds")].isDouble());
    EXPECT_EQ(
        runCheck(base + QStringList{QStringLiteral("--summary"), QStringLiteral("xml")}).status, 2);
}

}  // namespace
}  // namespace varnelt::test
