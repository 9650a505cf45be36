// Disposal against real files: free names, moves that never replace, trash and delete.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/disposal.h"
#include "app/elapsed.h"
#include "app/error_catalogue.h"
#include "tests/support/scratch.h"

namespace varnelt {
namespace {

using test::readFile;
using test::ScratchDir;
using test::writeFile;

const auto kNoPump = [] {};

class FreeNames : public ::testing::Test {
protected:
    QString freeName(const QString& name, const QStringList& existing) {
        for (const QString& file : existing) {
            writeFile(scratch_.path(file), "x");
        }
        const FreeName free = FindFreeName(scratch_.root(), name, kNoPump);
        EXPECT_FALSE(free.error.has_value());
        return free.name;
    }
    ScratchDir scratch_;
};

TEST_F(FreeNames, NumberGoesBeforeTheLastExtension) {
    EXPECT_EQ(freeName(QStringLiteral("a.zip"), {}), QStringLiteral("a.zip"));
    EXPECT_EQ(freeName(QStringLiteral("a.zip"), {"a.zip"}), QStringLiteral("a (1).zip"));
    EXPECT_EQ(freeName(QStringLiteral("a.zip"), {"a (1).zip"}), QStringLiteral("a (2).zip"));
    EXPECT_EQ(freeName(QStringLiteral("README"), {"README"}), QStringLiteral("README (1)"));
    EXPECT_EQ(freeName(QStringLiteral("a.tar.gz"), {"a.tar.gz"}), QStringLiteral("a.tar (1).gz"));
    EXPECT_EQ(freeName(QStringLiteral("name."), {"name."}), QStringLiteral("name (1)"));
    EXPECT_EQ(freeName(QStringLiteral(".profile"), {".profile"}), QStringLiteral(" (1).profile"));
}

TEST_F(FreeNames, FirstGapIsFilled) {
    EXPECT_EQ(freeName(QStringLiteral("r.lzh"), {"r.lzh", "r (2).lzh", "r (3).lzh"}),
              QStringLiteral("r (1).lzh"));
}

TEST(Disposal, MoveIntoTheFileSOwnFolderTakesANumber) {
    const ScratchDir scratch;
    writeFile(scratch.path(QStringLiteral("a.zip")), "bad");
    EXPECT_FALSE(DisposeOf(DisposalAction::Move, scratch.root(), QStringLiteral("a.zip"),
                           scratch.root(), kNoPump));
    EXPECT_FALSE(QFile::exists(scratch.path(QStringLiteral("a.zip"))));
    EXPECT_EQ(readFile(scratch.path(QStringLiteral("a (1).zip"))), QByteArray("bad"));
}

TEST(Disposal, MoveNeverReplacesAnExistingFile) {
    const ScratchDir scratch;
    QDir().mkpath(scratch.path(QStringLiteral("dest")));
    writeFile(scratch.path(QStringLiteral("a.zip")), "new");
    writeFile(scratch.path(QStringLiteral("dest/a.zip")), "old");
    EXPECT_FALSE(DisposeOf(DisposalAction::Move, scratch.root(), QStringLiteral("a.zip"),
                           scratch.path(QStringLiteral("dest/")), kNoPump));
    EXPECT_EQ(readFile(scratch.path(QStringLiteral("dest/a.zip"))), QByteArray("old"));
    EXPECT_EQ(readFile(scratch.path(QStringLiteral("dest/a (1).zip"))), QByteArray("new"));
    // A target that appeared after the name was chosen makes the move fail.
    writeFile(scratch.path(QStringLiteral("b.zip")), "source");
    writeFile(scratch.path(QStringLiteral("dest/late.zip")), "late");
    const MaybeError error = MoveWithoutReplacing(scratch.path(QStringLiteral("b.zip")),
                                                  scratch.path(QStringLiteral("dest/late.zip")));
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number, EEXIST);
    EXPECT_EQ(readFile(scratch.path(QStringLiteral("dest/late.zip"))), QByteArray("late"));
    EXPECT_EQ(readFile(scratch.path(QStringLiteral("b.zip"))), QByteArray("source"));
}

TEST(Disposal, MoveToAnotherFileSystemKeepsEveryByte) {
    const ScratchDir scratch;
    QTemporaryDir other(QStringLiteral("/dev/shm/varnelt-test-XXXXXX"));
    struct stat here {};
    struct stat there {};
    if (!other.isValid() || stat(scratch.root().toUtf8().constData(), &here) != 0 ||
        stat(other.path().toUtf8().constData(), &there) != 0 || here.st_dev == there.st_dev) {
        GTEST_SKIP() << "this machine offers no second file system at /dev/shm";
    }
    const QByteArray content = test::sampleContent(300000, 9);
    const QString source = scratch.path(QStringLiteral("big.zip"));
    writeFile(source, content);
    const struct utimbuf old = {1000000000, 1000000000};
    utime(source.toUtf8().constData(), &old);
    EXPECT_FALSE(DisposeOf(DisposalAction::Move, scratch.root(), QStringLiteral("big.zip"),
                           other.path() + u'/', kNoPump));
    EXPECT_FALSE(QFile::exists(source));
    const QString moved = other.path() + QStringLiteral("/big.zip");
    EXPECT_EQ(readFile(moved), content);
    EXPECT_EQ(QFileInfo(moved).lastModified().toSecsSinceEpoch(), 1000000000);
}

TEST(Disposal, TrashKeepsTheFileRecoverable) {
    const ScratchDir scratch;
    const QByteArray previous = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", scratch.path(QStringLiteral("data")).toUtf8());
    writeFile(scratch.path(QStringLiteral("bad.zip")), "bad");
    EXPECT_FALSE(DisposeOf(DisposalAction::DeleteInBox, scratch.root(), QStringLiteral("bad.zip"),
                           QString(), kNoPump));
    qputenv("XDG_DATA_HOME", previous);
    EXPECT_FALSE(QFile::exists(scratch.path(QStringLiteral("bad.zip"))));
    EXPECT_EQ(readFile(scratch.path(QStringLiteral("data/Trash/files/bad.zip"))),
              QByteArray("bad"));
    EXPECT_TRUE(QFile::exists(scratch.path(QStringLiteral("data/Trash/info/bad.zip.trashinfo"))));
    EXPECT_FALSE(QFile::exists(QDir::currentPath() + QStringLiteral("/files/bad.zip")));
    // A failure of the trash is silent: the file just stays.
    EXPECT_FALSE(DisposeOf(DisposalAction::DeleteInBox, scratch.root(), QStringLiteral("gone.zip"),
                           QString(), kNoPump));
}

TEST(Disposal, DeleteAndNothing) {
    const ScratchDir scratch;
    writeFile(scratch.path(QStringLiteral("a.zip")), "a");
    EXPECT_FALSE(DisposeOf(DisposalAction::Nothing, scratch.root(), QStringLiteral("a.zip"),
                           QString(), kNoPump));
    EXPECT_TRUE(QFile::exists(scratch.path(QStringLiteral("a.zip"))));
    EXPECT_FALSE(DisposeOf(DisposalAction::Delete, scratch.root(), QStringLiteral("a.zip"),
                           QString(), kNoPump));
    EXPECT_FALSE(QFile::exists(scratch.path(QStringLiteral("a.zip"))));
    const MaybeError gone = DisposeOf(DisposalAction::Delete, scratch.root(),
                                      QStringLiteral("a.zip"), QString(), kNoPump);
    ASSERT_TRUE(gone.has_value());
    EXPECT_EQ(gone->number, ENOENT);
    EXPECT_TRUE(JapaneseDescription(*gone).endsWith(scratch.path(QStringLiteral("a.zip"))));
}

TEST(ElapsedClock, FormatsTheTimeSinceReset) {
    qint64 now = 5000;
    ElapsedClock clock([&now] { return now; });
    clock.reset();
    now += 65 * 1000 + 999;
    EXPECT_EQ(clock.format(), QStringLiteral("00:01:05"));
    now += 100LL * 3600 * 1000;
    EXPECT_EQ(clock.format(), QStringLiteral("100:01:05"));
    clock.reset();
    now += 100LL * 3600 * 1000;
    EXPECT_EQ(clock.format(), QStringLiteral("100:00:00"));
}

}  // namespace
}  // namespace varnelt
