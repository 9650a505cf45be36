// What a worker may not do once its libraries are loaded: a stand-in library tries each
// forbidden operation during its test and passes only when the kernel refused it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QEventLoop>
#include <QFileInfo>

#include "base/app_paths.h"
#include "checkers/verdicts.h"
#include "engine/check_engine.h"
#include "tests/support/fake_library.h"
#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

class WorkerSandboxTest : public ::testing::Test {
protected:
    // The verdict of a stand-in test that tries `operation` on `target`, in a worker.
    QString verdictInWorker(const QByteArray& operation, const QString& target) {
        const QString path = probe(operation, target);
        RunSettings settings;
        settings.workerProgram = WorkerProgramPath();
        settings.libraries = {{ArchiveFormat::ZIP, fakeLibraryPath()}};
        const QByteArray bytes = path.toUtf8();
        CheckEngine engine(
            {{bytes.left(bytes.lastIndexOf('/') + 1), bytes.mid(bytes.lastIndexOf('/') + 1),
              QFileInfo(path).fileName(), QFileInfo(path).size()}},
            settings);
        QString verdict;
        QEventLoop loop;
        QObject::connect(&engine, &CheckEngine::decided, [&](size_t, const RowDecision& decision) {
            verdict = decision.outcome.verdict;
        });
        QObject::connect(&engine, &CheckEngine::finished, &loop, &QEventLoop::quit);
        engine.start();
        loop.exec();
        return verdict;
    }
    // The same test made here, without the sandbox.
    QString verdictInProcess(const QByteArray& operation, const QString& target) {
        const QString path = probe(operation, target);
        const auto library = loadFake(ArchiveFormat::ZIP);
        const CheckRules rules;
        const std::vector<ArchiveChecker> checkers{{TraitsOf(ArchiveFormat::ZIP), *library, rules}};
        return DecideFile(path.toUtf8(), QFileInfo(path).fileName(), checkers, rules).verdict;
    }
    QString probe(const QByteArray& operation, const QString& target) {
        const QString path = scratch_.path(QStringLiteral("probe-%1.zip").arg(++probes_));
        writeFakeArchive(path.toUtf8(), "PK",
                         "command=0\ntry=" + operation + "\ntarget=" + target.toUtf8());
        return path;
    }

    ScratchDir scratch_;
    int probes_ = 0;
};

TEST_F(WorkerSandboxTest, ForbiddenOperationsAreRefused) {
    const QString existing = scratch_.path(QStringLiteral("existing.txt"));
    writeFile(existing, "untouched");
    ASSERT_EQ(chmod(existing.toUtf8().constData(), 0600), 0);
    const QString created = scratch_.path(QStringLiteral("created.txt"));
    const QString folder = scratch_.path(QStringLiteral("folder"));
    const struct {
        const char* operation;
        QString target;
    } probes[] = {
        {"socket", {}},      {"exec", {}},         {"ptrace", {}},       {"create", created},
        {"write", existing}, {"append", existing}, {"rename", existing}, {"unlink", existing},
        {"mkdir", folder},   {"chmod", existing},
    };
    for (const auto& probe : probes) {
        EXPECT_EQ(verdictInWorker(probe.operation, probe.target), kGoodVerdict)
            << probe.operation << " was let through";
    }
    EXPECT_FALSE(QFileInfo::exists(created));
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_FALSE(QFileInfo::exists(existing + QStringLiteral(".renamed")));
    EXPECT_EQ(readFile(existing), "untouched");
    struct stat info {};
    ASSERT_EQ(stat(existing.toUtf8().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(WorkerSandboxTest, TheProbesSeeWhatIsAllowedOutsideTheSandbox) {
    const QString created = scratch_.path(QStringLiteral("created.txt"));
    EXPECT_EQ(verdictInProcess("create", created), kBadFileCaption);
    EXPECT_TRUE(QFileInfo::exists(created));
    EXPECT_EQ(verdictInProcess("socket", {}), kBadFileCaption);
    EXPECT_EQ(verdictInProcess("mkdir", scratch_.path(QStringLiteral("folder"))), kBadFileCaption);
}

}  // namespace
}  // namespace varnelt::test
