// The main window driven as a person drives it: by control names, clicks and keys.
#include <sys/stat.h>

#include <qpa/qplatformdrag.h>
#include <qpa/qwindowsysteminterface.h>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "tests/ui/window_fixture.h"
#include "ui/twips.h"

namespace varnelt::test {
namespace {

using Answer = Dialogs::Answer;

class MainWindowTest : public WindowTest {
protected:
    // Drags the paths over the widget and drops them, as the desktop would: as addresses
    // whose bytes are percent-encoded.
    void dropOn(QWidget* target, const QByteArrayList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QByteArray& path : paths) {
            urls << QUrl(QStringLiteral("file://") +
                         QString::fromLatin1(path.toPercentEncoding("/")));
        }
        data.setUrls(urls);
        const QPoint point = target->mapTo(window_.get(), target->rect().center());
        QWindow* window = window_->windowHandle();
        QWindowSystemInterface::handleDrag(window, &data, point, Qt::CopyAction, Qt::LeftButton,
                                           Qt::NoModifier);
        QWindowSystemInterface::handleDrop(window, &data, point, Qt::CopyAction, Qt::LeftButton,
                                           Qt::NoModifier);
        QCoreApplication::processEvents();
    }
    void selectRows(std::initializer_list<int> rows) {
        auto* view = find<QTableView>("lvwList");
        view->clearSelection();
        for (const int row : rows) {
            view->selectionModel()->select(list().index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    int selectedRow() {
        const auto rows = find<QTableView>("lvwList")->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.front().row() : -1;
    }
    void makeFiles(const QString& folder, int count) {
        QDir().mkpath(folder);
        for (int i = 0; i < count; ++i) {
            writeFile(folder + QStringLiteral("/f%1.zip").arg(i, 4, 10, QLatin1Char('0')),
                      QByteArray(i % 13, 'x'));
        }
    }
    void setManualFilter(const QString& list) {
        find<QRadioButton>("optFilterOnManual")->click();
        find<QLineEdit>("txtFilterExt")->setText(list);
    }
    bool busyControlsReleased() {
        return find<QWidget>("fraAllSetting")->isEnabled() &&
               !find<QPushButton>("cmdStop")->isEnabled() &&
               QApplication::overrideCursor() == nullptr && !window_->busy();
    }
};

TEST_F(MainWindowTest, ControlsCarryTheirCaptions) {
    EXPECT_EQ(window_->windowTitle(), QStringLiteral("Varnelt"));
    EXPECT_EQ(find<QPushButton>("cmdStart")->text(), QStringLiteral("実行(&S)"));
    EXPECT_EQ(find<QPushButton>("cmdStop")->text(), QStringLiteral("停止(&S)"));
    EXPECT_EQ(find<QPushButton>("cmdSelect_0")->toolTip(), QStringLiteral("ファイル選択"));
    EXPECT_EQ(find<QPushButton>("cmdLogClear_0")->text(), QStringLiteral("全クリア"));
    EXPECT_EQ(find<QCheckBox>("chkExtZIP")->text(), QStringLiteral("&ZIP(libunzip32.so v1.00)"));
    EXPECT_EQ(find<QCheckBox>("chkExtGCA")->text(), QStringLiteral("&GCA(libungca32.so未導入)"));
    EXPECT_FALSE(find<QCheckBox>("chkExtGCA")->isEnabled());
    EXPECT_EQ(find<QLineEdit>("txtBadNoFileSum")->toolTip(),
              QStringLiteral("2～999999までの値を入力して下さい"));
    EXPECT_EQ(panel("S_Good"), QStringLiteral("正常書庫 0"));
    EXPECT_EQ(panel("S_Time"), QStringLiteral("検査時間 00:00:00"));
    EXPECT_EQ(find<QAction>("mnuViewDLL")->text(), QStringLiteral("DLLを最新の状態に更新する(&D)"));
    EXPECT_EQ(find<QAction>("mnuHelpHelp")->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_NE(window_->findChild<QTimer*>(QStringLiteral("tmrTimer")), nullptr);
}

TEST_F(MainWindowTest, LayoutFollowsTheClientSize) {
    QWidget* client = window_->centralWidget();
    window_->resize(window_->width() - client->width() + 1200,
                    window_->height() - client->height() + 700);
    QCoreApplication::processEvents();
    // Never below the minimum client size.
    window_->resize(200, 150);
    QCoreApplication::processEvents();
    EXPECT_EQ(client->width(), kMinimumClientWidth / kTwipsPerPixel);
    EXPECT_EQ(client->height(), kMinimumClientHeight / kTwipsPerPixel);
    EXPECT_EQ(ToTwips(find<QTableView>("lvwList")->geometry()).height(), 2415);
    EXPECT_EQ(ToTwips(find<QPushButton>("cmdStart")->geometry()).top(), 5400);
    EXPECT_EQ(ToTwips(find<QPushButton>("cmdStop")->geometry()).top(), 5400);
    EXPECT_EQ(ToTwips(find<QPushButton>("cmdSelect_0")->geometry()).top(), 5280);
    EXPECT_EQ(ToTwips(find<QProgressBar>("prgCount")->geometry()).top(), 5880);
    // Stop's right edge sits on the list's right margin, Start directly left of it.
    const QRect stop = ToTwips(find<QPushButton>("cmdStop")->geometry());
    EXPECT_EQ(stop.left() + stop.width(), 10695 - 120);
    EXPECT_EQ(ToTwips(find<QPushButton>("cmdStart")->geometry()).left(), stop.left() - 975);
    // Growing the window grows the list in both directions.
    window_->resize(window_->width() + 150, window_->height() + 90);
    QCoreApplication::processEvents();
    EXPECT_EQ(ToTwips(find<QTableView>("lvwList")->geometry()).height(),
              2415 + 90 * kTwipsPerPixel);
    EXPECT_EQ(ToTwips(find<QTableView>("lvwList")->geometry()).width(),
              10455 + 150 * kTwipsPerPixel);
}

TEST_F(MainWindowTest, FolderRegistrationKeepsVisibleRegularFilesThroughTheFilter) {
    const QString folder = scratch_.path(QStringLiteral("data"));
    QDir().mkpath(folder + "/sub/deeper");
    writeFile(folder + "/a.zip", "12345");
    writeFile(folder + "/b.txt", "b");
    writeFile(folder + "/.c.zip", "c");
    writeFile(folder + "/README", "r");
    writeFile(folder + "/sub/d.ZIP", "d");
    writeFile(folder + "/sub/deeper/e.zip", "e");
    ASSERT_EQ(mkfifo((folder + "/pipe.zip").toUtf8().constData(), 0600), 0);
    setManualFilter(QStringLiteral("zip;"));
    registerFolder(folder);
    EXPECT_EQ(listNames(), QStringList{"a.zip"});
    EXPECT_EQ(list().row(0).folder, folder + u'/');
    EXPECT_EQ(list().row(0).sizeText(), QStringLiteral("5"));
    EXPECT_EQ(panel("S_Total"), QStringLiteral("検査総数 1"));
    EXPECT_EQ(dialogs_.dialogTitles.back(), QStringLiteral("検査するフォルダを選択して下さい。"));

    find<QCheckBox>("chkSubFolderAdd")->setChecked(true);
    registerFolder(folder);
    EXPECT_EQ(listNames(), (QStringList{"a.zip", "a.zip", "d.ZIP", "e.zip"}));
    find<QRadioButton>("optFilterOff")->click();
    click("cmdLogClear_0");
    registerFolder(folder + "/sub");
    EXPECT_EQ(listNames(), (QStringList{"d.ZIP", "e.zip"}));
    EXPECT_TRUE(dialogs_.shown.isEmpty());
    EXPECT_TRUE(busyControlsReleased());
}

TEST_F(MainWindowTest, FilePickerAndCancelledPickers) {
    const QString file = scratch_.path(QStringLiteral("one.lzh"));
    writeFile(file, "x");
    dialogs_.paths = {file, QString(), QString()};
    click("cmdSelect_0");
    click("cmdSelect_0");
    click("cmdSelect_1");
    EXPECT_EQ(listNames(), QStringList{"one.lzh"});
    EXPECT_EQ(dialogs_.dialogTitles.front(), QStringLiteral("ファイルを開く"));
}

TEST_F(MainWindowTest, AutomaticListFollowsTheFormatBoxes) {
    find<QRadioButton>("optFilterOnAuto")->click();
    auto* text = find<QLineEdit>("txtFilterExt");
    EXPECT_FALSE(text->isEnabled());
    EXPECT_EQ(text->text(), QString());
    find<QCheckBox>("chkExt7z")->setChecked(true);
    EXPECT_EQ(text->text(), QStringLiteral("7z;zip;exe;"));
    find<QCheckBox>("chkExtZIP")->setChecked(true);
    EXPECT_EQ(text->text(), QStringLiteral("zip;7z;exe;"));
    find<QCheckBox>("chkExtGCA")->setChecked(true);  // not installed: adds nothing
    EXPECT_EQ(text->text(), QStringLiteral("zip;7z;exe;"));
    // Manual mode starts from the last automatic list.
    find<QRadioButton>("optFilterOnManual")->click();
    EXPECT_TRUE(text->isEnabled());
    EXPECT_EQ(text->text(), QStringLiteral("zip;7z;exe;"));
}

TEST_F(MainWindowTest, ManualListPatterns) {
    const QString folder = scratch_.path(QStringLiteral("names"));
    QDir().mkpath(folder);
    for (const char* name : {"x.lzh", "x.exe", "x.lha", "README", "a.tar.gz"}) {
        writeFile(folder + u'/' + QLatin1String(name), "x");
    }
    const auto namesFor = [&](const QString& filter) {
        click("cmdLogClear_0");
        setManualFilter(filter);
        registerFolder(folder);
        return listNames();
    };
    EXPECT_EQ(namesFor(QStringLiteral("exe; lzh")), QStringList{"x.exe"});
    EXPECT_EQ(namesFor(QStringLiteral("l?h")), QStringList{"x.lzh"});
    EXPECT_EQ(namesFor(QStringLiteral("gz")), QStringList{"a.tar.gz"});
    EXPECT_TRUE(dialogs_.shown.isEmpty());
    EXPECT_TRUE(namesFor(QStringLiteral("[lzh")).isEmpty());
    ASSERT_EQ(dialogs_.shown.size(), 1);
    EXPECT_EQ(dialogs_.shown[0].title, QStringLiteral("エラー"));
    EXPECT_TRUE(dialogs_.shown[0].text.startsWith(QStringLiteral("実行時エラー '1001':\n")));
    EXPECT_TRUE(busyControlsReleased());
}

TEST_F(MainWindowTest, StartIsReadyOnlyWhenARunCanGo) {
    auto* start = find<QPushButton>("cmdStart");
    writeFile(scratch_.path(QStringLiteral("a.zip")), "x");
    registerFolder(scratch_.root());
    EXPECT_FALSE(start->isEnabled()) << "no format ticked";
    find<QCheckBox>("chkExtZIP")->setChecked(true);
    EXPECT_TRUE(start->isEnabled());
    find<QRadioButton>("optActionMove")->click();
    EXPECT_FALSE(start->isEnabled()) << "moving needs a destination";
    dialogs_.paths.push_back(scratch_.path(QStringLiteral("dest")));
    QDir().mkpath(scratch_.path(QStringLiteral("dest")));
    click("cmdSelect_2");
    EXPECT_EQ(find<QLineEdit>("txtBadMove")->text(), scratch_.path(QStringLiteral("dest/")));
    EXPECT_TRUE(start->isEnabled());
    find<QLineEdit>("txtBadMove")->setFocus();
    QTest::keyClick(find<QLineEdit>("txtBadMove"), Qt::Key_Delete);
    EXPECT_TRUE(find<QLineEdit>("txtBadMove")->text().isEmpty());
    EXPECT_FALSE(start->isEnabled());
    find<QRadioButton>("optActionNothing")->click();
    setManualFilter(QString());
    EXPECT_FALSE(start->isEnabled()) << "an empty manual list";
    find<QLineEdit>("txtFilterExt")->setText(QStringLiteral("zip"));
    EXPECT_TRUE(start->isEnabled());
    click("cmdLogClear_0");
    EXPECT_FALSE(start->isEnabled());
    EXPECT_EQ(panel("S_Total"), QStringLiteral("検査総数 0"));
}

TEST_F(MainWindowTest, HeaderClicksSortEachWayAndShowTheLastSort) {
    QHeaderView* header = find<QTableView>("lvwList")->horizontalHeader();
    const auto clickHeader = [&](int column) {
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    const auto indicator = [&] {
        return std::pair{header->sortIndicatorSection(), header->sortIndicatorOrder()};
    };
    // An empty list is not sorted, and the header says so.
    clickHeader(TargetListModel::NameColumn);
    EXPECT_EQ(header->sortIndicatorSection(), -1);

    for (const auto& [name, size] :
         {std::pair{"b.zip", 9}, std::pair{"a.zip", 10}, std::pair{"c.zip", 100}}) {
        writeFile(scratch_.path(QLatin1String(name)), QByteArray(size, 'x'));
    }
    registerFolder(scratch_.root());
    clickHeader(TargetListModel::SizeColumn);
    EXPECT_EQ(listNames(), (QStringList{"b.zip", "a.zip", "c.zip"}));
    EXPECT_EQ(indicator(), std::pair(int{TargetListModel::SizeColumn}, Qt::AscendingOrder));
    clickHeader(TargetListModel::SizeColumn);
    EXPECT_EQ(listNames(), (QStringList{"c.zip", "a.zip", "b.zip"}));
    EXPECT_EQ(indicator(), std::pair(int{TargetListModel::SizeColumn}, Qt::DescendingOrder));
    clickHeader(TargetListModel::NameColumn);
    EXPECT_EQ(listNames(), (QStringList{"a.zip", "b.zip", "c.zip"}));
    EXPECT_EQ(indicator(), std::pair(int{TargetListModel::NameColumn}, Qt::AscendingOrder));

    // The list does not keep sorting: a row added later goes to the end, and the header still
    // names the last sort.
    writeFile(scratch_.path(QStringLiteral("0.zip")), "0");
    dialogs_.paths.push_back(scratch_.path(QStringLiteral("0.zip")));
    click("cmdSelect_0");
    EXPECT_EQ(listNames(), (QStringList{"a.zip", "b.zip", "c.zip", "0.zip"}));
    EXPECT_EQ(indicator(), std::pair(int{TargetListModel::NameColumn}, Qt::AscendingOrder));
    // Clearing the list leaves the indicator of the last sort; a click on the empty list
    // changes nothing.
    click("cmdLogClear_0");
    clickHeader(TargetListModel::FolderColumn);
    EXPECT_EQ(indicator(), std::pair(int{TargetListModel::NameColumn}, Qt::AscendingOrder));
}

TEST_F(MainWindowTest, DeleteRemovesSelectedRowsAndMovesTheSelection) {
    makeFiles(scratch_.path(QStringLiteral("six")), 6);
    registerFolder(scratch_.path(QStringLiteral("six")));
    auto* view = find<QTableView>("lvwList");
    selectRows({1, 3});
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(listNames(), (QStringList{"f0000.zip", "f0002.zip", "f0004.zip", "f0005.zip"}));
    EXPECT_EQ(selectedRow(), 1);
    EXPECT_EQ(panel("S_Total"), QStringLiteral("検査総数 4"));

    selectRows({2, 3});
    click("cmdLogClear_1");
    EXPECT_EQ(listNames(), (QStringList{"f0000.zip", "f0002.zip"}));
    EXPECT_EQ(selectedRow(), 1);

    selectRows({});
    QTest::keyClick(view, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(list().size(), 2);
    EXPECT_EQ(selectedRow(), 1);
}

TEST_F(MainWindowTest, ThresholdFieldRepairsItself) {
    find<QCheckBox>("chkBadNoFileSum")->setChecked(true);
    auto* field = find<QLineEdit>("txtBadNoFileSum");
    auto* nameRule = find<QCheckBox>("chkBadNoFileName");
    EXPECT_TRUE(field->isEnabled());
    EXPECT_TRUE(nameRule->isEnabled());
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("1"));
    EXPECT_EQ(field->text(), QStringLiteral("2"));
    field->end(false);
    QTest::keyClicks(field, QStringLiteral("5"));
    EXPECT_EQ(field->text(), QStringLiteral("25"));
    EXPECT_FALSE(nameRule->isEnabled());
    QTest::keyClicks(field, QStringLiteral("a"));
    EXPECT_EQ(field->text(), QStringLiteral("25"));
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(field->text(), QStringLiteral("2"));
    EXPECT_TRUE(nameRule->isEnabled());
    field->setText(QStringLiteral("abc"));  // as a paste would
    EXPECT_EQ(field->text(), QStringLiteral("2"));
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("3456789"));
    EXPECT_EQ(field->text(), QStringLiteral("345678")) << "a seventh digit cannot be entered";
    find<QCheckBox>("chkBadNoFileSum")->setChecked(false);
    EXPECT_FALSE(field->isEnabled());
    EXPECT_FALSE(nameRule->isEnabled());
    field->setText(QStringLiteral("5"));
    find<QCheckBox>("chkBadNoFileSum")->setChecked(true);
    EXPECT_FALSE(nameRule->isEnabled());
}

TEST_F(MainWindowTest, StopEndsALongRegistration) {
    const QString folder = scratch_.path(QStringLiteral("many"));
    makeFiles(folder, 3000);
    QTimer::singleShot(0, window_.get(), [this] { click("cmdStop"); });
    registerFolder(folder);
    EXPECT_GT(list().size(), 0);
    EXPECT_LT(list().size(), 3000);
    EXPECT_EQ(panel("S_Total"), QStringLiteral("検査総数 %1").arg(list().size()));
    EXPECT_TRUE(busyControlsReleased());
}

TEST_F(MainWindowTest, DroppedPathsRegisterAndAMissingOneIsReportedOnce) {
    writeFile(scratch_.path(QStringLiteral("a.zip")), "a");
    writeFile(scratch_.path(QStringLiteral("b.zip")), "b");
    writeNativeFile(scratch_.nativePath("\x93\xfa\x96\x7b.zip"), "n");  // 日本.zip in CP932
    QWidget* viewport = find<QTableView>("lvwList")->viewport();
    dropOn(viewport, {scratch_.nativePath("a.zip"), scratch_.nativePath("\x93\xfa\x96\x7b.zip"),
                      scratch_.nativePath("gone.zip"), scratch_.nativePath("b.zip")});
    EXPECT_EQ(listNames(), (QStringList{"a.zip", "日本.zip"}));
    EXPECT_EQ(list().row(1).nativePath(), scratch_.nativePath("\x93\xfa\x96\x7b.zip"));
    ASSERT_EQ(dialogs_.shown.size(), 1);
    EXPECT_TRUE(dialogs_.shown[0].text.startsWith(QStringLiteral("実行時エラー '2':\n")));
    EXPECT_TRUE(dialogs_.shown[0].text.contains(scratch_.path(QStringLiteral("gone.zip"))));
    EXPECT_TRUE(busyControlsReleased());
    // A folder dropped on the destination field becomes the destination.
    auto* destination = find<QLineEdit>("txtBadMove");
    dropOn(destination, {scratch_.root().chopped(1).toUtf8(), scratch_.nativePath("a.zip")});
    EXPECT_EQ(destination->text(), scratch_.root());
    dropOn(destination, {scratch_.nativePath("a.zip")});
    EXPECT_TRUE(destination->text().isEmpty());
}

TEST_F(MainWindowTest, WindowIgnoresCloseWhileBusy) {
    window_->EnterBusyState();
    EXPECT_FALSE(window_->close());
    EXPECT_TRUE(window_->isVisible());
    EXPECT_FALSE(find<QAction>("mnuViewDLL")->isEnabled());
    EXPECT_TRUE(find<QAction>("mnuOptionFastMode")->isEnabled());
    window_->LeaveBusyState();
    EXPECT_TRUE(busyControlsReleased());
    EXPECT_TRUE(window_->close());
}

// Constructed before the window, whose detection already looks into it.
struct LibraryFolder {
    ScratchDir libraries_;
};

class RemovedLibraryTest : public LibraryFolder, public WindowTest {
protected:
    RemovedLibraryTest()
        : WindowTest(ArchiverSet([this](const QString& name) { return libraryIn(name); })) {}
    QString libraryIn(const QString& name) {
        const QString path = libraries_.path(name);
        return QFile::exists(path) ? path : QString();
    }
    static QString builtLibrary(const char* name) {
        return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath() + u'/' +
               QLatin1String(name);
    }
};

TEST_F(RemovedLibraryTest, RefreshGreysTheBoxButKeepsItsTick) {
    ASSERT_TRUE(QFile::copy(builtLibrary("libunzip32.so"),
                            libraries_.path(QStringLiteral("libunzip32.so"))));
    trigger("mnuViewDLL");
    auto* zip = find<QCheckBox>("chkExtZIP");
    EXPECT_TRUE(zip->isEnabled());
    zip->setChecked(true);
    ASSERT_TRUE(QFile::remove(libraries_.path(QStringLiteral("libunzip32.so"))));
    trigger("mnuViewDLL");
    EXPECT_FALSE(zip->isEnabled());
    EXPECT_TRUE(zip->isChecked());
    EXPECT_TRUE(zip->text().endsWith(QStringLiteral("未導入)")));
}

}  // namespace
}  // namespace varnelt::test
