// varnelt-check with archive libraries that misbehave: a copy of the program whose ZIP
// library is the scriptable stand-in, crashing, spinning, hogging memory or slow, and a run
// interrupted or killed while a test is under way.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include "engine/run_limits.h"
#include "tests/cli/check_run.h"
#include "tests/support/fake_library.h"
#include "tests/support/log_records.h"
#include "tests/support/raw_process.h"
#include "tests/support/scratch.h"

namespace varnelt::test {
namespace {

class StandInCheck : public ::testing::Test {
protected:
    StandInCheck() {
        // The program finds its libraries and its worker beside itself.
        const QString built = QFileInfo(QString::fromUtf8(selfPath())).path();
        QDir().mkpath(program_);
        for (const char* file : {"varnelt-check", "varnelt-worker"}) {
            const QString copy = program_ + u'/' + QLatin1String(file);
            EXPECT_TRUE(QFile::copy(built + u'/' + QLatin1String(file), copy)) << file;
        }
        EXPECT_TRUE(QFile::copy(fakeLibraryPath(), program_ + QStringLiteral("/libunzip32.so")));
        QDir().mkpath(data_);
    }
    QString fake(const QString& name, const QByteArray& script) {
        const QString path = data_ + u'/' + name;
        writeFakeArchive(path.toUtf8(), "PK", script);
        return path;
    }
    ProcessRun check(const QByteArrayList& arguments) {
        return runProgram(QByteArrayList{(program_ + QStringLiteral("/varnelt-check")).toUtf8(),
                                         "--formats", "zip"} +
                          arguments);
    }
    // Starts the program on the data folder, its log going to a file.
    void startInBackground(QProcess& process) {
        process.start(program_ + QStringLiteral("/varnelt-check"),
                      {QStringLiteral("--formats"), QStringLiteral("zip"), QStringLiteral("--jobs"),
                       QStringLiteral("1"), QStringLiteral("--log"), log_, data_});
        ASSERT_TRUE(process.waitForStarted());
    }
    // Waits until the log holds `records` records after its header.
    bool waitForRecords(int records) {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 20000) {
            if (QFile::exists(log_) && readFile(log_).count("\r\n") >= records + 1) {
                return true;
            }
            QThread::msleep(20);
        }
        return false;
    }
    // The worker copies still running.
    int workersAlive() const {
        int alive = 0;
        const QString worker = program_ + QStringLiteral("/varnelt-worker");
        for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            if (QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget() == worker) {
                ++alive;
            }
        }
        return alive;
    }

    ScratchDir scratch_;
    const QString program_ = scratch_.path(QStringLiteral("bin"));
    const QString data_ = scratch_.path(QStringLiteral("data"));
    const QString log_ = scratch_.path(QStringLiteral("out.log"));
};

TEST_F(StandInCheck, LibraryThatCrashesSpinsOrHogsCostsOnlyThatFilesVerdict) {
    fake(QStringLiteral("a.zip"), "command=0");
    const QString crash = fake(QStringLiteral("b-crash.zip"), "crash=1\ncommand=0");
    const QString spin = fake(QStringLiteral("c-spin.zip"), "spin=1\ncommand=0");
    const bool memoryLimited = WorkerMemoryLimitBytes({1, 256}) > 0;
    const QString hog =
        fake(QStringLiteral("d-hog.zip"), memoryLimited ? "hog=1\ncommand=0" : "command=0");
    fake(QStringLiteral("e.zip"), "command=0");
    const ProcessRun run =
        check({"--jobs", "2", "--time-limit", "1", "--memory-limit", "256", data_.toUtf8()});
    EXPECT_EQ(run.status, 1) << run.err.constData();
    const auto records = parseLog(run.out);
    ASSERT_EQ(records.size(), 6);
    const QString broken = QStringLiteral("破損した書庫ﾌｧｲﾙ又は未対応の書庫ﾌｧｲﾙ");
    const QString good = QStringLiteral("正常な書庫ﾌｧｲﾙ");
    const QStringList names{"a.zip", "b-crash.zip", "c-spin.zip", "d-hog.zip", "e.zip"};
    const QStringList verdicts{good, broken, broken, memoryLimited ? broken : good, good};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(records[i + 1][0], names[i]);
        EXPECT_EQ(records[i + 1][4], verdicts[i]) << names[i].toStdString();
    }
    EXPECT_TRUE(run.err.contains(crash.toUtf8() + ": libunzip32.so: " + kCrashText + '\n'))
        << run.err.constData();
    EXPECT_TRUE(
        run.err.contains(spin.toUtf8() + ": libunzip32.so: the test took longer than 1 s\n"))
        << run.err.constData();
    if (memoryLimited) {
        EXPECT_TRUE(run.err.contains(
            hog.toUtf8() + ": libunzip32.so: the test needed more than 256 MB of memory\n"))
            << run.err.constData();
    }
    EXPECT_TRUE(run.err.contains(memoryLimited ? "good 2, bad 3" : "good 3, bad 2"))
        << run.err.constData();
}

// The stand-in has no reason function, as other makers' libraries have none: a file it fails
// has no reason, while a test it crashes in is explained by the crash.
TEST_F(StandInCheck, ReasonsComeOnlyFromLibrariesThatGiveThem) {
    fake(QStringLiteral("a-crc.zip"), "command=0x800C");
    fake(QStringLiteral("b-crash.zip"), "crash=1\ncommand=0");
    const ProcessRun run = check({"--format", "jsonl", data_.toUtf8()});
    EXPECT_EQ(run.status, 1) << run.err.constData();
    const QList<QJsonObject> records = parseJsonLines(run.out);
    ASSERT_EQ(records.size(), 2) << run.out.constData();
    EXPECT_EQ(records[0][QStringLiteral("kind")].toString(), QStringLiteral("broken"));
    EXPECT_TRUE(records[0][QStringLiteral("reason")].isNull());
    EXPECT_TRUE(records[0][QStringLiteral("format")].isNull());
    EXPECT_EQ(records[1][QStringLiteral("kind")].toString(), QStringLiteral("broken"));
    EXPECT_EQ(records[1][QStringLiteral("reason")].toString(),
              QStringLiteral("libunzip32.so: ") + QLatin1String(kCrashText));
    EXPECT_EQ(records[1][QStringLiteral("format")].toString(), QStringLiteral("zip"));
}

TEST_F(StandInCheck, InterruptEndsTheRunWithEveryDecidedRecord) {
    for (int i = 0; i < 3; ++i) {
        fake(QStringLiteral("a%1.zip").arg(i), "command=0");
    }
    fake(QStringLiteral("b-slow.zip"), "sleep=60000\ncommand=0");
    fake(QStringLiteral("c.zip"), "command=0");
    QProcess process;
    startInBackground(process);
    ASSERT_TRUE(waitForRecords(3));
    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_LT(clock.elapsed(), 10000) << "the slow test is given up";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 130);
    EXPECT_TRUE(process.readAllStandardError().contains("good 3, bad 0, missing 0, unreadable 0"));
    const auto records = parseLog(readFile(log_));
    ASSERT_EQ(records.size(), 4);
    EXPECT_EQ(records[3][0], QStringLiteral("a2.zip"));
    EXPECT_EQ(workersAlive(), 0);
}

TEST_F(StandInCheck, KilledRunLeavesEveryDecidedRecordAndNoWorker) {
    for (int i = 0; i < 3; ++i) {
        fake(QStringLiteral("a%1.zip").arg(i), "command=0x8019");
    }
    fake(QStringLiteral("b-slow.zip"), "sleep=60000\ncommand=0");
    QProcess process;
    startInBackground(process);
    ASSERT_TRUE(waitForRecords(3));
    ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
    ASSERT_TRUE(process.waitForFinished(20000));
    const auto records = parseLog(readFile(log_));
    ASSERT_EQ(records.size(), 4) << "each record reached the file when it was decided";
    EXPECT_EQ(records[1][4], QStringLiteral("破損した書庫ﾌｧｲﾙ又は未対応の書庫ﾌｧｲﾙ"));
    QElapsedTimer waited;
    waited.start();
    while (workersAlive() > 0 && waited.elapsed() < 5000) {
        QThread::msleep(20);
    }
    EXPECT_EQ(workersAlive(), 0) << "a worker never outlives the program";
}

}  // namespace
}  // namespace varnelt::test
