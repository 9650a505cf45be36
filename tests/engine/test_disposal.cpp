// Disposal against real files: free names, moves that never replace, trash and delete, all by
// the bytes of the names.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <thread>

#include "base/error_catalogue.h"
#include "engine/disposal.h"
#include "engine/elapsed.h"
#include "engine/file_move.h"
#include "engine/free_name.h"
#include "tests/support/data_home.h"
#include "tests/support/scratch.h"

namespace varnelt {
namespace {

using test::nativeExists;
using test::readFile;
using test::readNativeFile;
using test::ScratchDir;
using test::writeFile;
using test::writeNativeFile;

const auto kNoPump = [] {};

// 日本.zip as CP932 bytes, as unpacking an old Japanese archive leaves it.
const QByteArray kCp932Name = "\x93\xfa\x96\x7b.zip";

class FreeNames : public ::testing::Test {
protected:
    QByteArray freeName(const QByteArray& name, const QByteArrayList& existing) {
        for (const QByteArray& file : existing) {
            writeNativeFile(scratch_.nativePath(file), "x");
        }
        const FreeName free = FindFreeName(scratch_.root().toUtf8(), name, kNoPump);
        EXPECT_FALSE(free.error.has_value());
        return free.name;
    }
    ScratchDir scratch_;
};

TEST_F(FreeNames, NumberGoesBeforeTheLastExtension) {
    EXPECT_EQ(freeName("a.zip", {}), "a.zip");
    EXPECT_EQ(freeName("a.zip", {"a.zip"}), "a (1).zip");
    EXPECT_EQ(freeName("a.zip", {"a (1).zip"}), "a (2).zip");
    EXPECT_EQ(freeName("README", {"README"}), "README (1)");
    EXPECT_EQ(freeName("a.tar.gz", {"a.tar.gz"}), "a.tar (1).gz");
    EXPECT_EQ(freeName("name.", {"name."}), "name (1)");
    EXPECT_EQ(freeName(".profile", {".profile"}), " (1).profile");
    EXPECT_EQ(freeName(kCp932Name, {kCp932Name}), "\x93\xfa\x96\x7b (1).zip");
}

TEST_F(FreeNames, FirstGapIsFilled) {
    EXPECT_EQ(freeName("r.lzh", {"r.lzh", "r (2).lzh", "r (3).lzh"}), "r (1).lzh");
}

TEST_F(FreeNames, DanglingLinkTakesItsName) {
    ASSERT_EQ(symlink("nowhere", scratch_.nativePath("l.zip").constData()), 0);
    EXPECT_EQ(freeName("l.zip", {}), "l (1).zip");
}

TEST(Disposal, MoveIntoTheFileSOwnFolderTakesANumber) {
    const ScratchDir scratch;
    writeFile(scratch.path(QStringLiteral("a.zip")), "bad");
    EXPECT_FALSE(DisposeOf(DisposalAction::Move, scratch.root().toUtf8(), "a.zip",
                           scratch.root().toUtf8(), kNoPump)
                     .error);
    EXPECT_FALSE(QFile::exists(scratch.path(QStringLiteral("a.zip"))));
    EXPECT_EQ(readFile(scratch.path(QStringLiteral("a (1).zip"))), QByteArray("bad"));
}

TEST(Disposal, MoveNeverReplacesAnExistingFile) {
    const ScratchDir scratch;
    QDir().mkpath(scratch.path(QStringLiteral("dest")));
    writeFile(scratch.path(QStringLiteral("a.zip")), "new");
    writeFile(scratch.path(QStringLiteral("dest/a.zip")), "old");
    EXPECT_FALSE(DisposeOf(DisposalAction::Move, scratch.root().toUtf8(), "a.zip",
                           scratch.nativePath("dest/"), kNoPump)
                     .error);
    EXPECT_EQ(readFile(scratch.path(QStringLiteral("dest/a.zip"))), QByteArray("old"));
    EXPECT_EQ(readFile(scratch.path(QStringLiteral("dest/a (1).zip"))), QByteArray("new"));
    // A target that appeared after the name was chosen makes the move fail.
    writeFile(scratch.path(QStringLiteral("b.zip")), "source");
    writeFile(scratch.path(QStringLiteral("dest/late.zip")), "late");
    const MaybeError error =
        MoveWithoutReplacing(scratch.nativePath("b.zip"), scratch.nativePath("dest/late.zip"));
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number, EEXIST);
    EXPECT_EQ(readFile(scratch.path(QStringLiteral("dest/late.zip"))), QByteArray("late"));
    EXPECT_EQ(readFile(scratch.path(QStringLiteral("b.zip"))), QByteArray("source"));
}

// A folder on another file system than the scratch folder, where the machine has one.
class AcrossFileSystems : public ::testing::Test {
protected:
    void SetUp() override {
        struct stat here {};
        struct stat there {};
        if (!other_.isValid() || stat(scratch_.root().toUtf8().constData(), &here) != 0 ||
            stat(other_.path().toUtf8().constData(), &there) != 0 || here.st_dev == there.st_dev) {
            GTEST_SKIP() << "this machine offers no second file system at /dev/shm";
        }
    }
    ScratchDir scratch_;
    QTemporaryDir other_{QStringLiteral("/dev/shm/varnelt-test-XXXXXX")};
};

TEST_F(AcrossFileSystems, MoveKeepsEveryByte) {
    const QByteArray content = test::sampleContent(300000, 9);
    const QString source = scratch_.path(QStringLiteral("big.zip"));
    writeFile(source, content);
    const struct utimbuf old = {1000000000, 1000000000};
    utime(source.toUtf8().constData(), &old);
    EXPECT_FALSE(DisposeOf(DisposalAction::Move, scratch_.root().toUtf8(), "big.zip",
                           other_.path().toUtf8() + '/', kNoPump)
                     .error);
    EXPECT_FALSE(QFile::exists(source));
    const QString moved = other_.path() + QStringLiteral("/big.zip");
    EXPECT_EQ(readFile(moved), content);
    EXPECT_EQ(QFileInfo(moved).lastModified().toSecsSinceEpoch(), 1000000000);
}

TEST(Disposal, NamesThatAreNotUtf8AreMovedTrashedAndDeletedByTheirBytes) {
    const ScratchDir scratch;
    const QByteArray source = scratch.nativePath(kCp932Name);
    const QByteArray destination = scratch.nativePath("dest/");
    ASSERT_EQ(mkdir(destination.constData(), 0755), 0);
    writeNativeFile(destination + kCp932Name, "old");
    writeNativeFile(source, "moved");
    const Placement moved =
        DisposeOf(DisposalAction::Move, scratch.root().toUtf8(), kCp932Name, destination, kNoPump);
    EXPECT_FALSE(moved.error);
    EXPECT_FALSE(nativeExists(source));
    EXPECT_EQ(readNativeFile(destination + kCp932Name), "old");
    EXPECT_EQ(moved.path, destination + "\x93\xfa\x96\x7b (1).zip") << "the name it took";
    EXPECT_EQ(readNativeFile(moved.path), "moved");

    writeNativeFile(source, "trashed");
    const test::DataHome home(scratch.nativePath("data"));
    const Placement trashed =
        DisposeOf(DisposalAction::DeleteInBox, scratch.root().toUtf8(), kCp932Name, {}, kNoPump);
    EXPECT_FALSE(trashed.error);
    EXPECT_FALSE(nativeExists(source));
    EXPECT_EQ(trashed.path, scratch.nativePath("data/Trash/files/") + kCp932Name);
    EXPECT_EQ(readNativeFile(trashed.path), "trashed");

    writeNativeFile(source, "deleted");
    EXPECT_FALSE(
        DisposeOf(DisposalAction::Delete, scratch.root().toUtf8(), kCp932Name, {}, kNoPump).error);
    EXPECT_FALSE(nativeExists(source));
}

TEST_F(AcrossFileSystems, MoveNeverWaitsOnAPipe) {
    const QByteArray pipe = scratch_.nativePath("pipe.zip");
    ASSERT_EQ(mkfifo(pipe.constData(), 0600), 0);
    // Should the open wait for a writer, one comes and goes after two seconds: the move is late
    // and carries the empty pipe away.
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 40 && !done; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        const int fd = ::open(pipe.constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            ::close(fd);
        }
    });
    QElapsedTimer clock;
    clock.start();
    const MaybeError error =
        MoveWithoutReplacing(pipe, other_.path().toUtf8() + QByteArray("/pipe.zip"));
    const qint64 elapsed = clock.elapsed();
    done = true;
    writer.join();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number, kErrorNotRegularFile);
    EXPECT_LT(elapsed, 1500);
    EXPECT_TRUE(nativeExists(pipe));
    EXPECT_FALSE(QFile::exists(other_.path() + QStringLiteral("/pipe.zip")));
}

TEST(Disposal, DeleteAndNothing) {
    const ScratchDir scratch;
    writeFile(scratch.path(QStringLiteral("a.zip")), "a");
    EXPECT_FALSE(
        DisposeOf(DisposalAction::Nothing, scratch.root().toUtf8(), "a.zip", {}, kNoPump).error);
    EXPECT_TRUE(QFile::exists(scratch.path(QStringLiteral("a.zip"))));
    EXPECT_FALSE(
        DisposeOf(DisposalAction::Delete, scratch.root().toUtf8(), "a.zip", {}, kNoPump).error);
    EXPECT_FALSE(QFile::exists(scratch.path(QStringLiteral("a.zip"))));
    const MaybeError gone =
        DisposeOf(DisposalAction::Delete, scratch.root().toUtf8(), "a.zip", {}, kNoPump).error;
    ASSERT_TRUE(gone.has_value());
    EXPECT_EQ(gone->number, ENOENT);
    EXPECT_TRUE(DescriptionInUse(*gone).endsWith(scratch.path(QStringLiteral("a.zip"))));
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
