// Saving the log, the About box and the help page.
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include "tests/ui/window_fixture.h"
#include "ui/twips.h"

namespace varnelt::test {
namespace {

using Answer = Dialogs::Answer;

class LogSaveTest : public WindowTest {
protected:
    void registerThree() {
        writeFile(scratch_.path(QStringLiteral("b.zip")), QByteArray(10, 'b'));
        writeFile(scratch_.path(QStringLiteral("say \"hi\".zip")), QByteArray(9, 's'));
        writeFile(scratch_.path(QStringLiteral("a.zip")), QByteArray(100, 'a'));
        registerFolder(scratch_.root());
    }
    QByteArray saveLogAs(const QString& typed) {
        dialogs_.paths.push_back(typed);
        trigger("mnuFileLogSave");
        return QFile::exists(typed) ? readFile(typed) : QByteArray();
    }
    QList<QByteArray> records(const QByteArray& log) {
        QList<QByteArray> out = log.split('\n');
        EXPECT_TRUE(out.takeLast().isEmpty()) << "the last record ends in a line break";
        for (const QByteArray& record : out) {
            EXPECT_TRUE(record.endsWith('\r'));
        }
        return out;
    }
};

TEST_F(LogSaveTest, OneRecordPerRowInTheListOrder) {
    registerThree();
    const QString path = scratch_.path(QStringLiteral("result.log"));
    const auto lines = records(saveLogAs(path));
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0],
              QStringLiteral("\"ファイル名\",\"フォルダ名\",\"サイズ\",\"更新日時\",\"検査結果\"\r")
                  .toUtf8());
    EXPECT_TRUE(lines[1].startsWith("\"a.zip\",\"" + scratch_.root().toUtf8() + "\",\"100\","));
    EXPECT_TRUE(lines[1].endsWith(",\"\"\r")) << "an unchecked row has an empty verdict";
    EXPECT_TRUE(lines[3].startsWith("\"say \"\"hi\"\".zip\""));
    ASSERT_EQ(dialogs_.shown.size(), 1);
    EXPECT_EQ(dialogs_.shown[0].title, QStringLiteral("完了"));
    EXPECT_EQ(dialogs_.shown[0].text, QStringLiteral("ログを保存しました"));
    EXPECT_EQ(dialogs_.shown[0].icon, Dialogs::Icon::None);
    EXPECT_EQ(dialogs_.dialogTitles.back(), QStringLiteral("ファイルを保存"));

    // Sorted by size, the log follows the new order.
    QHeaderView* header = find<QTableView>("lvwList")->horizontalHeader();
    emit header->sectionClicked(2);
    dialogs_.answers = {Answer::Yes};
    const auto sorted = records(saveLogAs(path));
    EXPECT_TRUE(sorted[1].startsWith("\"say \"\"hi\"\".zip\""));
    EXPECT_TRUE(sorted[3].startsWith("\"a.zip\""));
}

TEST_F(LogSaveTest, LogExtensionIsAddedWhereMissing) {
    registerThree();
    saveLogAs(scratch_.path(QStringLiteral("result")));
    EXPECT_TRUE(QFile::exists(scratch_.path(QStringLiteral("result.log"))));
    saveLogAs(scratch_.path(QStringLiteral("RESULT.LOG")));
    EXPECT_TRUE(QFile::exists(scratch_.path(QStringLiteral("RESULT.LOG"))));
    EXPECT_FALSE(QFile::exists(scratch_.path(QStringLiteral("RESULT.LOG.log"))));
    saveLogAs(scratch_.path(QStringLiteral("result.txt")));
    EXPECT_TRUE(QFile::exists(scratch_.path(QStringLiteral("result.txt.log"))));
    EXPECT_FALSE(QFile::exists(scratch_.path(QStringLiteral("result.txt"))));
}

TEST_F(LogSaveTest, ReplacingAFileIsOneQuestionWithNoPreselectedWhateverTheSpelling) {
    registerThree();
    const QString existing = scratch_.path(QStringLiteral("kept.log"));
    writeFile(existing, "precious");
    // Typed without the extension, which is added, and typed with it.
    dialogs_.answers = {Answer::No, Answer::No};
    saveLogAs(scratch_.path(QStringLiteral("kept")));
    saveLogAs(existing);
    EXPECT_EQ(readFile(existing), QByteArray("precious"));
    ASSERT_EQ(dialogs_.shown.size(), 2) << "nothing but the two questions";
    for (const ScriptedDialogs::Shown& question : dialogs_.shown) {
        EXPECT_EQ(question.icon, Dialogs::Icon::Question);
        EXPECT_EQ(question.buttons, Dialogs::Buttons::YesNo);
        EXPECT_EQ(question.preselected, Answer::No);
        EXPECT_EQ(question.title, QStringLiteral("ファイルを保存"));
        EXPECT_EQ(question.text, QStringLiteral("kept.log は既に存在します。\n上書きしますか？"));
    }
    dialogs_.answers = {Answer::Yes};
    saveLogAs(existing);
    EXPECT_TRUE(readFile(existing).startsWith("\"ファイル名\""));
    EXPECT_EQ(dialogs_.shown.back().title, QStringLiteral("完了"));
    // A new name is not asked about.
    dialogs_.shown.clear();
    saveLogAs(scratch_.path(QStringLiteral("new.log")));
    ASSERT_EQ(dialogs_.shown.size(), 1);
    EXPECT_EQ(dialogs_.shown[0].title, QStringLiteral("完了"));
}

TEST_F(LogSaveTest, EmptyListAndCancelledDialog) {
    trigger("mnuFileLogSave");
    ASSERT_EQ(dialogs_.shown.size(), 1);
    EXPECT_EQ(dialogs_.shown[0].text, QStringLiteral("保存するログがありません"));
    EXPECT_TRUE(dialogs_.dialogTitles.isEmpty()) << "no dialog for an empty list";
    registerThree();
    dialogs_.paths.push_back(QString());
    trigger("mnuFileLogSave");
    EXPECT_EQ(dialogs_.shown.size(), 1);
    EXPECT_FALSE(window_->busy());
}

TEST_F(LogSaveTest, FullDiskIsReportedOnceAndTheWindowStaysUsable) {
    registerThree();
    // A name ending in .log keeps its name: the save goes to /dev/full through a link.
    const QString link = scratch_.path(QStringLiteral("full.log"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), link));
    dialogs_.paths = {link};
    dialogs_.answers = {Answer::Yes};  // the link is a file that exists
    trigger("mnuFileLogSave");
    ASSERT_EQ(dialogs_.shown.size(), 2);
    EXPECT_TRUE(dialogs_.shown[1].text.startsWith(QStringLiteral("実行時エラー '28':\n")));
    EXPECT_FALSE(window_->busy());
    EXPECT_TRUE(find<QWidget>("fraAllSetting")->isEnabled());
    EXPECT_FALSE(find<QPushButton>("cmdStop")->isEnabled());
}

TEST_F(LogSaveTest, StopDuringASaveKeepsWhatWasWritten) {
    for (int i = 0; i < 50; ++i) {
        writeFile(scratch_.path(QStringLiteral("f%1.zip").arg(i)), "x");
    }
    registerFolder(scratch_.root());
    QTimer::singleShot(0, window_.get(), [this] { click("cmdStop"); });
    const QString path = scratch_.path(QStringLiteral("partial.log"));
    saveLogAs(path);
    const auto lines = records(readFile(path));
    EXPECT_GE(lines.size(), 2);
    EXPECT_LT(lines.size(), 51);
    ASSERT_EQ(dialogs_.shown.size(), 1);
    EXPECT_EQ(dialogs_.shown[0].title, QStringLiteral("停止"));
    EXPECT_EQ(dialogs_.shown[0].text, QStringLiteral("ログの保存中に停止ボタンが押されました"));
}

class HelpTest : public WindowTest {
protected:
    // Opens the About box, gives the focus to one of its buttons and presses the key; true
    // when that closed the box. A box still open a while later is closed for the test.
    bool keyClosesAbout(const char* focused, Qt::Key key) {
        bool stayedOpen = false;
        QTimer::singleShot(0, window_.get(), [&] {
            QWidget* about = QApplication::activeModalWidget();
            ASSERT_NE(about, nullptr);
            auto* button = about->findChild<QPushButton*>(QLatin1String(focused));
            button->setFocus();
            QTest::keyClick(button, key);
        });
        QTimer::singleShot(2000, window_.get(), [&] {
            if (auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                stayedOpen = true;
                about->reject();
            }
        });
        trigger("mnuHelpAbout");
        return !stayedOpen;
    }
};

TEST_F(HelpTest, AboutBoxIsCentredOnTheWindowAndShowsTheVersion) {
    window_->move(300, 200);
    QCoreApplication::processEvents();
    QRect aboutPlace;
    QString version;
    QString focused;
    QTimer::singleShot(0, window_.get(), [&] {
        auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr);
        aboutPlace = about->geometry();
        version = about->findChild<QLabel*>(QStringLiteral("lblVersion"))->text();
        focused = about->focusWidget() ? about->focusWidget()->objectName() : QString();
        QTest::mouseClick(about->findChild<QPushButton*>(QStringLiteral("cmdMyHomepage")),
                          Qt::LeftButton);
        QTest::mouseClick(about->findChild<QPushButton*>(QStringLiteral("cmdMyMail")),
                          Qt::LeftButton);
        QTest::mouseClick(about->findChild<QPushButton*>(QStringLiteral("cmdClose")),
                          Qt::LeftButton);
    });
    trigger("mnuHelpAbout");
    EXPECT_EQ(version, QStringLiteral("Varnelt Version 1.00.0"));
    EXPECT_EQ(focused, QStringLiteral("cmdClose"));
    const QRect main = window_->frameGeometry();
    EXPECT_EQ(aboutPlace.size(), FromTwips(QSize(4095, 3150)));
    // Halves are rounded on both sides.
    EXPECT_LE(std::abs(aboutPlace.center().x() - main.center().x()), 2);
    EXPECT_LE(std::abs(aboutPlace.center().y() - main.center().y()), 2);
    ASSERT_EQ(desktop_.openedUrls.size(), 2);
    EXPECT_EQ(desktop_.openedUrls[0].scheme(), QStringLiteral("https"));
    EXPECT_EQ(desktop_.openedUrls[1].scheme(), QStringLiteral("mailto"));
}

TEST_F(HelpTest, HelpOpensTheShippedPageAlsoDuringARun) {
    window_->EnterBusyState();
    EXPECT_TRUE(find<QAction>("mnuHelpHelp")->isEnabled());
    trigger("mnuHelpHelp");
    window_->LeaveBusyState();
    ASSERT_EQ(desktop_.openedUrls.size(), 1);
    EXPECT_TRUE(desktop_.openedUrls[0].isLocalFile());
    EXPECT_TRUE(QFile::exists(desktop_.openedUrls[0].toLocalFile()))
        << desktop_.openedUrls[0].toString().toStdString();
    EXPECT_TRUE(readFile(desktop_.openedUrls[0].toLocalFile()).contains("id=\""));
    EXPECT_TRUE(dialogs_.shown.isEmpty());
}

TEST_F(HelpTest, EnterAndEscapeCloseTheAboutBoxAndOpenNothing) {
    for (const char* focused : {"cmdClose", "cmdMyMail", "cmdMyHomepage"}) {
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            EXPECT_TRUE(keyClosesAbout(focused, key)) << focused << " " << key;
        }
    }
    EXPECT_TRUE(desktop_.openedUrls.isEmpty());
    // Space still presses the button that has the focus.
    bool stayedOpen = false;
    QTimer::singleShot(0, window_.get(), [&] {
        QWidget* about = QApplication::activeModalWidget();
        ASSERT_NE(about, nullptr);
        auto* mail = about->findChild<QPushButton*>(QStringLiteral("cmdMyMail"));
        mail->setFocus();
        QTest::keyClick(mail, Qt::Key_Space);
        stayedOpen = about->isVisible();
        QTest::keyClick(mail, Qt::Key_Escape);
    });
    trigger("mnuHelpAbout");
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(desktop_.openedUrls.size(), 1);
    EXPECT_EQ(desktop_.openedUrls[0].scheme(), QStringLiteral("mailto"));
}

TEST_F(HelpTest, HelpThatCannotBeOpenedSaysWhereThePageIs) {
    desktop_.programsStart = false;
    trigger("mnuHelpHelp");
    ASSERT_EQ(desktop_.openedUrls.size(), 1);
    ASSERT_EQ(dialogs_.shown.size(), 1);
    EXPECT_EQ(dialogs_.shown[0].icon, Dialogs::Icon::Critical);
    EXPECT_EQ(dialogs_.shown[0].title, QStringLiteral("エラー"));
    EXPECT_TRUE(dialogs_.shown[0].text.endsWith(u'\n' + desktop_.openedUrls[0].toLocalFile()))
        << dialogs_.shown[0].text.toStdString();
    EXPECT_FALSE(window_->busy());
}

}  // namespace
}  // namespace varnelt::test
