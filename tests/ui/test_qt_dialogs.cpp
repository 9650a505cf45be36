// Qt's own dialogs behind the dialog seam: in Japanese, with the preselected answer they are
// told, and a save dialog that leaves the question about replacing a file to the program.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <memory>

#include "tests/support/scratch.h"
#include "ui/dialogs.h"
#include "ui/qt_translations.h"

namespace varnelt::test {
namespace {

TEST(QtTranslations, StandardButtonsAndTheFileDialogSpeakJapanese) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFile::exists(folder + QStringLiteral("/qtbase_ja.qm"))) {
        GTEST_SKIP() << "Qt's Japanese translations (qt6-translations-l10n) are not installed in "
                     << folder.toStdString();
    }
    // Removed from the application again when the test ends.
    const std::unique_ptr<QTranslator> translator(InstallQtTranslations(*qApp));
    ASSERT_NE(translator, nullptr);
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("いいえ(&N)"));
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    EXPECT_EQ(dialog.labelText(QFileDialog::FileName), QStringLiteral("ファイル名(&N):"));
}

// Answers the question that opens next by Enter, as a person accepting what is preselected.
Dialogs::Answer answerByEnter(Dialogs::Answer preselected) {
    QWidget owner;
    QTimer::singleShot(0, &owner, [] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Return);
    });
    QtDialogs dialogs;
    return dialogs.message(&owner, Dialogs::Icon::Question, QStringLiteral("確認"),
                           QStringLiteral("よろしいですか？"), Dialogs::Buttons::YesNo,
                           preselected);
}

TEST(QtDialogs, QuestionPreselectsWhatItIsTold) {
    EXPECT_EQ(answerByEnter(Dialogs::Answer::Yes), Dialogs::Answer::Yes);
    EXPECT_EQ(answerByEnter(Dialogs::Answer::No), Dialogs::Answer::No);
}

TEST(QtDialogs, SaveDialogAsksNothingAboutAnExistingFile) {
    ScratchDir scratch;
    const QString existing = scratch.path(QStringLiteral("old.log"));
    writeFile(existing, "kept");
    QWidget owner;
    QString title;
    QString startFolder;
    QStringList questions;
    QTimer::singleShot(0, &owner, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        startFolder = dialog->directory().absolutePath();
        dialog->selectFile(existing);
        static_cast<QDialog*>(dialog)->accept();  // as the Save button does
    });
    // A question of Qt's own would wait for an answer: it is noted and closed, and so is the
    // dialog behind it.
    QTimer::singleShot(3000, &owner, [&] {
        while (QWidget* modal = QApplication::activeModalWidget()) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                questions << box->text();
            }
            modal->close();
        }
    });
    QtDialogs dialogs;
    const QString chosen = dialogs.saveFile(&owner, QStringLiteral("ファイルを保存"),
                                            {QStringLiteral("*.log (*.log)")});
    EXPECT_EQ(chosen, existing);
    EXPECT_TRUE(questions.isEmpty()) << questions.join(u'\n').toStdString();
    EXPECT_EQ(title, QStringLiteral("ファイルを保存"));
    EXPECT_EQ(startFolder, QDir::homePath());
    EXPECT_EQ(readFile(existing), QByteArray("kept"));
}

}  // namespace
}  // namespace varnelt::test
