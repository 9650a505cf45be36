// The list's own menu and double-click: the file manager shows the rows' files, paths are
// copied, rows are removed; while the list is locked nothing is offered.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QTableView>

#include "tests/ui/window_fixture.h"

namespace varnelt::test {
namespace {

// The address another program expects: the path's bytes percent-encoded, written out here
// rather than taken from the program.
QString addressOf(const QByteArray& path) {
    return QStringLiteral("file://") + QString::fromLatin1(path.toPercentEncoding("/"));
}

class RowActionsTest : public WindowTest {
protected:
    // Four rows: a.zip, b.zip, c.zip and 日本.zip under its CP932 bytes.
    void registerFour() {
        for (const char* name : {"a.zip", "b.zip", "c.zip"}) {
            writeFile(scratch_.path(QLatin1String(name)), "x");
        }
        writeNativeFile(scratch_.nativePath("\x93\xfa\x96\x7b.zip"), "n");
        registerFolder(scratch_.root());
        ASSERT_EQ(listNames(), (QStringList{"a.zip", "b.zip", "c.zip", "日本.zip"}));
    }
    QTableView* view() { return find<QTableView>("lvwList"); }
    void selectRows(std::initializer_list<int> rows) {
        view()->clearSelection();
        for (const int row : rows) {
            view()->selectionModel()->select(
                list().index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    std::vector<int> selectedRows() {
        std::vector<int> rows;
        for (const QModelIndex& index : view()->selectionModel()->selectedRows()) {
            rows.push_back(index.row());
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    QMenu* menu() { return find<QMenu>("mnuList"); }
    // Asks for the menu as the desktop does when the Menu key is pressed.
    void pressMenuKey() {
        view()->setFocus();
        QContextMenuEvent request(QContextMenuEvent::Keyboard, QPoint(), QPoint());
        QCoreApplication::sendEvent(view(), &request);
    }
    void pressShiftF10() {
        view()->setFocus();
        QTest::keyClick(view(), Qt::Key_F10, Qt::ShiftModifier);
    }
    void rightClickRow(int row) {
        const QPoint point = view()->visualRect(list().index(row, 0)).center();
        QContextMenuEvent request(QContextMenuEvent::Mouse, point,
                                  view()->viewport()->mapToGlobal(point));
        QCoreApplication::sendEvent(view()->viewport(), &request);
    }
    // Clicks the entry in the open menu.
    void choose(const char* action) {
        ASSERT_TRUE(menu()->isVisible()) << "no menu to choose " << action << " from";
        QTest::mouseClick(menu(), Qt::LeftButton, {},
                          menu()->actionGeometry(find<QAction>(action)).center());
        EXPECT_FALSE(menu()->isVisible());
    }
    std::vector<bool> entriesEnabled() {
        return {find<QAction>("mnuListOpenFolder")->isEnabled(),
                find<QAction>("mnuListCopyPath")->isEnabled(),
                find<QAction>("mnuListDelete")->isEnabled()};
    }
};

TEST_F(RowActionsTest, MenuActsOnEverySelectedRow) {
    registerFour();
    selectRows({1, 3});
    pressShiftF10();
    ASSERT_TRUE(menu()->isVisible());
    QStringList texts;
    for (const QAction* action : menu()->actions()) {
        if (!action->isSeparator()) {
            texts << action->text();
        }
    }
    EXPECT_EQ(texts, (QStringList{"フォルダを開く", "パスをコピー", "選択した行を削除"}));
    EXPECT_EQ(entriesEnabled(), (std::vector<bool>{true, true, true}));
    choose("mnuListCopyPath");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), scratch_.path(QStringLiteral("b.zip")) + u'\n' +
                                                        scratch_.path(QStringLiteral("日本.zip")));

    pressMenuKey();
    choose("mnuListOpenFolder");
    ASSERT_EQ(desktop_.shownItems.size(), 1);
    QStringList shown;
    for (const QUrl& url : desktop_.shownItems[0]) {
        shown << url.toString(QUrl::FullyEncoded);
    }
    EXPECT_EQ(shown, (QStringList{addressOf(scratch_.nativePath("b.zip")),
                                  addressOf(scratch_.nativePath("\x93\xfa\x96\x7b.zip"))}));
    EXPECT_TRUE(desktop_.openedUrls.isEmpty()) << "the file manager took the request";

    pressShiftF10();
    choose("mnuListDelete");
    EXPECT_EQ(listNames(), (QStringList{"a.zip", "c.zip"}));
    EXPECT_EQ(selectedRows(), std::vector<int>{1}) << "as the Delete key leaves it";
    EXPECT_EQ(panel("S_Total"), QStringLiteral("検査総数 2"));
    EXPECT_TRUE(dialogs_.shown.isEmpty());
}

TEST_F(RowActionsTest, RightClickOutsideTheSelectionActsOnTheClickedRow) {
    registerFour();
    selectRows({0, 1});
    rightClickRow(1);
    EXPECT_TRUE(menu()->isVisible());
    EXPECT_EQ(selectedRows(), (std::vector<int>{0, 1})) << "a selected row keeps the selection";
    menu()->close();
    rightClickRow(2);
    EXPECT_EQ(selectedRows(), std::vector<int>{2});
    choose("mnuListCopyPath");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), scratch_.path(QStringLiteral("c.zip")));
}

TEST_F(RowActionsTest, DoubleClickShowsThatRowsFile) {
    registerFour();
    selectRows({0});
    const QPoint point = view()->visualRect(list().index(3, 1)).center();
    QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, point);
    QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, point);
    ASSERT_EQ(desktop_.shownItems.size(), 1);
    ASSERT_EQ(desktop_.shownItems[0].size(), 1);
    EXPECT_EQ(desktop_.shownItems[0][0].toString(QUrl::FullyEncoded),
              addressOf(scratch_.nativePath("\x93\xfa\x96\x7b.zip")));
}

TEST_F(RowActionsTest, WithoutAFileManagerEachFolderOpensOnceOrIsReported) {
    for (const char* name : {"one/a.zip", "one/b.zip", "two/c.zip"}) {
        QDir().mkpath(QFileInfo(scratch_.path(QLatin1String(name))).path());
        writeFile(scratch_.path(QLatin1String(name)), "x");
    }
    find<QCheckBox>("chkSubFolderAdd")->setChecked(true);
    registerFolder(scratch_.root());
    ASSERT_EQ(list().size(), 3);
    desktop_.fileManagerAnswers = false;
    selectRows({0, 1, 2});
    pressShiftF10();
    choose("mnuListOpenFolder");
    EXPECT_EQ(desktop_.shownItems.size(), 1) << "the file manager is asked first";
    QStringList opened;
    for (const QUrl& url : desktop_.openedUrls) {
        opened << url.toString(QUrl::FullyEncoded);
    }
    EXPECT_EQ(opened, (QStringList{addressOf(scratch_.nativePath("one/")),
                                   addressOf(scratch_.nativePath("two/"))}));
    EXPECT_TRUE(dialogs_.shown.isEmpty());

    // Nothing can open a folder: said once, with the folder, and the window stays usable.
    desktop_.programsStart = false;
    desktop_.openedUrls.clear();
    pressShiftF10();
    choose("mnuListOpenFolder");
    EXPECT_EQ(desktop_.openedUrls.size(), 1);
    ASSERT_EQ(dialogs_.shown.size(), 1);
    EXPECT_EQ(dialogs_.shown[0].icon, Dialogs::Icon::Critical);
    EXPECT_EQ(dialogs_.shown[0].text, QStringLiteral("フォルダを開けませんでした。\n") +
                                          scratch_.path(QStringLiteral("one/")));
    EXPECT_FALSE(window_->busy());
}

TEST_F(RowActionsTest, EntriesFollowTheSelectionAndTheBusyState) {
    registerFour();
    view()->clearSelection();
    pressShiftF10();
    EXPECT_EQ(entriesEnabled(), (std::vector<bool>{false, false, false}))
        << "nothing selected, nothing to act on";
    menu()->close();
    selectRows({2});
    window_->EnterBusyState();
    // Showing and copying only read; removing waits for the run.
    EXPECT_EQ(entriesEnabled(), (std::vector<bool>{true, true, false}));
    // The locked list offers no menu at all.
    pressShiftF10();
    pressMenuKey();
    EXPECT_FALSE(menu()->isVisible());
    window_->LeaveBusyState();
    EXPECT_EQ(entriesEnabled(), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(list().size(), 4);
}

}  // namespace
}  // namespace varnelt::test
