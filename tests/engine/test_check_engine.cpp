// The check run through real worker processes: stand-in libraries that crash, spin or hog
// memory, row order across several workers, Stop in its two steps, and worker failures.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <functional>

#include "base/app_paths.h"
#include "base/error_catalogue.h"
#include "checkers/archiver_set.h"
#include "checkers/verdicts.h"
#include "engine/check_engine.h"
#include "engine/run_setup.h"
#include "engine/worker_process.h"
#include "engine/worker_protocol.h"
#include "tests/support/archive_makers.h"
#include "tests/support/fake_library.h"
#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

struct Delivery {
    size_t row;
    RowDecision decision;
};

struct EngineRun {
    std::vector<Delivery> delivered;
    MaybeError error;
    bool finished = false;
};

// Runs the engine to its end; `tick` is called every 10 ms meanwhile.
EngineRun runToEnd(CheckEngine& engine, const std::function<void()>& tick = {}) {
    EngineRun run;
    QEventLoop loop;
    QObject::connect(&engine, &CheckEngine::decided, [&](size_t row, const RowDecision& decision) {
        run.delivered.push_back({row, decision});
    });
    QObject::connect(&engine, &CheckEngine::finished, [&](const MaybeError& error) {
        run.error = error;
        run.finished = true;
        loop.quit();
    });
    QTimer ticks;
    if (tick) {
        QObject::connect(&ticks, &QTimer::timeout, tick);
        ticks.start(10);
    }
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    engine.start();
    loop.exec();
    return run;
}

RunFile fileAt(const QString& path) {
    const QByteArray bytes = path.toUtf8();
    const qsizetype slash = bytes.lastIndexOf('/');
    return {bytes.left(slash + 1), bytes.mid(slash + 1), QFileInfo(path).fileName(),
            QFileInfo(path).size()};
}

class CheckEngineTest : public ::testing::Test {
protected:
    CheckEngineTest() {
        settings_.workerProgram = WorkerProgramPath();
        settings_.libraries = {{ArchiveFormat::ZIP, fakeLibraryPath()}};
        settings_.limits = {2, 256};
    }
    // A stand-in archive for the ZIP checker: "PK" and its script.
    QString fake(const QString& name, const QByteArray& script) {
        const QString path = scratch_.path(name);
        writeFakeArchive(path.toUtf8(), "PK", script);
        files_.push_back(fileAt(path));
        return path;
    }
    EngineRun run(const std::function<void(CheckEngine&)>& tick = {}) {
        CheckEngine engine(files_, settings_);
        return runToEnd(engine, [&] {
            if (tick) {
                tick(engine);
            }
        });
    }
    static std::vector<size_t> rowsOf(const EngineRun& run) {
        std::vector<size_t> rows;
        for (const Delivery& delivery : run.delivered) {
            rows.push_back(delivery.row);
        }
        return rows;
    }
    static bool memoryLimited() { return WorkerMemoryLimitBytes({60, 256}) > 0; }

    ScratchDir scratch_;
    RunSettings settings_;
    std::vector<RunFile> files_;
};

TEST_F(CheckEngineTest, LibraryThatCrashesSpinsOrHogsCostsOnlyThatFilesVerdict) {
    fake(QStringLiteral("a.zip"), "command=0");
    fake(QStringLiteral("crash.zip"), "crash=1\ncommand=0");
    fake(QStringLiteral("b.zip"), "command=0");
    fake(QStringLiteral("spin.zip"), "spin=1\ncommand=0");
    fake(QStringLiteral("c.zip"), "command=0x8019");
    fake(QStringLiteral("hog.zip"), memoryLimited() ? "hog=1\ncommand=0" : "command=0");
    fake(QStringLiteral("d.zip"), "command=0");
    settings_.jobs = 2;
    const EngineRun result = run();
    ASSERT_TRUE(result.finished);
    EXPECT_FALSE(result.error);
    ASSERT_EQ(rowsOf(result), (std::vector<size_t>{0, 1, 2, 3, 4, 5, 6}));
    const auto verdict = [&](size_t row) { return result.delivered[row].decision.outcome.verdict; };
    const auto failures = [&](size_t row) { return result.delivered[row].decision.failures; };
    for (const size_t good : {0, 2, 6}) {
        EXPECT_EQ(verdict(good), kGoodVerdict) << good;
        EXPECT_TRUE(failures(good).empty()) << good;
    }
    EXPECT_EQ(verdict(4), kBadFileCaption);
    EXPECT_TRUE(failures(4).empty()) << "an ordinary failed test has no note";

    EXPECT_EQ(verdict(1), kBadFileCaption);
    ASSERT_EQ(failures(1).size(), 1u);
    EXPECT_EQ(EnglishDescription(failures(1)[0]),
              QStringLiteral("libfake_archiver.so: ") + QLatin1String(kCrashText));

    EXPECT_EQ(verdict(3), kBadFileCaption);
    ASSERT_EQ(failures(3).size(), 1u);
    EXPECT_EQ(failures(3)[0].kind, TestFailure::Kind::TimeLimit);
    EXPECT_EQ(failures(3)[0].number, 2);

    if (memoryLimited()) {
        EXPECT_EQ(verdict(5), kBadFileCaption);
        ASSERT_EQ(failures(5).size(), 1u);
        EXPECT_EQ(
            EnglishDescription(failures(5)[0]),
            QStringLiteral("libfake_archiver.so: the test needed more than 256 MB of memory"));
    } else {
        EXPECT_EQ(verdict(5), kGoodVerdict);
    }
}

TEST_F(CheckEngineTest, FileALibraryFailsGoesOnToTheNextFormat) {
    settings_.libraries = {{ArchiveFormat::LZH, fakeLibraryPath()},
                           {ArchiveFormat::ZIP, fakeLibraryPath()}};
    fake(QStringLiteral("a.zip"), "Unlha.crash=1\nUnlha.command=0\nUnZip.command=0");
    fake(QStringLiteral("b.zip"), "Unlha.command=0x8019\nUnZip.crash=1");
    const EngineRun result = run();
    ASSERT_EQ(rowsOf(result), (std::vector<size_t>{0, 1}));
    const RowDecision& passed = result.delivered[0].decision;
    EXPECT_EQ(passed.outcome.kind, OutcomeKind::Good) << "the ZIP library still judges it";
    ASSERT_EQ(passed.failures.size(), 1u);
    EXPECT_EQ(passed.failures[0].kind,
              kSanitizedBuild ? TestFailure::Kind::Exited : TestFailure::Kind::Crashed);
    const RowDecision& last = result.delivered[1].decision;
    EXPECT_EQ(last.outcome.kind, OutcomeKind::Bad) << "no format is left after the ZIP library";
    EXPECT_EQ(last.outcome.verdict, kBadFileCaption);
}

TEST_F(CheckEngineTest, CrashWithTheBrokenRuleOffIsGoodLikeAnyFailedTest) {
    settings_.rules.badFile = false;
    fake(QStringLiteral("crash.zip"), "crash=1");
    const EngineRun result = run();
    ASSERT_EQ(result.delivered.size(), 1u);
    EXPECT_EQ(result.delivered[0].decision.outcome.kind, OutcomeKind::Good);
    EXPECT_EQ(result.delivered[0].decision.failures.size(), 1u);
}

// A file alone is given every core of the run; while others wait, each file has one.
TEST_F(CheckEngineTest, IdleCoresAreLentToTheLastFiles) {
    settings_.jobs = 3;
    fake(QStringLiteral("alone.zip"), "threads=3\ncommand=0");
    EXPECT_EQ(run().delivered.at(0).decision.outcome.verdict, kGoodVerdict);

    files_.clear();
    for (int i = 0; i < 6; ++i) {
        fake(QStringLiteral("many%1.zip").arg(i), "sleep=100\nthreads=1\ncommand=0");
    }
    const EngineRun many = run();
    ASSERT_EQ(many.delivered.size(), 6u);
    for (size_t i = 0; i < many.delivered.size(); ++i) {
        EXPECT_EQ(many.delivered[i].decision.outcome.verdict, kGoodVerdict) << i;
    }
}

TEST_F(CheckEngineTest, DecisionsArriveInRowOrderFromFourWorkers) {
    ArchiverSet archivers;
    archivers.DetectArchivers();
    settings_.libraries = EnabledLibraries(archivers, {kAllFormats.begin(), kAllFormats.end()});
    settings_.jobs = 4;
    settings_.limits = {};
    // A big archive first, then small ones, broken ones and gaps of every size.
    for (int i = 0; i < 40; ++i) {
        const QString path = scratch_.path(QStringLiteral("f%1.zip").arg(i, 2, 10, QChar(u'0')));
        const int size = i == 0 ? 24 << 20 : (i % 7 == 3 ? 2 << 20 : 200 * i);
        if (i % 5 == 4) {
            writeFile(path, sampleContent(size, i));  // not an archive
        } else {
            ASSERT_TRUE(makeZip(path, {{QStringLiteral("a.txt"), sampleContent(size, i)}}));
        }
        files_.push_back(fileAt(path));
    }
    const EngineRun result = run();
    std::vector<size_t> expected(files_.size());
    std::iota(expected.begin(), expected.end(), 0);
    ASSERT_EQ(rowsOf(result), expected);
    for (const Delivery& delivery : result.delivered) {
        EXPECT_EQ(delivery.decision.outcome.verdict,
                  delivery.row % 5 == 4 ? kBadFileCaption : kGoodVerdict)
            << delivery.row;
    }
}

TEST_F(CheckEngineTest, FirstStopLetsTheFileUnderTestFinishAndDisposeOf) {
    settings_.action = DisposalAction::Delete;
    const QString first = fake(QStringLiteral("a.zip"), "command=0x8019");
    const QString slow = fake(QStringLiteral("slow.zip"), "sleep=800\ncommand=0x8019");
    const QString after = fake(QStringLiteral("c.zip"), "command=0x8019");
    fake(QStringLiteral("d.zip"), "command=0x8019");
    const EngineRun result = run([](CheckEngine& engine) {
        if (engine.oldestUnderTest() == 1u) {
            engine.stop();
        }
    });
    ASSERT_TRUE(result.finished);
    EXPECT_FALSE(result.error);
    EXPECT_EQ(rowsOf(result), (std::vector<size_t>{0, 1}));
    EXPECT_FALSE(QFile::exists(first));
    EXPECT_FALSE(QFile::exists(slow)) << "the file under test is disposed of as usual";
    EXPECT_TRUE(QFile::exists(after));
}

TEST_F(CheckEngineTest, DropThatArrivesBeforeAnyTestBeganKeepsTheOldest) {
    // Configuration, two tests and the Drop reach the worker in one read, before it has
    // loaded its library: the oldest test is the one the window shows as under test.
    fake(QStringLiteral("a.zip"), "command=0");
    fake(QStringLiteral("b.zip"), "command=0");
    WorkerProcess worker(settings_.workerProgram,
                         worker::EncodeConfiguration(
                             {{{ArchiveFormat::ZIP, fakeLibraryPath()}}, settings_.rules, 0}));
    std::vector<quint64> answered;
    std::vector<quint64> skipped;
    QEventLoop loop;
    QObject::connect(&worker, &WorkerProcess::answered,
                     [&](const worker::TestAnswer& answer) { answered.push_back(answer.serial); });
    QObject::connect(&worker, &WorkerProcess::skipped,
                     [&](quint64 serial) { skipped.push_back(serial); });
    QObject::connect(&worker, &WorkerProcess::died, &loop, &QEventLoop::quit);
    worker.start();
    for (quint64 serial = 0; serial < 2; ++serial) {
        worker.send({serial, 0, files_[serial].path(), files_[serial].name, 1});
    }
    worker.dropQueued();
    worker.finish();
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(answered, (std::vector<quint64>{0}));
    EXPECT_EQ(skipped, (std::vector<quint64>{1}));
}

TEST_F(CheckEngineTest, SecondStopAbandonsTheFileUnderTest) {
    settings_.action = DisposalAction::Delete;
    fake(QStringLiteral("a.zip"), "command=0x8019");
    const QString slow = fake(QStringLiteral("slow.zip"), "sleep=30000\ncommand=0x8019");
    fake(QStringLiteral("c.zip"), "command=0x8019");
    QElapsedTimer clock;
    const EngineRun result = run([&clock](CheckEngine& engine) {
        if (engine.oldestUnderTest() == 1u && !engine.stopping()) {
            engine.stop();
            engine.abandon();
            clock.start();
        }
    });
    ASSERT_TRUE(result.finished);
    EXPECT_LT(clock.elapsed(), 5000) << "the slow test is not waited for";
    EXPECT_EQ(rowsOf(result), (std::vector<size_t>{0}));
    EXPECT_TRUE(QFile::exists(slow));
}

TEST_F(CheckEngineTest, WorkerThatCannotStartEndsTheRunWithAnError) {
    fake(QStringLiteral("a.zip"), "command=0");
    settings_.workerProgram = scratch_.path(QStringLiteral("no-such-worker"));
    EngineRun result = run();
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->number, kErrorWorkerFailed);
    EXPECT_TRUE(result.delivered.empty());

    settings_.workerProgram = WorkerProgramPath();
    settings_.libraries = {{ArchiveFormat::ZIP, scratch_.path(QStringLiteral("libnone.so"))}};
    result = run();
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->number, kErrorWorkerFailed);
    EXPECT_TRUE(result.error->path.contains(QStringLiteral("libnone.so")));

    // A worker of an older build says it is ready with no version, then waits for tests.
    const QString older = scratch_.path(QStringLiteral("older-worker"));
    writeFile(older, "#!/bin/sh\nprintf '\\001\\000\\000\\000\\013'\nexec cat > /dev/null\n");
    ASSERT_TRUE(QFile::setPermissions(older, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    settings_.workerProgram = older;
    settings_.libraries = {{ArchiveFormat::ZIP, fakeLibraryPath()}};
    result = run();
    ASSERT_TRUE(result.error) << "the run ends instead of waiting for ever";
    EXPECT_EQ(result.error->number, kErrorWorkerFailed);
    EXPECT_TRUE(result.error->path.contains(QStringLiteral("another version")))
        << result.error->path.toStdString();
}

TEST_F(CheckEngineTest, EmptyRunEndsAtOnce) {
    const EngineRun result = run();
    EXPECT_TRUE(result.finished);
    EXPECT_TRUE(result.delivered.empty());
    EXPECT_FALSE(result.error);
}

}  // namespace
}  // namespace varnelt::test
