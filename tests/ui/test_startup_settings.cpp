// Start-up, the settings file, the reset and the view options, through the real window.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTableView>
#include <QWindow>

#include "tests/ui/window_fixture.h"
#include "ui/check_mark_images.h"
#include "ui/twips.h"

namespace varnelt::test {
namespace {

class StartupTest : public WindowTest {
protected:
    QString iniPath() { return scratch_.path(QStringLiteral("config/varnelt.ini")); }
    void writeIni(const QByteArray& text) {
        QDir().mkpath(scratch_.path(QStringLiteral("config")));
        writeFile(iniPath(), text);
    }
    // A fresh window that starts the way the program starts.
    void start(const QByteArrayList& arguments = {}) {
        window_ = std::make_unique<MainWindow>(dialogs_, desktop_, archivers_);
        window_->Form_Load(arguments, iniPath());
        window_->show();
        QCoreApplication::processEvents();
    }
    QByteArray closeAndReadIni() {
        EXPECT_TRUE(window_->close());
        return readFile(iniPath());
    }
    bool checked(const char* name) { return find<QCheckBox>(name)->isChecked(); }
    bool showsImage(const char* action, bool checked) {
        return find<QAction>(action)->icon().pixmap(11, 11).toImage().convertToFormat(
                   QImage::Format_Mono) == CheckMarkImage(checked);
    }
    QRect listTwips() { return ToTwips(find<QTableView>("lvwList")->geometry()); }
};

TEST_F(StartupTest, FirstStartAppliesTheDefaultsAndWritesEveryKeyOnClose) {
    start();
    EXPECT_TRUE(checked("chkExtLHA"));
    EXPECT_TRUE(checked("chkExtZIP"));
    EXPECT_FALSE(checked("chkExt7z"));
    EXPECT_TRUE(checked("chkBadFile"));
    EXPECT_FALSE(find<QCheckBox>("chkBadNoFileName")->isEnabled());
    EXPECT_TRUE(find<QRadioButton>("optFilterOff")->isChecked());
    for (const char* item : {"mnuOptionFastMode", "mnuOptionFormTop", "mnuOptionSettingHidden"}) {
        EXPECT_TRUE(showsImage(item, false)) << item;
    }
    trigger("mnuOptionFastMode");
    EXPECT_TRUE(showsImage("mnuOptionFastMode", true));
    trigger("mnuOptionFastMode");

    const QSize outer = ToTwips(QRect(QPoint(), window_->size())).size();
    const QByteArray expected =
        QStringLiteral(
            "[Position]\nTop=0\nLeft=0\nWidth=%1\nHeight=%2\n\n"
            "[Option]\nFastMode=False\nFormTop=False\nSettingHidden=False\nSubFolderAdd=0\n"
            "Jobs=Auto\nTimeLimit=60\nMemoryLimit=2048\n\n"
            "[Filter]\nSelect=OFF\nList=\n\n"
            "[Action]\nSelect=Nothing\nFolder=\n\n"
            "[Archive]\nLHA=1\nZIP=1\nCAB=0\nTAR=0\nRAR=0\nBGA=0\nYZ1=0\nGCA=0\n7z=0\n\n"
            "[BadFile]\nBadNoExt=0\nBadNoPassword=0\nBadNoFileSumCheck=0\nBadNoFileSumValue=2\n"
            "BadNoFileName=0\n")
            .arg(outer.width())
            .arg(outer.height())
            .toUtf8();
    EXPECT_EQ(closeAndReadIni(), expected);
    EXPECT_EQ(window_->centralWidget()->width() * kTwipsPerPixel, kMinimumClientWidth);
}

TEST_F(StartupTest, StoredSettingsComeBack) {
    const QString folder = QStringLiteral("/data/") + QString(600, u'x') + u'/';
    writeIni(QStringLiteral("[Position]\nLeft=30\nTop=45\nWidth=12000\nHeight=7500\n"
                            "[Option]\nFastMode=True\nSubFolderAdd=1\n"
                            "[Filter]\nSelect=Manual\nList=zip;lzh\n"
                            "[Action]\nSelect=Move\nFolder=%1\n"
                            "[Archive]\nLHA=0\nZIP=1\nCAB=1\n7z=1\nGCA=1\n"
                            "[BadFile]\nBadNoExt=1\nBadNoPassword=1\nBadNoFileSumCheck="
                            "1\nBadNoFileSumValue=999999\n"
                            "BadNoFileName=1\n")
                 .arg(folder)
                 .toUtf8());
    start();
    EXPECT_EQ(window_->pos(), QPoint(2, 3));
    EXPECT_EQ(window_->width(), 800);
    EXPECT_TRUE(find<QAction>("mnuOptionFastMode")->isChecked());
    EXPECT_TRUE(showsImage("mnuOptionFastMode", true));
    EXPECT_TRUE(checked("chkSubFolderAdd"));
    EXPECT_TRUE(find<QRadioButton>("optFilterOnManual")->isChecked());
    EXPECT_EQ(find<QLineEdit>("txtFilterExt")->text(), QStringLiteral("zip;lzh"));
    EXPECT_TRUE(find<QRadioButton>("optActionMove")->isChecked());
    EXPECT_EQ(find<QLineEdit>("txtBadMove")->text(), folder) << "long values are read whole";
    EXPECT_FALSE(checked("chkExtLHA"));
    EXPECT_TRUE(checked("chkExtCAB"));
    EXPECT_TRUE(checked("chkExtGCA")) << "a missing library keeps its tick";
    EXPECT_FALSE(find<QCheckBox>("chkExtGCA")->isEnabled());
    EXPECT_EQ(find<QLineEdit>("txtBadNoFileSum")->text(), QStringLiteral("999999"));
    EXPECT_FALSE(find<QCheckBox>("chkBadNoFileName")->isEnabled());
    EXPECT_TRUE(checked("chkBadNoFileName"));
    EXPECT_TRUE(checked("chkBadNoPassword"));
}

TEST_F(StartupTest, RunOptionsComeBackAndOlderFilesGetTheDefaults) {
    const struct {
        const char* option;
        const char* checkedJobs;
        int timeLimit;
        int memoryLimit;
    } cases[] = {
        {"Jobs=4\nTimeLimit=5\nMemoryLimit=512\n", "mnuOptionJobs_4", 5, 512},
        {"", "mnuOptionJobs_0", 60, 2048},  // a file written before these keys existed
        {"Jobs=3\nTimeLimit=-1\nMemoryLimit=lots\n", "mnuOptionJobs_0", 60, 2048},
        {"Jobs=Auto\nTimeLimit=0\nMemoryLimit=0\n", "mnuOptionJobs_0", 0, 0},
    };
    for (const auto& entry : cases) {
        writeIni(QByteArray("[Option]\n") + entry.option);
        start();
        for (const int jobs : {0, 1, 2, 4, 8, 16}) {
            const QByteArray name = "mnuOptionJobs_" + QByteArray::number(jobs);
            EXPECT_EQ(find<QAction>(name.constData())->isChecked(), name == entry.checkedJobs)
                << entry.option << name.constData();
        }
        EXPECT_EQ(window_->runLimits().timeLimitSeconds, entry.timeLimit) << entry.option;
        EXPECT_EQ(window_->runLimits().memoryLimitMB, entry.memoryLimit) << entry.option;
    }
    trigger("mnuOptionJobs_16");
    const QByteArray saved = closeAndReadIni();
    EXPECT_TRUE(saved.contains("Jobs=16\nTimeLimit=0\nMemoryLimit=0\n")) << saved.constData();
}

TEST_F(StartupTest, UnusableValuesFallBack) {
    struct Case {
        const char* ini;
        const char* threshold;
        bool nameOffered;
    };
    const Case cases[] = {
        {"[BadFile]\nBadNoFileSumCheck=1\nBadNoFileSumValue=1\n", "2", true},
        {"[BadFile]\nBadNoFileSumCheck=1\nBadNoFileSumValue=0\n", "2", true},
        {"[BadFile]\nBadNoFileSumCheck=1\nBadNoFileSumValue=\n", "2", true},
        {"[BadFile]\nBadNoFileSumCheck=1\nBadNoFileSumValue=abc\n", "2", true},
        {"[BadFile]\nBadNoFileSumCheck=1\nBadNoFileSumValue=1234567\n", "2", true},
        {"[BadFile]\nBadNoFileSumCheck=1\nBadNoFileSumValue=3\n", "3", false},
        {"[BadFile]\nBadNoFileSumCheck=1\nBadNoFileSumValue=2\n", "2", true},
        {"[BadFile]\nBadNoFileSumCheck=0\nBadNoFileSumValue=2\n", "2", false},
    };
    for (const Case& c : cases) {
        writeIni(c.ini);
        start();
        EXPECT_EQ(find<QLineEdit>("txtBadNoFileSum")->text(), QLatin1String(c.threshold)) << c.ini;
        EXPECT_EQ(find<QCheckBox>("chkBadNoFileName")->isEnabled(), c.nameOffered) << c.ini;
    }
    for (const char* value : {"true", "TRUE", "1"}) {
        writeIni(QByteArray("[Option]\nFormTop=") + value +
                 "\n[Filter]\nSelect=off\n[Action]\nSelect=move\n");
        start();
        EXPECT_FALSE(find<QAction>("mnuOptionFormTop")->isChecked()) << value;
        EXPECT_FALSE(window_->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_TRUE(find<QRadioButton>("optFilterOff")->isChecked());
        EXPECT_TRUE(find<QRadioButton>("optActionNothing")->isChecked());
    }
}

TEST_F(StartupTest, PositionValuesThatAreNotPlainDigitsReadAsZero) {
    const QSize screen = window_->screen()->size();
    writeIni(QStringLiteral("[Position]\nLeft=-300\nTop=15.5\nWidth=%1\n")
                 .arg((screen.width() + 100) * kTwipsPerPixel)
                 .toUtf8());
    start();
    EXPECT_EQ(window_->pos(), QPoint(0, 0));
    EXPECT_LE(window_->width(), screen.width());
    EXPECT_EQ(window_->centralWidget()->height() * kTwipsPerPixel, kMinimumClientHeight)
        << "a missing height grows to the minimum";
}

TEST_F(StartupTest, AnExistingFileKeepsItsCommentsUnknownKeysAndOrder) {
    writeIni(
        "; written by hand\n[BadFile]\nBadNoExt=1\nMyOwnKey=keep "
        "me\n\n[Position]\nHeight=9000\nWidth=12000\n"
        "# another comment\nLeft=0\nTop=0\n\n[Extra]\nSomething=else\n");
    start();
    const QByteArray saved = closeAndReadIni();
    EXPECT_TRUE(saved.startsWith("; written by hand\n[BadFile]\nBadNoExt=1\nMyOwnKey=keep me\n"));
    EXPECT_TRUE(
        saved.contains("[Position]\nHeight=9000\nWidth=12000\n# another comment\nLeft=0\nTop=0\n"));
    EXPECT_TRUE(saved.contains("[Extra]\nSomething=else\n"));
    EXPECT_EQ(saved.count("BadNoExt="), 1);
    EXPECT_LT(saved.indexOf("[Extra]"), saved.indexOf("[Option]"))
        << "new sections come at the end";
}

TEST_F(StartupTest, ResetRestoresTheDefaultsButNotFastMode) {
    writeIni("[Option]\nFastMode=True\nFormTop=True\nSettingHidden=True\n[Archive]\nCAB=1\n");
    writeFile(scratch_.path(QStringLiteral("a.zip")), "a");
    start({scratch_.nativePath("a.zip")});
    EXPECT_TRUE(window_->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(find<QGroupBox>("fraExtFilter")->isVisible());
    window_->showMaximized();
    QCoreApplication::processEvents();
    trigger("mnuOptionIniDefault");
    QCoreApplication::processEvents();
    EXPECT_FALSE(window_->isMaximized());
    EXPECT_EQ(window_->pos(), QPoint(0, 0));
    EXPECT_EQ(window_->centralWidget()->width() * kTwipsPerPixel, kMinimumClientWidth);
    EXPECT_TRUE(find<QAction>("mnuOptionFastMode")->isChecked());
    EXPECT_FALSE(find<QAction>("mnuOptionFormTop")->isChecked());
    EXPECT_FALSE(window_->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(find<QAction>("mnuOptionSettingHidden")->isChecked());
    EXPECT_TRUE(find<QGroupBox>("fraExtFilter")->isVisible());
    EXPECT_EQ(listTwips().top(), 2760);
    EXPECT_FALSE(checked("chkExtCAB"));
    EXPECT_EQ(list().size(), 0);
    EXPECT_FALSE(find<QPushButton>("cmdStart")->isEnabled());
    EXPECT_EQ(panel("S_Total"), QStringLiteral("検査総数 0"));
    EXPECT_FALSE(QFile::exists(iniPath()) && readFile(iniPath()).contains("CAB=0"))
        << "nothing written yet";
}

TEST_F(StartupTest, HiddenPanelLetsTheListGrowUpwardAndSurvivesResizing) {
    start();
    const QRect before = listTwips();
    trigger("mnuOptionSettingHidden");
    const QRect hidden = listTwips();
    EXPECT_EQ(hidden.top(), 0);
    EXPECT_EQ(hidden.top() + hidden.height(), before.top() + before.height());
    EXPECT_FALSE(find<QGroupBox>("fraCheckedArchiver")->isVisible());
    window_->resize(window_->width() + 60, window_->height() + 45);
    QCoreApplication::processEvents();
    EXPECT_EQ(listTwips().top(), 0);
    EXPECT_EQ(listTwips().height(), hidden.height() + 45 * kTwipsPerPixel);
    trigger("mnuOptionSettingHidden");
    EXPECT_EQ(listTwips().top(), 2760);
    EXPECT_EQ(listTwips().height(), before.height() + 45 * kTwipsPerPixel);
    EXPECT_TRUE(find<QGroupBox>("fraIzyoSyori")->isVisible());
}

TEST_F(StartupTest, AlwaysOnTopKeepsPlaceAndSize) {
    start();
    window_->move(40, 30);
    QCoreApplication::processEvents();
    const QRect place = window_->geometry();
    trigger("mnuOptionFormTop");
    EXPECT_TRUE(window_->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(showsImage("mnuOptionFormTop", true));
    trigger("mnuOptionFormTop");
    EXPECT_FALSE(window_->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(find<QAction>("mnuOptionFormTop")->isChecked());
    EXPECT_EQ(window_->geometry(), place);
    EXPECT_TRUE(window_->isVisible());
}

TEST_F(StartupTest, CommandLinePathsAreRegisteredInOrder) {
    const QString folder = scratch_.path(QStringLiteral("my archives"));
    QDir().mkpath(folder);
    writeFile(folder + QStringLiteral("/inner.zip"), "i");
    writeFile(scratch_.path(QStringLiteral("single.lzh")), "s");
    // 日本.zip with its name in CP932, by its full path and relative to the current folder.
    writeNativeFile(scratch_.nativePath("\x93\xfa\x96\x7b.zip"), "n");
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder));
    start({folder.toUtf8() + '/', scratch_.nativePath("single.lzh"),
           scratch_.nativePath("none.zip"), scratch_.nativePath("\x93\xfa\x96\x7b.zip"),
           "../\x93\xfa\x96\x7b.zip"});
    QDir::setCurrent(previous);
    EXPECT_EQ(listNames(), (QStringList{"inner.zip", "single.lzh", "日本.zip", "日本.zip"}));
    EXPECT_EQ(list().row(0).folder, folder + u'/');
    for (const int row : {2, 3}) {
        EXPECT_EQ(list().row(row).folder, scratch_.root());
        EXPECT_EQ(list().row(row).nativePath(), scratch_.nativePath("\x93\xfa\x96\x7b.zip"));
    }
    ASSERT_EQ(dialogs_.shown.size(), 1) << "the argument that names nothing is reported once";
    EXPECT_TRUE(dialogs_.shown[0].text.contains(QStringLiteral("none.zip")));
    EXPECT_EQ(panel("S_Total"), QStringLiteral("検査総数 4"));
}

TEST_F(StartupTest, MinimisedWindowSavesItsNormalPlace) {
    start();
    window_->move(15, 25);
    QCoreApplication::processEvents();
    window_->showMinimized();
    QCoreApplication::processEvents();
    const QByteArray saved = closeAndReadIni();
    EXPECT_TRUE(saved.contains("Top=375\nLeft=225\n")) << saved.constData();
}

}  // namespace
}  // namespace varnelt::test
