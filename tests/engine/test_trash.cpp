// The trash over bytes: where a file goes, what its info file says, and what happens when the
// trash cannot take it.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QRegularExpression>

#include <functional>
#include <optional>

#include "engine/trash.h"
#include "tests/support/child_report.h"
#include "tests/support/data_home.h"
#include "tests/support/scratch.h"

namespace varnelt {
namespace {

using test::DataHome;
using test::nativeExists;
using test::readNativeFile;
using test::ScratchDir;
using test::writeNativeFile;

const QByteArray kCp932Name = "\x93\xfa\x96\x7b.zip";  // 日本.zip

// The lines of an info file, split at their "=": Path and DeletionDate.
QString infoValue(const QByteArray& info, const char* key) {
    for (const QByteArray& line : info.split('\n')) {
        if (line.startsWith(QByteArray(key) + '=')) {
            return QString::fromLatin1(line.mid(qstrlen(key) + 1));
        }
    }
    return {};
}

mode_t modeOf(const QByteArray& path) {
    struct stat info {};
    return lstat(path.constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

class HomeTrash : public ::testing::Test {
protected:
    QByteArray trash() const { return scratch_.nativePath("data/Trash"); }
    ScratchDir scratch_;
    DataHome home_{scratch_.nativePath("data")};
};

TEST_F(HomeTrash, FileGoesToFilesWithItsInfoBeside) {
    const QByteArray path = scratch_.nativePath("bad file.zip");
    writeNativeFile(path, "bad");
    EXPECT_FALSE(MoveToTrash(path).error.has_value());
    EXPECT_FALSE(nativeExists(path));
    EXPECT_EQ(readNativeFile(trash() + "/files/bad file.zip"), "bad");
    const QByteArray info = readNativeFile(trash() + "/info/bad file.zip.trashinfo");
    EXPECT_TRUE(info.startsWith("[Trash Info]\n")) << info.constData();
    EXPECT_EQ(infoValue(info, "Path"), QString::fromUtf8(scratch_.nativePath("bad%20file.zip")));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$"))
                    .match(infoValue(info, "DeletionDate"))
                    .hasMatch())
        << info.constData();
    // Folders the trash makes are the user's alone.
    for (const char* folder : {"", "/files", "/info"}) {
        EXPECT_EQ(modeOf(trash() + folder), 0700u) << folder;
    }
    EXPECT_FALSE(QFile::exists(QDir::currentPath() + QStringLiteral("/files/bad file.zip")));
}

TEST_F(HomeTrash, InfoRecordsANameThatIsNotUtf8AsItsBytes) {
    const QByteArray path = scratch_.nativePath(kCp932Name);
    writeNativeFile(path, "bad");
    EXPECT_FALSE(MoveToTrash(path).error.has_value());
    EXPECT_EQ(readNativeFile(trash() + "/files/" + kCp932Name), "bad");
    const QByteArray info = readNativeFile(trash() + "/info/" + kCp932Name + ".trashinfo");
    EXPECT_EQ(infoValue(info, "Path"), QString::fromUtf8(scratch_.nativePath("%93%FA%96%7B.zip")));
}

TEST_F(HomeTrash, TakenNamesGetTheNextNumber) {
    ASSERT_EQ(QDir().mkpath(QString::fromUtf8(trash() + "/info")), true);
    ASSERT_EQ(QDir().mkpath(QString::fromUtf8(trash() + "/files")), true);
    // An info file of an earlier file, and a file left in files/ without its info file.
    writeNativeFile(trash() + "/info/" + kCp932Name + ".trashinfo", "earlier");
    writeNativeFile(trash() + "/files/\x93\xfa\x96\x7b (1).zip", "orphan");
    const QByteArray path = scratch_.nativePath(kCp932Name);
    writeNativeFile(path, "bad");
    EXPECT_FALSE(MoveToTrash(path).error.has_value());
    EXPECT_EQ(readNativeFile(trash() + "/info/" + kCp932Name + ".trashinfo"), "earlier");
    EXPECT_EQ(readNativeFile(trash() + "/files/\x93\xfa\x96\x7b (1).zip"), "orphan");
    EXPECT_FALSE(nativeExists(trash() + "/info/\x93\xfa\x96\x7b (1).zip.trashinfo"));
    EXPECT_EQ(readNativeFile(trash() + "/files/\x93\xfa\x96\x7b (2).zip"), "bad");
    EXPECT_TRUE(nativeExists(trash() + "/info/\x93\xfa\x96\x7b (2).zip.trashinfo"));
}

TEST(TrashFailure, TrashBelowAPlainFileIsAnErrorAndTheFileStays) {
    const ScratchDir scratch;
    writeNativeFile(scratch.nativePath("plain"), "a file where a folder belongs");
    const DataHome home(scratch.nativePath("plain/data"));
    const QByteArray path = scratch.nativePath("bad.zip");
    writeNativeFile(path, "bad");
    const MaybeError error = MoveToTrash(path).error;
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number, ENOTDIR);
    EXPECT_EQ(error->path, scratch.path(QStringLiteral("plain/data")));
    EXPECT_EQ(readNativeFile(path), "bad");
    // A file that is not there is an error too.
    const MaybeError gone = MoveToTrash(scratch.nativePath("gone.zip")).error;
    ASSERT_TRUE(gone.has_value());
    EXPECT_EQ(gone->number, ENOENT);
}

// Runs work in a child process with mounts of its own, which vanish with it; the child's
// report comes back. Nothing when this machine allows no such mounts.
std::optional<QByteArray> withOwnMounts(const std::function<QByteArray()>& work) {
    return test::reportFromChild([&]() -> std::optional<QByteArray> {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            return std::nullopt;
        }
        return work();
    });
}

// One line per fact, so that the parent sees what the child saw.
QByteArray describe(const MaybeError& error, const QByteArrayList& paths) {
    QByteArray report = "error " + QByteArray::number(error ? error->number : 0) + '\n';
    for (const QByteArray& path : paths) {
        report += path + (nativeExists(path) ? " exists\n" : " absent\n");
    }
    return report;
}

class TopFolderTrash : public ::testing::Test {
protected:
    // Trashes mnt/sub/日本.zip on a file system of its own mounted at mnt, after prepare has
    // run there. The report says what became of the file, whether it and its info file are in
    // the trash folder expected (relative to mnt), what the info file records and the
    // folder's mode.
    QByteArray trashOnOwnFileSystem(const std::function<void(const QByteArray&)>& prepare,
                                    const QByteArray& expected) {
        const QByteArray mnt = scratch_.nativePath("mnt");
        mkdir(mnt.constData(), 0755);
        const std::optional<QByteArray> report = withOwnMounts([&] {
            if (mount("tmpfs", mnt.constData(), "tmpfs", 0, "mode=0755") != 0) {
                return QByteArray("cannot mount\n");
            }
            mkdir((mnt + "/sub").constData(), 0755);
            writeNativeFile(mnt + "/sub/" + kCp932Name, "bad");
            prepare(mnt);
            const QByteArray trash = mnt + '/' + expected;
            const QByteArray info = trash + "/info/" + kCp932Name + ".trashinfo";
            QByteArray report =
                describe(MoveToTrash(mnt + "/sub/" + kCp932Name).error,
                         {mnt + "/sub/" + kCp932Name, trash + "/files/" + kCp932Name, info});
            if (nativeExists(info)) {
                report += "Path=" + infoValue(readNativeFile(info), "Path").toUtf8() + '\n';
            }
            return report + "mode " + QByteArray::number(modeOf(trash), 8) + '\n';
        });
        skipped_ = !report.has_value();
        return report.value_or(QByteArray());
    }
    // The report of a file that went where it was expected.
    QByteArray trashedInto(const QByteArray& expected) const {
        const QByteArray mnt = scratch_.nativePath("mnt");
        const QByteArray trash = mnt + '/' + expected;
        return "error 0\n" + mnt + "/sub/" + kCp932Name + " absent\n" + trash + "/files/" +
               kCp932Name + " exists\n" + trash + "/info/" + kCp932Name +
               ".trashinfo exists\nPath=sub/%93%FA%96%7B.zip\nmode 700\n";
    }
    QByteArray uid() const { return QByteArray::number(getuid()); }

    ScratchDir scratch_;
    DataHome home_{scratch_.nativePath("data")};
    bool skipped_ = false;
};

TEST_F(TopFolderTrash, OwnTrashFolderAtTheTopWithAPathRelativeToIt) {
    const QByteArray trash = ".Trash-" + uid();
    const QByteArray report = trashOnOwnFileSystem([](const QByteArray&) {}, trash);
    if (skipped_) {
        GTEST_SKIP() << "this machine allows no mounts of a test's own";
    }
    EXPECT_EQ(report, trashedInto(trash));
    EXPECT_FALSE(nativeExists(scratch_.nativePath("data/Trash"))) << "the home trash is not used";
}

TEST_F(TopFolderTrash, SharedTrashFolderOnlyWhenItIsARealStickyFolder) {
    const auto sharedFolder = [](mode_t mode) {
        return [mode](const QByteArray& mnt) {
            mkdir((mnt + "/.Trash").constData(), 0777);
            chmod((mnt + "/.Trash").constData(), mode);
        };
    };
    const struct {
        const char* name;
        std::function<void(const QByteArray&)> prepare;
        bool shared;
    } rows[] = {
        {"sticky", sharedFolder(01777), true},
        {"not sticky", sharedFolder(0777), false},
        {"a link to a sticky folder",
         [](const QByteArray& mnt) {
             mkdir((mnt + "/real").constData(), 0777);
             chmod((mnt + "/real").constData(), 01777);
             symlink("real", (mnt + "/.Trash").constData());
         },
         false},
    };
    for (const auto& row : rows) {
        const QByteArray trash = row.shared ? ".Trash/" + uid() : ".Trash-" + uid();
        const QByteArray report = trashOnOwnFileSystem(row.prepare, trash);
        if (skipped_) {
            GTEST_SKIP() << "this machine allows no mounts of a test's own";
        }
        EXPECT_EQ(report, trashedInto(trash)) << row.name;
    }
}

TEST(TrashAcrossMounts, RenameThatFailsTakesItsInfoFileBackAndNeverCopies) {
    const ScratchDir scratch;
    const DataHome home(scratch.nativePath("data"));
    const QByteArray source = scratch.nativePath("source");
    const QByteArray bound = scratch.nativePath("bound");
    mkdir(source.constData(), 0755);
    mkdir(bound.constData(), 0755);
    writeNativeFile(source + "/a.zip", "bad");
    // The same file system seen through a second mount: the home trash is chosen, and the
    // rename into it refuses to cross the mounts.
    const std::optional<QByteArray> report = withOwnMounts([&] {
        if (mount(source.constData(), bound.constData(), nullptr, MS_BIND, nullptr) != 0) {
            return QByteArray("cannot mount\n");
        }
        const MaybeError error = MoveToTrash(bound + "/a.zip").error;
        return describe(error, {bound + "/a.zip", scratch.nativePath("data/Trash/files/a.zip"),
                                scratch.nativePath("data/Trash/info/a.zip.trashinfo")});
    });
    if (!report) {
        GTEST_SKIP() << "this machine allows no mounts of a test's own";
    }
    EXPECT_EQ(*report, "error " + QByteArray::number(EXDEV) + '\n' + bound + "/a.zip exists\n" +
                           scratch.nativePath("data/Trash/files/a.zip") + " absent\n" +
                           scratch.nativePath("data/Trash/info/a.zip.trashinfo") + " absent\n");
}

}  // namespace
}  // namespace varnelt
