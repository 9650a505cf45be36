// varnelt-check acting on bad archives: every action with the files on disk checked afterwards,
// clashes, a missing destination, another file system and a failure that stops the run.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>

#include "tests/cli/check_run.h"
#include "tests/support/archive_makers.h"
#include "tests/support/data_home.h"
#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

class CheckDisposal : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(in_));
        ASSERT_TRUE(makeZip(in_ + QStringLiteral("/good.zip"),
                            {{QStringLiteral("a.txt"), sampleContent(20000, 1)}}));
        ASSERT_TRUE(makeZip(in_ + QStringLiteral("/bad.zip"),
                            {{QStringLiteral("a.txt"), sampleContent(20000, 2)}}));
        truncateToPercent(in_ + QStringLiteral("/bad.zip"), 60);
        badBytes_ = readFile(in_ + QStringLiteral("/bad.zip"));
        goodBytes_ = readFile(in_ + QStringLiteral("/good.zip"));
    }
    ProcessRun check(const QStringList& action) {
        return runCheck(QStringList{QStringLiteral("--formats"), QStringLiteral("zip"),
                                    QStringLiteral("--format"), QStringLiteral("jsonl"),
                                    QStringLiteral("--jobs"), QStringLiteral("1"), in_} +
                        action);
    }
    // The good archive is never touched, whatever the action.
    void expectGoodUntouched() const {
        EXPECT_EQ(readFile(in_ + QStringLiteral("/good.zip")), goodBytes_);
    }
    // The disposal member of the bad archive's record, after the good one's.
    static QJsonObject badDisposal(const ProcessRun& run) {
        const QList<QJsonObject> records = parseJsonLines(run.out);
        EXPECT_EQ(records.size(), 2) << run.out.constData();
        if (records.size() != 2) {
            return {};
        }
        EXPECT_EQ(records[1][QStringLiteral("name")].toString(), QStringLiteral("good.zip"));
        EXPECT_TRUE(records[1][QStringLiteral("disposal")].isNull());
        EXPECT_EQ(records[0][QStringLiteral("name")].toString(), QStringLiteral("bad.zip"));
        return records[0][QStringLiteral("disposal")].toObject();
    }

    ScratchDir scratch_;
    const QString in_ = scratch_.path(QStringLiteral("in"));
    const QString out_ = scratch_.path(QStringLiteral("out"));
    QByteArray badBytes_;
    QByteArray goodBytes_;
};

TEST_F(CheckDisposal, MovePutsOnlyTheBadArchiveInTheDestination) {
    ASSERT_TRUE(QDir().mkpath(out_));
    const ProcessRun run = check(
        {QStringLiteral("--action"), QStringLiteral("move"), QStringLiteral("--move-to"), out_});
    EXPECT_EQ(run.status, 1) << run.err.constData();
    EXPECT_FALSE(QFile::exists(in_ + QStringLiteral("/bad.zip")));
    EXPECT_EQ(readFile(out_ + QStringLiteral("/bad.zip")), badBytes_);
    EXPECT_EQ(QDir(out_).entryList(QDir::Files).size(), 1);
    expectGoodUntouched();
    const QJsonObject disposal = badDisposal(run);
    EXPECT_EQ(disposal[QStringLiteral("action")].toString(), QStringLiteral("move"));
    EXPECT_EQ(disposal[QStringLiteral("to")].toString(), out_ + QStringLiteral("/bad.zip"));
    EXPECT_TRUE(run.err.contains("good 1, bad 1, missing 0, unreadable 0, total 2, moved 1"))
        << run.err.constData();
}

TEST_F(CheckDisposal, MoveNeverReplacesAFileOfTheSameName) {
    ASSERT_TRUE(QDir().mkpath(out_));
    writeFile(out_ + QStringLiteral("/bad.zip"), "already here");
    const ProcessRun run = check({QStringLiteral("--action"), QStringLiteral("move"),
                                  QStringLiteral("--move-to"), out_ + u'/'});
    EXPECT_EQ(run.status, 1) << run.err.constData();
    EXPECT_EQ(readFile(out_ + QStringLiteral("/bad.zip")), QByteArray("already here"));
    EXPECT_EQ(readFile(out_ + QStringLiteral("/bad (1).zip")), badBytes_);
    EXPECT_EQ(badDisposal(run)[QStringLiteral("to")].toString(),
              out_ + QStringLiteral("/bad (1).zip"));
}

TEST_F(CheckDisposal, MissingDestinationIsMadeOnlyWhenAskedFor) {
    const QString deep = out_ + QStringLiteral("/deeper/still");
    const ProcessRun refused = check(
        {QStringLiteral("--action"), QStringLiteral("move"), QStringLiteral("--move-to"), deep});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(refused.err.contains(deep.toUtf8())) << refused.err.constData();
    EXPECT_TRUE(refused.err.contains("--create-dir")) << refused.err.constData();
    EXPECT_TRUE(refused.out.isEmpty()) << "no file is tested before the destination is there";
    EXPECT_FALSE(QFile::exists(out_));
    EXPECT_EQ(readFile(in_ + QStringLiteral("/bad.zip")), badBytes_);

    const ProcessRun made =
        check({QStringLiteral("--action"), QStringLiteral("move"), QStringLiteral("--move-to"),
               deep, QStringLiteral("--create-dir")});
    EXPECT_EQ(made.status, 1) << made.err.constData();
    EXPECT_EQ(readFile(deep + QStringLiteral("/bad.zip")), badBytes_);
    expectGoodUntouched();

    writeFile(scratch_.path(QStringLiteral("plain")), "a file");
    const ProcessRun onFile =
        check({QStringLiteral("--action"), QStringLiteral("move"), QStringLiteral("--move-to"),
               scratch_.path(QStringLiteral("plain")), QStringLiteral("--create-dir")});
    EXPECT_EQ(onFile.status, 2) << "a destination that is a file is refused";
    for (const QStringList& misuse :
         {QStringList{QStringLiteral("--action"), QStringLiteral("move")},
          QStringList{QStringLiteral("--move-to"), out_},
          QStringList{QStringLiteral("--action"), QStringLiteral("delete"),
                      QStringLiteral("--create-dir")},
          QStringList{QStringLiteral("--action"), QStringLiteral("shred")}}) {
        EXPECT_EQ(check(misuse).status, 2) << misuse.join(u' ').toStdString();
    }
}

TEST_F(CheckDisposal, TrashKeepsTheFileAndTellsWhereItCameFrom) {
    const DataHome home(scratch_.nativePath("data"));
    const ProcessRun run = check({QStringLiteral("--action"), QStringLiteral("trash")});
    EXPECT_EQ(run.status, 1) << run.err.constData();
    const QString trash = scratch_.path(QStringLiteral("data/Trash"));
    EXPECT_FALSE(QFile::exists(in_ + QStringLiteral("/bad.zip")));
    EXPECT_EQ(readFile(trash + QStringLiteral("/files/bad.zip")), badBytes_);
    const QByteArray info = readFile(trash + QStringLiteral("/info/bad.zip.trashinfo"));
    EXPECT_TRUE(info.startsWith(
        "[Trash Info]\nPath=" + (in_ + QStringLiteral("/bad.zip")).toUtf8().toPercentEncoding("/") +
        "\nDeletionDate="))
        << info.constData();
    expectGoodUntouched();
    const QJsonObject disposal = badDisposal(run);
    EXPECT_EQ(disposal[QStringLiteral("action")].toString(), QStringLiteral("trash"));
    EXPECT_EQ(disposal[QStringLiteral("to")].toString(), trash + QStringLiteral("/files/bad.zip"));
    EXPECT_TRUE(run.err.contains(", trashed 1,")) << run.err.constData();
}

TEST_F(CheckDisposal, DeleteNeedsNoQuestionAndIsCounted) {
    const ProcessRun run = check({QStringLiteral("--action"), QStringLiteral("delete")});
    EXPECT_EQ(run.status, 1) << run.err.constData();
    EXPECT_FALSE(QFile::exists(in_ + QStringLiteral("/bad.zip")));
    expectGoodUntouched();
    const QJsonObject disposal = badDisposal(run);
    EXPECT_EQ(disposal[QStringLiteral("action")].toString(), QStringLiteral("delete"));
    EXPECT_TRUE(disposal[QStringLiteral("to")].isNull());
    EXPECT_TRUE(run.err.contains(", deleted 1,")) << run.err.constData();
}

TEST_F(CheckDisposal, MoveToAnotherFileSystemKeepsEveryByte) {
    const QTemporaryDir other(QStringLiteral("/dev/shm/varnelt-check-XXXXXX"));
    struct stat here {};
    struct stat there {};
    if (!other.isValid() || stat(in_.toUtf8().constData(), &here) != 0 ||
        stat(other.path().toUtf8().constData(), &there) != 0 || here.st_dev == there.st_dev) {
        GTEST_SKIP() << "this machine offers no tmpfs at /dev/shm apart from the scratch folder";
    }
    const ProcessRun run = check({QStringLiteral("--action"), QStringLiteral("move"),
                                  QStringLiteral("--move-to"), other.path()});
    EXPECT_EQ(run.status, 1) << run.err.constData();
    EXPECT_FALSE(QFile::exists(in_ + QStringLiteral("/bad.zip")));
    EXPECT_EQ(readFile(other.path() + QStringLiteral("/bad.zip")), badBytes_);
    expectGoodUntouched();
}

// A destination the user may not write to: the first bad file stays, and the run stops there.
TEST_F(CheckDisposal, FailedMoveStopsTheRunAndLeavesTheFile) {
    QString why;
    const std::optional<QByteArrayList> unprivileged = unprivilegedPrefix(why);
    if (!unprivileged || geteuid() != 0) {
        GTEST_SKIP() << "needs root to hand the files to another user: " << why.toStdString();
    }
    QFile::copy(in_ + QStringLiteral("/bad.zip"), in_ + QStringLiteral("/bad2.zip"));
    ASSERT_TRUE(QDir().mkpath(out_));
    ASSERT_EQ(chmod(scratch_.root().toUtf8().constData(), 0755), 0);
    ASSERT_EQ(chmod(in_.toUtf8().constData(), 0777), 0);
    ASSERT_EQ(chmod(out_.toUtf8().constData(), 0755), 0);  // root's: nobody cannot write there
    const ProcessRun run =
        runCheckWith(*unprivileged, {"--formats", "zip", "--jobs", "1", "--action", "move",
                                     "--move-to", out_.toUtf8(), in_.toUtf8()});
    EXPECT_EQ(run.status, 2) << run.err.constData();
    EXPECT_TRUE(run.err.contains("Permission denied")) << run.err.constData();
    EXPECT_TRUE(run.err.contains("bad.zip")) << run.err.constData();
    EXPECT_EQ(readFile(in_ + QStringLiteral("/bad.zip")), badBytes_);
    EXPECT_EQ(readFile(in_ + QStringLiteral("/bad2.zip")), badBytes_);
    EXPECT_TRUE(QDir(out_).entryList(QDir::Files).isEmpty());
}

}  // namespace
}  // namespace varnelt::test
