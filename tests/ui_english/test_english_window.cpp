// The window started under an English locale: every caption, the verdicts the worker's run
// gives and the log come from the English catalogue.
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

#include "base/app_paths.h"
#include "settings/ui_language.h"
#include "tests/support/archive_makers.h"
#include "tests/ui/window_fixture.h"

namespace varnelt::test {
namespace {

class EnglishWindow : public WindowTest {
protected:
    QString caption(const char* name) { return find<QAbstractButton>(name)->text(); }
    QString frameTitle(const char* name) { return find<QGroupBox>(name)->title(); }
    QString menuTitle(const char* name) { return find<QMenu>(name)->title(); }
    QString itemText(const char* name) { return find<QAction>(name)->text(); }
    QString header(int column) {
        return list().headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    }
};

TEST_F(EnglishWindow, CaptionsMenusAndHeadersAreEnglish) {
    EXPECT_EQ(frameTitle("fraCheckedArchiver"), QStringLiteral("Archives to check"));
    EXPECT_EQ(frameTitle("fraIzyoTeigi"), QStringLiteral("What makes an archive bad"));
    EXPECT_EQ(frameTitle("fraExtFilter"), QStringLiteral("Extension filter"));
    EXPECT_EQ(frameTitle("fraIzyoSyori"), QStringLiteral("What to do with bad archives"));

    EXPECT_EQ(caption("chkBadFile"), QStringLiteral("Damaged or unsupported archive"));
    EXPECT_EQ(caption("chkBadNoExt"), QStringLiteral("Wrong extension"));
    EXPECT_EQ(caption("chkBadNoPassword"), QStringLiteral("Password-protected archive"));
    EXPECT_EQ(caption("chkBadNoFileName"), QStringLiteral("Named unlike its stored file"));
    EXPECT_EQ(find<QLabel>("Label2")->text(), QStringLiteral("or more stored files"));
    EXPECT_EQ(caption("chkSubFolderAdd"), QStringLiteral("Include subfolders"));
    EXPECT_EQ(caption("optFilterOff"), QStringLiteral("Off"));
    EXPECT_EQ(caption("optFilterOnAuto"), QStringLiteral("On (auto)"));
    EXPECT_EQ(caption("optActionDeleteInBox"), QStringLiteral("Trash"));
    EXPECT_EQ(caption("optActionMove"), QStringLiteral("Move to"));

    EXPECT_EQ(caption("cmdLogClear_0"), QStringLiteral("Clear all"));
    EXPECT_EQ(caption("cmdSelect_0"), QStringLiteral("Add a file"));
    EXPECT_EQ(caption("cmdSelect_1"), QStringLiteral("Add a folder"));
    EXPECT_EQ(caption("cmdStart"), QStringLiteral("&Start"));
    EXPECT_EQ(caption("cmdStop"), QStringLiteral("&Stop"));
    EXPECT_EQ(find<QWidget>("cmdSelect_2")->toolTip(), QStringLiteral("Choose a folder"));

    EXPECT_EQ(menuTitle("mnuFile"), QStringLiteral("&File"));
    EXPECT_EQ(menuTitle("mnuOption"), QStringLiteral("&Options"));
    EXPECT_EQ(menuTitle("mnuHelp"), QStringLiteral("&Help"));
    EXPECT_EQ(itemText("mnuFileLogSave"), QStringLiteral("Save Log &As..."));
    EXPECT_EQ(itemText("mnuOptionJobs_0"), QStringLiteral("&Automatic"));
    EXPECT_EQ(itemText("mnuHelpAbout"), QStringLiteral("&About"));
    EXPECT_EQ(itemText("mnuListDelete"), QStringLiteral("Remove Selected Rows"));

    EXPECT_EQ(header(TargetListModel::NameColumn), QStringLiteral("Name"));
    EXPECT_EQ(header(TargetListModel::VerdictColumn), QStringLiteral("Result"));
    EXPECT_EQ(panel("S_Good"), QStringLiteral("Good 0"));
    EXPECT_EQ(panel("S_Time"), QStringLiteral("Time 00:00:00"));
}

// A library that is missing is marked in English, and its box still cannot be ticked.
TEST(EnglishCaptions, MissingLibraryIsMarkedInEnglish) {
    ScriptedDialogs dialogs;
    ScriptedDesktop desktop;
    ArchiverSet none([](const QString&) { return QString(); });
    MainWindow window(dialogs, desktop, none);
    window.DetectArchivers();
    window.RefreshFormState();
    auto* zip = window.findChild<QCheckBox*>(QStringLiteral("chkExtZIP"));
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(zip->text(), QStringLiteral("&ZIP(libunzip32.so none)"));
    EXPECT_FALSE(zip->isEnabled());
}

// The worker has no catalogue: the good, missing and damaged verdicts still reach the list,
// the status bar and the log in English.
TEST_F(EnglishWindow, RunAndLogAreEnglish) {
    ASSERT_TRUE(makeZip(scratch_.path(QStringLiteral("a.zip")),
                        {{QStringLiteral("a.txt"), sampleContent(3000, 1)}}));
    const QString gone = scratch_.path(QStringLiteral("b.zip"));
    ASSERT_TRUE(makeZip(gone, {{QStringLiteral("b.txt"), sampleContent(3000, 2)}}));
    writeFile(scratch_.path(QStringLiteral("c.zip")), "not an archive at all");
    registerFolder(scratch_.root());
    find<QCheckBox>("chkExtZIP")->setChecked(true);
    QFile::remove(gone);
    startRun();
    ASSERT_EQ(list().size(), 3);
    EXPECT_EQ(list().row(0).verdict, QStringLiteral("Good archive"));
    EXPECT_EQ(list().row(1).verdict, QStringLiteral("File not found"));
    EXPECT_EQ(list().row(2).verdict, QStringLiteral("Damaged or unsupported archive"));
    EXPECT_EQ(panel("S_Good"), QStringLiteral("Good 1"));
    EXPECT_EQ(panel("S_Bad"), QStringLiteral("Bad 1"));
    EXPECT_EQ(panel("S_Total"), QStringLiteral("Total 3"));

    const QString log = scratch_.path(QStringLiteral("result.log"));
    dialogs_.paths.push_back(log);
    trigger("mnuFileLogSave");
    const QList<QByteArray> records = readFile(log).split('\n');
    ASSERT_EQ(records.size(), 5);
    EXPECT_EQ(records[0], "\"Name\",\"Folder\",\"Size\",\"Modified\",\"Result\"\r");
    EXPECT_TRUE(records[1].endsWith(",\"Good archive\"\r")) << records[1].constData();
    EXPECT_TRUE(records[2].endsWith(",\"File not found\"\r")) << records[2].constData();
    EXPECT_TRUE(records[3].endsWith(",\"Damaged or unsupported archive\"\r"))
        << records[3].constData();
    ASSERT_EQ(dialogs_.shown.size(), 1);
    EXPECT_EQ(dialogs_.shown[0].title, QStringLiteral("Done"));
    EXPECT_EQ(dialogs_.shown[0].text, QStringLiteral("The log was saved"));
}

// Help (F1) opens the English page, which has every place the Japanese one has.
TEST_F(EnglishWindow, HelpOpensTheEnglishPage) {
    trigger("mnuHelpHelp");
    ASSERT_EQ(desktop_.openedUrls.size(), 1);
    const QString page = desktop_.openedUrls[0].toLocalFile();
    EXPECT_TRUE(page.endsWith(QStringLiteral("/help/index.en.html"))) << page.toStdString();
    const QByteArray english = readFile(page);
    EXPECT_TRUE(english.contains("<html lang=\"en\">"));
    const QByteArray japanese = readFile(HelpFilePath(QStringLiteral("index.html")));
    const QRegularExpression anchor(QStringLiteral("id=\"([^\"]+)\""));
    const auto anchors = [&](const QByteArray& html) {
        QStringList ids;
        for (const QRegularExpressionMatch& match : anchor.globalMatch(QString::fromUtf8(html))) {
            ids << match.captured(1);
        }
        return ids;
    };
    EXPECT_FALSE(anchors(japanese).isEmpty());
    EXPECT_EQ(anchors(english), anchors(japanese));
}

// The settings file fixes the language against the locale; without it the locale decides.
TEST(EnglishStartup, SettingsFileWinsOverTheLocale) {
    const ScratchDir scratch;
    const QString ini = scratch.path(QStringLiteral("varnelt.ini"));
    EXPECT_EQ(StartupUiLanguage(ini), UiLanguage::English) << "no file: LANGUAGE=en decides";
    writeFile(ini, "[Option]\nLanguage=ja\n");
    EXPECT_EQ(StartupUiLanguage(ini), UiLanguage::Japanese);
    writeFile(ini, "[Option]\nLanguage=de\n");
    EXPECT_EQ(StartupUiLanguage(ini), UiLanguage::English) << "an unknown value is automatic";
}

}  // namespace
}  // namespace varnelt::test
