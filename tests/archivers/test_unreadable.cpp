// Files that every library must tell apart from damaged archives: a pipe or a folder in the
// archive's place (answered at once, never waited on), a file the system refuses to read, and
// one without read permission. The test and CheckArchive answer 0x8018 for a file that cannot
// be opened and 0x801A for a refused read, whatever the format.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

#include "tests/support/archive_makers.h"
#include "tests/support/bound_library.h"
#include "tests/support/call_in_process.h"
#include "tests/support/format_cases.h"
#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

using namespace std::chrono_literals;

bool checkPassed(const Answers& answers, const LibraryUnderTest& library) {
    return answers.check == 1 || (library.secondCheckAnswerPasses && answers.check == 2);
}

// Answers that a file which cannot be read at all gets from every function.
void expectRefused(const Answers& answers, const LibraryUnderTest& library, int32_t code) {
    if (library.testSwitches != nullptr) {
        EXPECT_EQ(answers.command, code);
    }
    EXPECT_EQ(answers.check, code);
    EXPECT_LT(answers.count, 0);
    EXPECT_FALSE(answers.opened);
}

class UnreadableFile : public ::testing::TestWithParam<FormatCase> {
protected:
    void SetUp() override {
        library_ = std::make_unique<BoundLibrary>(GetParam().library);
        ASSERT_TRUE(library_->loaded()) << GetParam().library.fileName;
    }
    QString named(const QString& base) const {
        return scratch_.path(base + u'.' + QLatin1String(GetParam().extension));
    }
    QString makeLarge() {
        const QString archive = named(QStringLiteral("large"));
        EXPECT_TRUE(
            GetParam().make(archive, {{QStringLiteral("payload.txt"), sampleContent(200000, 7)},
                                      {QStringLiteral("more.txt"), "more"}}));
        return archive;
    }
    // Every function called in this process, on a thread of its own.
    Answers callInThread(const QString& path, const QString& releaseFifo) const {
        const ArchiverLibrary& f = library_->functions();
        const QByteArray utf8 = path.toUtf8();
        const QByteArray line =
            QByteArray(GetParam().library.testSwitches ? GetParam().library.testSwitches : "") +
            " \"" + utf8 + '"';
        Answers answers;
        std::promise<void> done;
        std::future<void> finished = done.get_future();
        std::thread worker([&] {
            if (GetParam().library.testSwitches != nullptr) {
                answers.command = f.command(nullptr, line.constData(), nullptr, 0);
            }
            answers.check = f.checkArchive(utf8.constData(), 2);
            answers.count = f.getFileCount(utf8.constData());
            VarneltArchive archive = f.openArchive(nullptr, utf8.constData(), 0);
            answers.opened = archive != nullptr;
            if (archive != nullptr) {
                f.closeArchive(archive);
            }
            done.set_value();
        });
        const bool inTime = finished.wait_for(5s) == std::future_status::ready;
        EXPECT_TRUE(inTime) << path.toStdString() << " was waited on";
        // A writer lets a blocked open of the pipe return, and closing it ends a blocked read.
        while (finished.wait_for(100ms) != std::future_status::ready && !releaseFifo.isEmpty()) {
            const int writer = ::open(releaseFifo.toLocal8Bit().constData(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) {
                ::close(writer);
            }
        }
        worker.join();
        return answers;
    }

    ScratchDir scratch_;
    std::unique_ptr<BoundLibrary> library_;
};

TEST_P(UnreadableFile, PipeOrFolderInTheArchivesPlaceIsAnsweredAtOnce) {
    const QString pipe = named(QStringLiteral("pipe"));
    ASSERT_EQ(mkfifo(pipe.toLocal8Bit().constData(), 0600), 0);
    SCOPED_TRACE("pipe");
    expectRefused(callInThread(pipe, pipe), GetParam().library, VARNELT_ARC_ERROR_ARC_FILE_OPEN);

    const QString folder = named(QStringLiteral("folder"));
    ASSERT_EQ(mkdir(folder.toLocal8Bit().constData(), 0700), 0);
    SCOPED_TRACE("folder");
    expectRefused(callInThread(folder, {}), GetParam().library, VARNELT_ARC_ERROR_ARC_FILE_OPEN);
}

TEST_P(UnreadableFile, ReadRefusedBySystemAnswersCannotRead) {
    const QString archive = makeLarge();
    const qint64 size = QFileInfo(archive).size();
    const QString marked =
        QStringLiteral("VARNELT_FAIL_READS=") + QFileInfo(archive).canonicalFilePath();
    // The interposer is preloaded into a process that a sanitizer runtime would want first.
    const QStringList preload{QStringLiteral("LD_PRELOAD=") + QStringLiteral(VARNELT_READ_FAULT),
                              QStringLiteral("ASAN_OPTIONS=verify_asan_link_order=0")};

    const auto intact = callInProcess(GetParam().library, archive, {.environment = preload});
    ASSERT_TRUE(intact.has_value());
    EXPECT_EQ(intact->command, 0) << "the helper itself must be able to read the archive";
    EXPECT_TRUE(checkPassed(*intact, GetParam().library)) << intact->check;

    const auto refused =
        callInProcess(GetParam().library, archive, {.environment = preload + QStringList{marked}});
    ASSERT_TRUE(refused.has_value());
    expectRefused(*refused, GetParam().library, VARNELT_ARC_ERROR_CANNOT_READ);

    // Refused in the middle of the data, after the headers were read.
    const auto midway = callInProcess(
        GetParam().library, archive,
        {.environment =
             preload +
             QStringList{marked, QStringLiteral("VARNELT_FAIL_READS_FROM=%1").arg(size / 2)}});
    ASSERT_TRUE(midway.has_value());
    if (GetParam().library.testSwitches != nullptr) {
        EXPECT_EQ(midway->command, VARNELT_ARC_ERROR_CANNOT_READ);
    }
    EXPECT_EQ(midway->check, VARNELT_ARC_ERROR_CANNOT_READ);
}

TEST_P(UnreadableFile, FileWithoutReadPermissionCannotBeOpened) {
    // Only the file's own permission may stand in the way, not the folder's.
    ASSERT_EQ(chmod(scratch_.root().toLocal8Bit().constData(), 0755), 0);
    const QString archive = makeLarge();
    QStringList runAs;
    if (geteuid() == 0) {
        runAs = QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=nobody"),
                            QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups")};
        ASSERT_EQ(chmod(archive.toLocal8Bit().constData(), 0644), 0);
        QProcess probe;
        probe.start(runAs.first(), runAs.mid(1) + QStringList{QStringLiteral("true")});
        if (!probe.waitForFinished(10000) || probe.exitCode() != 0) {
            GTEST_SKIP() << "running as root and cannot run a check as an unprivileged user";
        }
        const auto readable = callInProcess(GetParam().library, archive, {.runAs = runAs});
        ASSERT_TRUE(readable.has_value());
        ASSERT_TRUE(checkPassed(*readable, GetParam().library))
            << "the unprivileged user must be able to read it first";
    }
    ASSERT_EQ(chmod(archive.toLocal8Bit().constData(), 0), 0);
    const auto answers = callInProcess(GetParam().library, archive, {.runAs = runAs});
    ASSERT_TRUE(answers.has_value());
    expectRefused(*answers, GetParam().library, VARNELT_ARC_ERROR_ARC_FILE_OPEN);
}

INSTANTIATE_TEST_SUITE_P(Formats, UnreadableFile, ::testing::ValuesIn(kFormats),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace varnelt::test
