// Start and Stop in the real window over archives made at test time.
#include <unistd.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>

#include "tests/support/archive_makers.h"
#include "tests/ui/window_fixture.h"

namespace varnelt::test {
namespace {

using Answer = Dialogs::Answer;

class CheckRunTest : public WindowTest {
protected:
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
    // Clicks Stop as soon as the verdict of `row` is written, while that row is in hand.
    void stopAtRow(int row) {
        QObject::connect(&list(), &QAbstractItemModel::dataChanged, window_.get(),
                         [this, row](const QModelIndex& index) {
                             if (index.row() == row) {
                                 click("cmdStop");
                             }
                         });
    }
};

TEST_F(CheckRunTest, MissingFileIsMarkedAndNotCounted) {
    makeArchive(QStringLiteral("a.zip"));
    const QString middle = makeArchive(QStringLiteral("b.zip"));
    makeBroken(QStringLiteral("c.zip"));
    registerFolder(scratch_.root());
    tick("chkExtZIP");
    QFile::remove(middle);
    click("cmdStart");
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

TEST_F(CheckRunTest, ZipIsDecidedByTheZipCheckerAfterLzh) {
    makeArchive(QStringLiteral("a.zip"));
    registerFolder(scratch_.root());
    tick("chkExtLHA");
    tick("chkExtZIP");
    click("cmdStart");
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
    click("cmdStart");
    EXPECT_TRUE(QFile::exists(broken)) << "No ends Start with nothing done";
    EXPECT_TRUE(verdict(0).isEmpty());
    dialogs_.answers = {Answer::Yes};
    click("cmdStart");
    EXPECT_FALSE(QFile::exists(broken));
    EXPECT_EQ(verdict(0), QStringLiteral("破損した書庫ﾌｧｲﾙ又は未対応の書庫ﾌｧｲﾙ"));
    EXPECT_EQ(panel("S_Bad"), QStringLiteral("異常書庫 1"));
    // The question comes before every run.
    dialogs_.answers = {Answer::Yes};
    click("cmdStart");
    ASSERT_EQ(dialogs_.shown.size(), 3);
    EXPECT_EQ(dialogs_.shown[2].title, QStringLiteral("確認"));
    EXPECT_EQ(verdict(0), QStringLiteral("ﾌｧｲﾙが存在しません"));
    EXPECT_EQ(panel("S_Bad"), QStringLiteral("異常書庫 0")) << "counts start again";
}

TEST_F(CheckRunTest, StopFinishesTheRowInHand) {
    for (int i = 0; i < 10; ++i) {
        makeBroken(QStringLiteral("f%1.zip").arg(i));
    }
    registerFolder(scratch_.root());
    tick("chkExtZIP");
    QDir().mkpath(scratch_.path(QStringLiteral("bad")));
    useMove(scratch_.path(QStringLiteral("bad")));
    stopAtRow(4);
    click("cmdStart");
    for (int row = 0; row < 5; ++row) {
        EXPECT_FALSE(verdict(row).isEmpty()) << row;
    }
    for (int row = 5; row < 10; ++row) {
        EXPECT_TRUE(verdict(row).isEmpty()) << row;
    }
    EXPECT_TRUE(QFile::exists(scratch_.path(QStringLiteral("bad/f4.zip"))))
        << "row 5 is disposed of";
    EXPECT_FALSE(QFile::exists(scratch_.path(QStringLiteral("bad/f5.zip"))));
    EXPECT_EQ(panel("S_Bad"), QStringLiteral("異常書庫 5"));
    EXPECT_EQ(panel("S_Total"), QStringLiteral("検査総数 10"));
    EXPECT_EQ(selectedRow(), 4);
    EXPECT_TRUE(dialogs_.shown.isEmpty());
}

TEST_F(CheckRunTest, StopDuringTheFirstRow) {
    makeArchive(QStringLiteral("a.zip"));
    makeArchive(QStringLiteral("b.zip"));
    registerFolder(scratch_.root());
    tick("chkExtZIP");
    stopAtRow(0);
    click("cmdStart");
    EXPECT_FALSE(verdict(0).isEmpty());
    EXPECT_TRUE(verdict(1).isEmpty());
    EXPECT_EQ(selectedRow(), 0);
    EXPECT_TRUE(dialogs_.shown.isEmpty());
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
    click("cmdStart");
    ASSERT_EQ(dialogs_.shown.size(), 1);
    EXPECT_EQ(dialogs_.shown[0].title, QStringLiteral("移動先フォルダが存在しません"));
    EXPECT_TRUE(verdict(0).isEmpty());
    EXPECT_EQ(panel("S_Time"), QStringLiteral("検査時間 00:00:00"));
    EXPECT_FALSE(QDir(destination).exists());

    dialogs_.answers = {Answer::Yes};
    click("cmdStart");
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
    click("cmdStart");
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

TEST_F(CheckRunTest, EmptyListIsRefused) {
    window_->findChild<QPushButton*>(QStringLiteral("cmdStart"))->setEnabled(true);
    click("cmdStart");
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
    click("cmdStart");
    EXPECT_TRUE(hiddenWhileChecking);
    EXPECT_TRUE(find<QTableView>("lvwList")->isVisible());
    EXPECT_EQ(selectedRow(), 0);
}

}  // namespace
}  // namespace varnelt::test
