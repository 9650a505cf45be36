// varnelt-check as a script runs it: exit codes, records, order and odd names.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>

#include "tests/cli/check_run.h"
#include "tests/support/archive_makers.h"
#include "tests/support/log_records.h"
#include "tests/support/raw_process.h"
#include "tests/support/scratch.h"

namespace varnelt {
namespace {

using test::ScratchDir;
using CheckRun = test::ProcessRun;
using test::runCheck;
using test::runCheckWith;

class CheckCommand : public ::testing::Test {
protected:
    QString archive(const QString& name, int seed = 1) {
        const QString path = scratch_.path(name);
        EXPECT_TRUE(
            test::makeZip(path, {{QStringLiteral("a.txt"), test::sampleContent(20000, seed)}}));
        return path;
    }
    ScratchDir scratch_;
};

TEST_F(CheckCommand, AllGoodExitsZeroAndLogsEveryFile) {
    archive(QStringLiteral("a.zip"));
    archive(QStringLiteral("b.zip"));
    const CheckRun run =
        runCheck({QStringLiteral("--formats"), QStringLiteral("zip"), scratch_.root()});
    EXPECT_EQ(run.status, 0) << run.err.constData();
    const auto records = test::parseLog(run.out);
    ASSERT_EQ(records.size(), 3);
    EXPECT_EQ(records[0],
              (QStringList{"ファイル名", "フォルダ名", "サイズ", "更新日時", "検査結果"}));
    EXPECT_EQ(records[1][0], QStringLiteral("a.zip"));
    EXPECT_EQ(records[1][1], scratch_.root());
    EXPECT_EQ(records[1][2],
              QString::number(QFileInfo(scratch_.path(QStringLiteral("a.zip"))).size()));
    EXPECT_EQ(records[1][4], QStringLiteral("正常な書庫ﾌｧｲﾙ"));
    EXPECT_TRUE(run.err.contains("good 2, bad 0, missing 0, unreadable 0, total 2"))
        << run.err.constData();
}

TEST_F(CheckCommand, BadFileExitsOne) {
    archive(QStringLiteral("a.zip"));
    test::writeFile(scratch_.path(QStringLiteral("b.zip")), "not an archive");
    const CheckRun run =
        runCheck({QStringLiteral("--formats"), QStringLiteral("zip,lzh"), scratch_.root()});
    EXPECT_EQ(run.status, 1);
    const auto records = test::parseLog(run.out);
    ASSERT_EQ(records.size(), 3);
    EXPECT_EQ(records[2][4], QStringLiteral("破損した書庫ﾌｧｲﾙ又は未対応の書庫ﾌｧｲﾙ"));
}

TEST_F(CheckCommand, RulesCountAndFilterOptions) {
    QDir().mkpath(scratch_.path(QStringLiteral("sub")));
    const QString two = scratch_.path(QStringLiteral("sub/two.zip"));
    ASSERT_TRUE(
        test::makeZip(two, {{QStringLiteral("a.txt"), "a"}, {QStringLiteral("b.txt"), "b"}}));
    test::writeFile(scratch_.path(QStringLiteral("skip.txt")), "text");
    const CheckRun flat =
        runCheck({QStringLiteral("--filter"), QStringLiteral("auto"), scratch_.root()});
    EXPECT_EQ(test::parseLog(flat.out).size(), 1)
        << "the text file is filtered out, the subfolder not walked";
    const CheckRun deep =
        runCheck({QStringLiteral("-r"), QStringLiteral("--filter"), QStringLiteral("zip"),
                  QStringLiteral("--rules"), QStringLiteral("broken,count"), scratch_.root()});
    EXPECT_EQ(deep.status, 1);
    const auto records = test::parseLog(deep.out);
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[1][4], QStringLiteral("2つ以上の格納ﾌｧｲﾙを持つ書庫ﾌｧｲﾙ"));
    const CheckRun three = runCheck({QStringLiteral("--rules"), QStringLiteral("count"),
                                     QStringLiteral("--count"), QStringLiteral("3"), two});
    EXPECT_EQ(three.status, 0);
}

TEST_F(CheckCommand, RecordsStayInRegistrationOrderWithJobs) {
    for (int i = 0; i < 40; ++i) {
        archive(QStringLiteral("f%1.zip").arg(i, 2, 10, QLatin1Char('0')), i);
    }
    test::writeFile(scratch_.path(QStringLiteral("f07.zip")), "damaged");
    const CheckRun one = runCheck({QStringLiteral("--jobs"), QStringLiteral("1"), scratch_.root()});
    const CheckRun four =
        runCheck({QStringLiteral("--jobs"), QStringLiteral("4"), scratch_.root()});
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(four.status, 1);
    EXPECT_EQ(one.out, four.out);
    const auto records = test::parseLog(four.out);
    ASSERT_EQ(records.size(), 41);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(records[i + 1][0], QStringLiteral("f%1.zip").arg(i, 2, 10, QLatin1Char('0')));
    }
}

TEST_F(CheckCommand, OddNamesStayWholeInTheirFields) {
    const QString name = QStringLiteral("say \"hi\" 日本語\nnext.zip");
    archive(name);
    const QString logFile = scratch_.path(QStringLiteral("out.log"));
    const CheckRun run = runCheck({QStringLiteral("--log"), logFile, scratch_.path(name)});
    EXPECT_EQ(run.status, 0) << run.err.constData();
    EXPECT_TRUE(run.out.isEmpty());
    const auto records = test::parseLog(test::readFile(logFile));
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[1][0], name);
}

TEST_F(CheckCommand, UnreadableFileIsReportedAndNeverJudged) {
    QString why;
    const std::optional<QByteArrayList> unprivileged = test::unprivilegedPrefix(why);
    if (!unprivileged) {
        GTEST_SKIP() << why.toStdString();
    }
    archive(QStringLiteral("good.zip"));
    const QString locked = archive(QStringLiteral("locked.zip"), 2);
    ASSERT_EQ(chmod(scratch_.root().toUtf8().constData(), 0755), 0);
    ASSERT_EQ(chmod(locked.toUtf8().constData(), 0), 0);
    const CheckRun run =
        runCheckWith(*unprivileged, {"--formats", "zip", scratch_.root().toUtf8()});
    EXPECT_EQ(run.status, 1) << run.err.constData();
    EXPECT_TRUE(run.err.contains("varnelt-check: " + locked.toUtf8() + ": Permission denied\n"))
        << run.err.constData();
    EXPECT_TRUE(run.err.contains("good 1, bad 0, missing 0, unreadable 1, total 2"))
        << run.err.constData();
    const auto records = test::parseLog(run.out);
    ASSERT_EQ(records.size(), 3);
    EXPECT_EQ(records[2][0], QStringLiteral("locked.zip"));
    EXPECT_EQ(records[2][4], QStringLiteral("ﾌｧｲﾙを読み込めません"));
}

TEST_F(CheckCommand, NameThatIsNotUtf8IsTestedAndLoggedDecoded) {
    const QString made = scratch_.path(QStringLiteral("made.zip"));
    ASSERT_TRUE(test::makeZip(made, {{QStringLiteral("日本.txt"), "stored"}}));
    const QByteArray name = "\x93\xfa\x96\x7b.zip";  // 日本.zip in CP932
    test::writeNativeFile(scratch_.nativePath(name), test::readFile(made));
    QFile::remove(made);
    const QByteArrayList rules{"--formats", "zip", "--rules", "broken,count,name"};
    const QByteArray folder = scratch_.root().toUtf8();
    // By its full path, by the folder, and relative to the current folder.
    for (const auto& [prefix, argument] :
         {std::pair{QByteArrayList{}, scratch_.nativePath(name)},
          std::pair{QByteArrayList{}, folder},
          std::pair{QByteArrayList{"env", "-C", folder}, QByteArray("./") + name}}) {
        const CheckRun run = runCheckWith(prefix, rules + QByteArrayList{argument});
        EXPECT_EQ(run.status, 0) << argument.toHex().constData() << run.err.constData();
        const auto records = test::parseLog(run.out);
        ASSERT_EQ(records.size(), 2) << argument.toHex().constData();
        EXPECT_EQ(records[1][0], QStringLiteral("日本.zip"));
        EXPECT_EQ(records[1][1], scratch_.root());
        EXPECT_EQ(records[1][4], QStringLiteral("正常な書庫ﾌｧｲﾙ"));
    }
}

TEST_F(CheckCommand, BadUsageAndErrorsExitTwo) {
    archive(QStringLiteral("a.zip"));
    const QString path = scratch_.root();
    for (const QStringList& arguments :
         {QStringList{}, QStringList{"--count", "1", path}, QStringList{"--count", "1000000", path},
          QStringList{"--count", "x", path}, QStringList{"--formats", "arj", path},
          QStringList{"--formats", "yz1", path}, QStringList{"--rules", "bogus", path},
          QStringList{"--filter", "[zip", path}, QStringList{"--jobs", "0", path},
          QStringList{"--unknown", path}}) {
        const CheckRun run = runCheck(arguments);
        EXPECT_EQ(run.status, 2) << arguments.join(u' ').toStdString() << "\n"
                                 << run.err.constData();
        EXPECT_FALSE(run.err.isEmpty());
    }
    const CheckRun missing = runCheck({scratch_.path(QStringLiteral("nothing.zip"))});
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(missing.err.contains("nothing.zip")) << missing.err.constData();
    const CheckRun full = runCheck({QStringLiteral("--log"), QStringLiteral("/dev/full"), path});
    EXPECT_EQ(full.status, 2);
}

TEST_F(CheckCommand, HelpAndVersion) {
    const CheckRun help = runCheck({QStringLiteral("--help")});
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"--formats", "--rules", "--count", "--filter", "--jobs", "--log", "-r",
                             "--action", "--move-to", "--create-dir", "--format", "--summary",
                             "--quiet", "path_bytes", "Exit status"}) {
        EXPECT_TRUE(help.out.contains(word)) << word;
    }
    const CheckRun version = runCheck({QStringLiteral("--version")});
    EXPECT_EQ(version.status, 0);
    const QList<QByteArray> lines = version.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 10) << version.out.constData();
    EXPECT_EQ(lines[0], QByteArray("varnelt-check 1.00.0"));
    EXPECT_EQ(lines[2].simplified(), QByteArray("zip libunzip32.so 1.00"));
    EXPECT_EQ(lines[7].simplified(), QByteArray("yz1 libyz1.so not installed"));
}

// Options may follow the paths, and "--" lets a path begin with "-".
TEST_F(CheckCommand, OptionsAfterPathsAndPathsAfterDoubleDash) {
    archive(QStringLiteral("a.zip"));
    test::writeFile(scratch_.path(QStringLiteral("--help")), "not an archive");
    const CheckRun after =
        runCheck({scratch_.path(QStringLiteral("a.zip")), QStringLiteral("--formats"),
                  QStringLiteral("zip"), QStringLiteral("-q")});
    EXPECT_EQ(after.status, 0) << after.err.constData();
    EXPECT_EQ(test::parseLog(after.out).size(), 2);
    EXPECT_TRUE(after.err.isEmpty()) << "-q after the path was taken: " << after.err.constData();

    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(scratch_.root()));
    const CheckRun dashed = runCheck({QStringLiteral("--formats"), QStringLiteral("zip"),
                                      QStringLiteral("--"), QStringLiteral("--help")});
    QDir::setCurrent(previous);
    EXPECT_EQ(dashed.status, 1) << dashed.err.constData();
    const auto records = test::parseLog(dashed.out);
    ASSERT_EQ(records.size(), 2) << dashed.out.constData();
    EXPECT_EQ(records[1][0], QStringLiteral("--help"));
    EXPECT_EQ(records[1][4], QStringLiteral("破損した書庫ﾌｧｲﾙ又は未対応の書庫ﾌｧｲﾙ"));
}

}  // namespace
}  // namespace varnelt
