// Start and Stop in the real window over archives made at test time.
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>

#include "base/paths.h"
#include "engine/log_format.h"
#include "engine/run_limits.h"
#include "tests/support/archive_makers.h"
#include "tests/support/data_home.h"
#include "tests/support/fake_library.h"
#include "tests/support/raw_process.h"
#include "tests/ui/window_fixture.h"

namespace varnelt::test {
namespace {

using Answer = Dialogs::Answer;

class CheckRunTest : public WindowTest {
protected:
    CheckRunTest() = default;
    explicit CheckRunTest(ArchiverSet archivers) : WindowTest(std::move(archivers)) {}
    QString makeArchive(const QString& name, int seed = 1) {
        const QString path = scratch_.path(name);
        EXPECT_TRUE(makeZip(path, {{QStringLiteral("a.txt"), sampleContent(3000, seed)}}));
        return path;
    }
    QString makeBroken(const QString& name) {
        const QString path = scratch_.path(name);
        writeFile(path, "not an archive at all");
        return path;
    }
    void tick(const char* box) { find<QCheckBox>(box)->setChecked(true); }
    QString verdict(int row) { return list().row(row).verdict; }
    int selectedRow() {
        const auto rows = find<QTableView>("lvwList")->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.front().row() : -1;
    }
    void useMove(const QString& destination) {
        find<QRadioButton>("optActionMove")->click();
        dialogs_.paths.push_back(destination);
        click("cmdSelect_2");
    }
};

TEST_F(CheckRunTest, MissingFileIsMarkedAndNotCounted) {
    makeArchive(QStringLiteral("a.zip"));
    const QString middle = makeArchive(QStringLiteral("b.zip"));
    makeBroken(QStringLiteral("c.zip"));
    registerFolder(scratch_.root());
    tick("chkExtZIP");
    QFile::remove(middle);
    startRun();
    EXPECT_EQ(verdict(0), QStringLiteral("正常な書庫ﾌｧｲﾙ"));
    EXPECT_EQ(verdict(1), QStringLiteral("ﾌｧｲﾙが存在しません"));
    EXPECT_EQ(verdict(2), QStringLiteral("破損した書庫ﾌｧｲﾙ又は未対応の書庫ﾌｧｲﾙ"));
    EXPECT_EQ(panel("S_Good"), QStringLiteral("正常書庫 1"));
    EXPECT_EQ(panel("S_Bad"), QStringLiteral("異常書庫 1"));
    EXPECT_EQ(panel("S_Total"), QStringLiteral("検査総数 3"));
    EXPECT_EQ(find<QProgressBar>("prgCount")->value(), 3);
    EXPECT_EQ(selectedRow(), 2);
    EXPECT_TRUE(dialogs_.shown.isEmpty()) << "no completion message";
    EXPECT_TRUE(find<QPushButton>("cmdStart")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("cmdStop")->isEnabled());
}

// The library's word on a damaged archive is shown with its verdict, never logged.
TEST_F(CheckRunTest, VerdictTooltipGivesTheLibrarysReason) {
    const QString cut = scratch_.path(QStringLiteral("cut.zip"));
    ASSERT_TRUE(makeZip(cut, {{QStringLiteral("a.txt"), sampleContent(60000, 3)}}));
    truncateToPercent(cut, 50);
    registerFolder(scratch_.root());
    tick("chkExtLHA");
    tick("chkExtZIP");
    startRun();
    const QString broken = QStringLiteral("破損した書庫ﾌｧｲﾙ又は未対応の書庫ﾌｧｲﾙ");
    EXPECT_EQ(verdict(0), broken);
    const QString tooltip =
        list().data(list().index(0, TargetListModel::VerdictColumn), Qt::ToolTipRole).toString();
    EXPECT_TRUE(tooltip.startsWith(broken + u'\n')) << tooltip.toStdString();
    EXPECT_TRUE(tooltip.contains(QStringLiteral("unexpected end of archive")))
        << tooltip.toStdString();
    EXPECT_FALSE(LogRecord(list().row(0)).contains("unexpected")) << "the log keeps five fields";
}

TEST_F(CheckRunTest, ZipIsDecidedByTheZipCheckerAfterLzh) {
    makeArchive(QStringLiteral("a.zip"));
    registerFolder(scratch_.root());
    tick("chkExtLHA");
    tick("chkExtZIP");
    startRun();
    EXPECT_EQ(verdict(0), QStringLiteral("正常な書庫ﾌｧｲﾙ"));
    EXPECT_EQ(panel("S_Good"), QStringLiteral("正常書庫 1"));
}

TEST_F(CheckRunTest, FileEveryFormatRejectsIsDeletedAfterConfirmation) {
    const QString broken = makeBroken(QStringLiteral("junk.bin"));
    registerFolder(scratch_.root());
    for (const char* box : {"chkExtLHA", "chkExtZIP", "chkExtCAB", "chkExtTAR", "chkExtRAR",
                            "chkExtBGA", "chkExt7z"}) {
        tick(box);
    }
    find<QRadioButton>("optActionDelete")->click();
    dialogs_.answers = {Answer::No};
    startRun();
    EXPECT_TRUE(QFile::exists(broken)) << "No ends Start with nothing done";
    EXPECT_TRUE(verdict(0).isEmpty());
    dialogs_.answers = {Answer::Yes};
    startRun();
    EXPECT_FALSE(QFile::exists(broken));
    EXPECT_EQ(verdict(0), QStringLiteral("破損した書庫ﾌｧｲﾙ又は未対応の書庫ﾌｧｲﾙ"));
    EXPECT_EQ(panel("S_Bad"), QStringLiteral("異常書庫 1"));
    // The question comes before every run.
    dialogs_.answers = {Answer::Yes};
    startRun();
    ASSERT_EQ(dialogs_.shown.size(), 3);
    EXPECT_EQ(dialogs_.shown[2].title, QStringLiteral("確認"));
    EXPECT_EQ(verdict(0), QStringLiteral("ﾌｧｲﾙが存在しません"));
    EXPECT_EQ(panel("S_Bad"), QStringLiteral("異常書庫 0")) << "counts start again";
}

TEST_F(CheckRunTest, MissingDestinationIsOfferedForCreation) {
    makeBroken(QStringLiteral("a.zip"));
    registerFolder(scratch_.root());
    tick("chkExtZIP");
    const QString destination = scratch_.path(QStringLiteral("new/deep"));
    QDir().mkpath(destination);
    useMove(destination);
    QDir(scratch_.path(QStringLiteral("new"))).removeRecursively();
    dialogs_.answers = {Answer::No};
    startRun();
    ASSERT_EQ(dialogs_.shown.size(), 1);
    EXPECT_EQ(dialogs_.shown[0].title, QStringLiteral("移動先フォルダが存在しません"));
    EXPECT_TRUE(verdict(0).isEmpty());
    EXPECT_EQ(panel("S_Time"), QStringLiteral("検査時間 00:00:00"));
    EXPECT_FALSE(QDir(destination).exists());

    dialogs_.answers = {Answer::Yes};
    startRun();
    EXPECT_TRUE(QFile::exists(destination + QStringLiteral("/a.zip")));
    EXPECT_FALSE(QFile::exists(scratch_.path(QStringLiteral("a.zip"))));
    EXPECT_EQ(list().row(0).folder, scratch_.root()) << "the row keeps its folder";
}

TEST_F(CheckRunTest, FailedMoveIsReportedOnceAndEndsTheRun) {
    makeArchive(QStringLiteral("a.zip"));
    makeBroken(QStringLiteral("b.zip"));
    makeBroken(QStringLiteral("c.zip"));
    registerFolder(scratch_.root());
    tick("chkExtZIP");
    // A folder no file may be created in, whoever runs the test.
    QString readOnly = QStringLiteral("/sys/");
    if (geteuid() != 0) {
        readOnly = scratch_.path(QStringLiteral("locked/"));
        QDir().mkpath(readOnly);
        QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner);
    }
    useMove(readOnly);
    startRun();
    ASSERT_EQ(dialogs_.shown.size(), 1);
    const QStringList lines = dialogs_.shown[0].text.split(u'\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("実行時エラー '13':"));
    EXPECT_EQ(lines[1],
              QStringLiteral("アクセスが拒否されました。 ") + readOnly + QStringLiteral("b.zip"));
    EXPECT_EQ(dialogs_.shown[0].title, QStringLiteral("エラー"));
    EXPECT_TRUE(QFile::exists(scratch_.path(QStringLiteral("b.zip"))));
    EXPECT_EQ(panel("S_Good"), QStringLiteral("正常書庫 1"));
    EXPECT_EQ(panel("S_Bad"), QStringLiteral("異常書庫 0")) << "the failing file is not counted";
    EXPECT_TRUE(verdict(2).isEmpty()) << "later rows are untouched";
    EXPECT_TRUE(find<QPushButton>("cmdStart")->isEnabled());
    EXPECT_TRUE(find<QWidget>("fraAllSetting")->isEnabled());
    EXPECT_FALSE(window_->busy());
}

// Set for the run of the unreadable-file test as an unprivileged user: the folder to check.
constexpr char kLockedFolderVariable[] = "VARNELT_TEST_LOCKED_FOLDER";

class UnreadableRunTest : public CheckRunTest {
protected:
    // What an unprivileged user sees: a good archive, a broken one and a locked one, checked
    // with the delete action.
    void checkLockedFolder(const QString& folder) {
        registerFolder(folder);
        tick("chkExtZIP");
        find<QRadioButton>("optActionDelete")->click();
        dialogs_.answers = {Answer::Yes};
        startRun();
        EXPECT_EQ(listNames(), (QStringList{"a.zip", "b.zip", "c.zip"}));
        EXPECT_EQ(verdict(0), QStringLiteral("正常な書庫ﾌｧｲﾙ"));
        EXPECT_EQ(verdict(1), QStringLiteral("破損した書庫ﾌｧｲﾙ又は未対応の書庫ﾌｧｲﾙ"));
        EXPECT_EQ(verdict(2), QStringLiteral("ﾌｧｲﾙを読み込めません"));
        EXPECT_TRUE(LogRecord(list().row(2)).endsWith("\"ﾌｧｲﾙを読み込めません\"\r\n"));
        EXPECT_EQ(panel("S_Good"), QStringLiteral("正常書庫 1"));
        EXPECT_EQ(panel("S_Bad"), QStringLiteral("異常書庫 1"));
        EXPECT_EQ(dialogs_.shown.size(), 1) << "the confirmation only: no error";
        EXPECT_FALSE(QFile::exists(folder + QStringLiteral("b.zip")));
        EXPECT_TRUE(QFile::exists(folder + QStringLiteral("c.zip")));
        EXPECT_TRUE(find<QPushButton>("cmdStart")->isEnabled());
    }
};

TEST_F(UnreadableRunTest, UnreadableFileIsNeitherCountedNorDeleted) {
    const QByteArray locked = qgetenv(kLockedFolderVariable);
    if (!locked.isEmpty()) {
        checkLockedFolder(QString::fromUtf8(locked));  // the unprivileged run started below
        return;
    }
    QString why;
    const std::optional<QByteArrayList> unprivileged = test::unprivilegedPrefix(why);
    if (!unprivileged) {
        GTEST_SKIP() << why.toStdString();
    }
    makeArchive(QStringLiteral("a.zip"));
    makeBroken(QStringLiteral("b.zip"));
    const QString lockedFile = makeArchive(QStringLiteral("c.zip"), 2);
    // Anyone may delete in the folder, so a wrong deletion could happen.
    ASSERT_EQ(chmod(scratch_.root().toUtf8().constData(), 0777), 0);
    ASSERT_EQ(chmod(lockedFile.toUtf8().constData(), 0), 0);
    if (unprivileged->isEmpty()) {
        checkLockedFolder(scratch_.root());
    } else {
        const test::ProcessRun run = test::runProgram(
            *unprivileged + QByteArrayList{"env",
                                           kLockedFolderVariable + ('=' + scratch_.root().toUtf8()),
                                           test::selfPath(),
                                           "--gtest_filter=UnreadableRunTest."
                                           "UnreadableFileIsNeitherCountedNorDeleted"});
        EXPECT_EQ(run.status, 0) << run.out.constData() << run.err.constData();
        EXPECT_TRUE(run.out.contains("[  PASSED  ] 1 test.")) << run.out.constData();
    }
    EXPECT_TRUE(QFile::exists(lockedFile));
    EXPECT_FALSE(QFile::exists(scratch_.path(QStringLiteral("b.zip"))));
}

TEST_F(CheckRunTest, FileSwappedForAPipeIsUnreadableAndTheRunEnds) {
    makeBroken(QStringLiteral("a.zip"));
    const QString swapped = makeArchive(QStringLiteral("b.zip"));
    registerFolder(scratch_.root());
    tick("chkExtZIP");
    tick("chkBadNoExt");  // the extension rule reads the file's first bytes too
    find<QRadioButton>("optActionDelete")->click();
    ASSERT_TRUE(QFile::remove(swapped));
    ASSERT_EQ(mkfifo(swapped.toUtf8().constData(), 0600), 0);
    dialogs_.answers = {Answer::Yes};
    startRun();
    EXPECT_EQ(verdict(0), QStringLiteral("破損した書庫ﾌｧｲﾙ又は未対応の書庫ﾌｧｲﾙ"));
    EXPECT_EQ(verdict(1), QStringLiteral("ﾌｧｲﾙを読み込めません"));
    EXPECT_FALSE(QFile::exists(scratch_.path(QStringLiteral("a.zip"))));
    struct stat info {};
    ASSERT_EQ(lstat(swapped.toUtf8().constData(), &info), 0) << "never disposed of";
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(panel("S_Good"), QStringLiteral("正常書庫 0"));
    EXPECT_EQ(panel("S_Bad"), QStringLiteral("異常書庫 1"));
    EXPECT_EQ(find<QProgressBar>("prgCount")->value(), 2);
    EXPECT_FALSE(window_->busy());
}

TEST_F(CheckRunTest, NameThatIsNotUtf8IsTestedShownAndMovedByItsBytes) {
    const QByteArray data = scratch_.nativePath("data/");
    const QByteArray destination = scratch_.nativePath("dest/");
    ASSERT_EQ(mkdir(data.constData(), 0755), 0);
    ASSERT_EQ(mkdir(destination.constData(), 0755), 0);
    // 日本.zip holds 日本.txt alone; 書庫.zip is no archive, and the destination has one of
    // its name already. Both names are CP932.
    const QString made = scratch_.path(QStringLiteral("made.zip"));
    ASSERT_TRUE(makeZip(made, {{QStringLiteral("日本.txt"), "stored"}}));
    writeNativeFile(data + "\x93\xfa\x96\x7b.zip", readFile(made));
    writeNativeFile(data + "\x8f\x91\x8c\xc9.zip", "not an archive");
    writeNativeFile(destination + "\x8f\x91\x8c\xc9.zip", "old");
    registerFolder(QString::fromUtf8(data));
    EXPECT_EQ(listNames(), (QStringList{"日本.zip", "書庫.zip"}));
    EXPECT_EQ(list().data(list().index(0, TargetListModel::NameColumn), Qt::DisplayRole),
              QStringLiteral("日本.zip"));
    tick("chkExtZIP");
    tick("chkBadNoFileSum");
    tick("chkBadNoFileName");  // compares 日本 with the stored 日本
    useMove(QString::fromUtf8(destination));
    startRun();
    EXPECT_EQ(verdict(0), QStringLiteral("正常な書庫ﾌｧｲﾙ"));
    EXPECT_EQ(verdict(1), QStringLiteral("破損した書庫ﾌｧｲﾙ又は未対応の書庫ﾌｧｲﾙ"));
    EXPECT_TRUE(dialogs_.shown.isEmpty());
    EXPECT_FALSE(nativeExists(data + "\x8f\x91\x8c\xc9.zip"));
    EXPECT_EQ(readNativeFile(destination + "\x8f\x91\x8c\xc9.zip"), "old");
    EXPECT_EQ(readNativeFile(destination + "\x8f\x91\x8c\xc9 (1).zip"), "not an archive");
    EXPECT_TRUE(LogRecord(list().row(1))
                    .startsWith(QStringLiteral("\"書庫.zip\",\"%1\",")
                                    .arg(scratch_.path(QStringLiteral("data/")))
                                    .toUtf8()));
}

TEST_F(CheckRunTest, FailingTrashIsReportedOnceAndEndsTheRun) {
    QDir().mkpath(scratch_.path(QStringLiteral("data")));
    const QString broken = makeBroken(QStringLiteral("data/a.zip"));
    makeArchive(QStringLiteral("data/b.zip"));
    registerFolder(scratch_.path(QStringLiteral("data")));
    tick("chkExtZIP");
    find<QRadioButton>("optActionDeleteInBox")->click();
    // The user's data folder lies below a plain file: the trash cannot be made.
    writeFile(scratch_.path(QStringLiteral("plain")), "a file where a folder belongs");
    {
        const DataHome home(scratch_.nativePath("plain/data"));
        startRun();
    }
    ASSERT_EQ(dialogs_.shown.size(), 1);
    EXPECT_EQ(dialogs_.shown[0].title, QStringLiteral("エラー"));
    EXPECT_EQ(dialogs_.shown[0].text,
              QStringLiteral("実行時エラー '20':\nパスの途中がフォルダではありません。 ") +
                  scratch_.path(QStringLiteral("plain/data")));
    EXPECT_TRUE(QFile::exists(broken));
    EXPECT_EQ(panel("S_Bad"), QStringLiteral("異常書庫 0")) << "the failing file is not counted";
    EXPECT_TRUE(verdict(1).isEmpty()) << "later rows are untouched";
    EXPECT_TRUE(find<QPushButton>("cmdStart")->isEnabled());
    EXPECT_FALSE(window_->busy());
}

TEST_F(CheckRunTest, EmptyListIsRefused) {
    window_->findChild<QPushButton*>(QStringLiteral("cmdStart"))->setEnabled(true);
    startRun();
    ASSERT_EQ(dialogs_.shown.size(), 1);
    EXPECT_EQ(dialogs_.shown[0].text, QStringLiteral("検査するファイルが登録されていません。"));
    EXPECT_FALSE(window_->busy());
}

TEST_F(CheckRunTest, FastModeHidesTheListDuringTheRun) {
    makeArchive(QStringLiteral("a.zip"));
    registerFolder(scratch_.root());
    tick("chkExtZIP");
    find<QAction>("mnuOptionFastMode")->setChecked(true);
    bool hiddenWhileChecking = false;
    QObject::connect(&list(), &QAbstractItemModel::dataChanged, window_.get(),
                     [&] { hiddenWhileChecking = !find<QTableView>("lvwList")->isVisible(); });
    startRun();
    EXPECT_TRUE(hiddenWhileChecking);
    EXPECT_TRUE(find<QTableView>("lvwList")->isVisible());
    EXPECT_EQ(selectedRow(), 0);
}

// The ZIP format read by the scriptable stand-in library, which can be slow, crash, spin or
// hog memory; every other format by its own library.
ArchiverSet standInZip() {
    return ArchiverSet([](const QString& name) {
        return name == QLatin1String("libunzip32.so") ? fakeLibraryPath() : LocateOnPath(name);
    });
}

class StandInRunTest : public CheckRunTest {
protected:
    StandInRunTest() : CheckRunTest(standInZip()) {}
    QString fake(const QString& name, const QByteArray& script) {
        const QString path = scratch_.path(name);
        writeFakeArchive(path.toUtf8(), "PK", script);
        return path;
    }
    // Presses Start, then Stop `presses` times once `row` is the one under test.
    void stopWhileTesting(int row, int presses) {
        trigger("mnuOptionJobs_1");
        click("cmdStart");
        QElapsedTimer waited;
        waited.start();
        while (selectedRow() != row && window_->busy() && waited.elapsed() < 20000) {
            // Blocks until an event comes: the run's own timers tick every 100 ms.
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        ASSERT_EQ(selectedRow(), row) << "the row under test is the selected one";
        for (int press = 0; press < presses; ++press) {
            click("cmdStop");
        }
        if (presses == 1) {
            EXPECT_TRUE(find<QLabel>("S_Wait")->isVisible());
            EXPECT_EQ(panel("S_Wait"),
                      QStringLiteral("検査中の 1 ﾌｧｲﾙの終了を待っています (もう一度[停止]で中断)"));
            EXPECT_TRUE(window_->busy()) << "the file under test is finished first";
        }
        waitForRunEnd();
        EXPECT_FALSE(find<QLabel>("S_Wait")->isVisible());
    }
};

TEST_F(StandInRunTest, FirstStopFinishesTheFileUnderTest) {
    fake(QStringLiteral("f0.zip"), "command=0x8019");
    fake(QStringLiteral("f1.zip"), "sleep=1000\ncommand=0x8019");
    for (int i = 2; i < 5; ++i) {
        fake(QStringLiteral("f%1.zip").arg(i), "command=0x8019");
    }
    registerFolder(scratch_.root());
    tick("chkExtZIP");
    QDir().mkpath(scratch_.path(QStringLiteral("bad")));
    useMove(scratch_.path(QStringLiteral("bad")));
    stopWhileTesting(1, 1);
    EXPECT_FALSE(verdict(0).isEmpty());
    EXPECT_FALSE(verdict(1).isEmpty());
    for (int row = 2; row < 5; ++row) {
        EXPECT_TRUE(verdict(row).isEmpty()) << row;
        EXPECT_TRUE(QFile::exists(scratch_.path(QStringLiteral("f%1.zip").arg(row)))) << row;
    }
    EXPECT_TRUE(QFile::exists(scratch_.path(QStringLiteral("bad/f1.zip"))))
        << "the file under test is disposed of";
    EXPECT_EQ(panel("S_Bad"), QStringLiteral("異常書庫 2"));
    EXPECT_EQ(panel("S_Total"), QStringLiteral("検査総数 5"));
    EXPECT_EQ(find<QProgressBar>("prgCount")->value(), 2);
    EXPECT_EQ(selectedRow(), 1);
    EXPECT_TRUE(dialogs_.shown.isEmpty());
}

TEST_F(StandInRunTest, SecondStopAbandonsTheFileUnderTest) {
    fake(QStringLiteral("f0.zip"), "command=0x8019");
    const QString slow = fake(QStringLiteral("f1.zip"), "sleep=60000\ncommand=0x8019");
    fake(QStringLiteral("f2.zip"), "command=0x8019");
    registerFolder(scratch_.root());
    tick("chkExtZIP");
    find<QRadioButton>("optActionDelete")->click();
    dialogs_.answers = {Answer::Yes};
    QElapsedTimer clock;
    clock.start();
    stopWhileTesting(1, 2);
    EXPECT_LT(clock.elapsed(), 20000) << "the slow test is not waited for";
    EXPECT_FALSE(QFile::exists(scratch_.path(QStringLiteral("f0.zip"))));
    EXPECT_TRUE(QFile::exists(slow)) << "an abandoned file is never disposed of";
    EXPECT_TRUE(verdict(1).isEmpty());
    EXPECT_TRUE(verdict(2).isEmpty());
    EXPECT_EQ(panel("S_Bad"), QStringLiteral("異常書庫 1"));
    EXPECT_EQ(selectedRow(), 0) << "the last row recorded";
}

TEST_F(StandInRunTest, StopDuringTheFirstRowEndsAfterIt) {
    fake(QStringLiteral("a.zip"), "sleep=500\ncommand=0");
    fake(QStringLiteral("b.zip"), "command=0");
    registerFolder(scratch_.root());
    tick("chkExtZIP");
    stopWhileTesting(0, 1);
    EXPECT_EQ(verdict(0), QStringLiteral("正常な書庫ﾌｧｲﾙ"));
    EXPECT_TRUE(verdict(1).isEmpty());
    EXPECT_EQ(selectedRow(), 0);
    EXPECT_TRUE(dialogs_.shown.isEmpty());
}

TEST_F(StandInRunTest, LibraryThatCrashesSpinsOrHogsFailsOnlyItsFile) {
    fake(QStringLiteral("a.zip"), "command=0");
    fake(QStringLiteral("b-crash.zip"), "crash=1\ncommand=0");
    fake(QStringLiteral("c-spin.zip"), "spin=1\ncommand=0");
    const bool memoryLimited = WorkerMemoryLimitBytes({1, 256}) > 0;
    fake(QStringLiteral("d-hog.zip"), memoryLimited ? "hog=1\ncommand=0" : "command=0");
    fake(QStringLiteral("e.zip"), "command=0");
    registerFolder(scratch_.root());
    tick("chkExtZIP");
    window_->setRunLimits({1, 256});
    startRun();
    const QString broken = QStringLiteral("破損した書庫ﾌｧｲﾙ又は未対応の書庫ﾌｧｲﾙ");
    const auto tooltip = [this](int row) {
        return list()
            .data(list().index(row, TargetListModel::VerdictColumn), Qt::ToolTipRole)
            .toString();
    };
    EXPECT_EQ(verdict(0), QStringLiteral("正常な書庫ﾌｧｲﾙ"));
    EXPECT_EQ(verdict(4), QStringLiteral("正常な書庫ﾌｧｲﾙ"));
    EXPECT_EQ(verdict(1), broken);
    EXPECT_EQ(tooltip(1), broken + QStringLiteral("\nlibfake_archiver.so: ") +
                              QString::fromUtf8(kCrashTextJapanese));
    EXPECT_EQ(verdict(2), broken);
    EXPECT_EQ(tooltip(2),
              broken + QStringLiteral("\nlibfake_archiver.so: 検査が制限時間 1 秒を超えました"));
    EXPECT_EQ(verdict(3), memoryLimited ? broken : QStringLiteral("正常な書庫ﾌｧｲﾙ"));
    if (memoryLimited) {
        EXPECT_EQ(tooltip(3),
                  broken + QStringLiteral(
                               "\nlibfake_archiver.so: 検査がメモリの上限 256 MB を超えました"));
    }
    EXPECT_TRUE(tooltip(0).isEmpty()) << "a verdict without a note has no tooltip of its own";
    EXPECT_EQ(panel("S_Good"),
              memoryLimited ? QStringLiteral("正常書庫 2") : QStringLiteral("正常書庫 3"));
    EXPECT_TRUE(dialogs_.shown.isEmpty());
    EXPECT_TRUE(find<QPushButton>("cmdStart")->isEnabled());
}

}  // namespace
}  // namespace varnelt::test
