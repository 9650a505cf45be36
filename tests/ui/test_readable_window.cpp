// What the window shows is readable whole: list columns as wide as their longest fixed text,
// sizes never cut, the whole text of a cut cell as its tooltip, six digits in the count box.
#include <QCheckBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QStyle>
#include <QTableView>
#include <QToolTip>
#include <QtMath>

#include "checkers/verdicts.h"
#include "tests/ui/window_fixture.h"
#include "ui/target_list_view.h"
#include "ui/twips.h"

namespace varnelt::test {
namespace {

// Every digit, so that a width found to hold them holds any number.
const QString kDigits = QStringLiteral("0123456789");

// The width a cell needs for the text: its advance in the view's font and the style's margin
// on either side.
int neededWidth(const QTableView& view, const QString& text) {
    const int margin = view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1;
    return qCeil(QFontMetricsF(view.font()).horizontalAdvance(text)) + 2 * margin;
}

// Asks the view for the tooltip at a cell, as hovering does; the text shown, or none.
QString tooltipAt(QTableView& view, const QModelIndex& cell) {
    QToolTip::hideText();
    QTest::qWait(400);  // until a tooltip still shown has gone
    const QPoint point = view.visualRect(cell).center();
    QHelpEvent help(QEvent::ToolTip, point, view.viewport()->mapToGlobal(point));
    QCoreApplication::sendEvent(view.viewport(), &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

TargetRow rowOf(const QString& folder, const QString& name, qint64 size) {
    return TargetRow{
        name,          folder,          size,     QStringLiteral("2026/12/07 15:59"), QString(),
        name.toUtf8(), folder.toUtf8(), QString()};
}

class ReadableWindowTest : public WindowTest {
protected:
    QTableView& view() { return *find<QTableView>("lvwList"); }
    int width(int column) { return view().columnWidth(column); }
    void add(std::vector<TargetRow> rows) {
        list().append(std::move(rows));
        QCoreApplication::processEvents();
    }
};

TEST_F(ReadableWindowTest, ColumnsStartWideEnoughForTheirLongestFixedText) {
    const int designTwips[] = {2000, 2500, 1100, 1700, 2700};
    for (int column = 0; column < TargetListModel::ColumnCount; ++column) {
        EXPECT_GE(width(column), FromTwips(designTwips[column])) << column;
        EXPECT_GE(width(column), view().horizontalHeader()->sectionSizeHint(column)) << column;
    }
    for (const QString& verdict :
         {kGoodVerdict, kMissingFileVerdict, kUnreadableFileVerdict, kBadFileCaption,
          kBadNoPasswordCaption, kBadNoExtCaption, kBadNoFileNameCaption,
          FormatFileCountVerdict(999999, kBadNoFileSumCaption)}) {
        EXPECT_GE(width(TargetListModel::VerdictColumn), neededWidth(view(), verdict))
            << verdict.toStdString();
    }
    for (const QChar digit : kDigits) {
        const QString time = QStringLiteral("0000/00/00 00:00").replace(u'0', digit);
        EXPECT_GE(width(TargetListModel::ModifiedColumn), neededWidth(view(), time))
            << time.toStdString();
        EXPECT_GE(width(TargetListModel::SizeColumn), neededWidth(view(), QString(10, digit)))
            << digit.toLatin1();
    }
}

TEST_F(ReadableWindowTest, LastColumnTakesTheSpareWidthButNeverLessThanItsText) {
    const int verdictStart = width(TargetListModel::VerdictColumn);
    QHeaderView* header = view().horizontalHeader();
    window_->resize(window_->width() + 400, window_->height());
    QCoreApplication::processEvents();
    EXPECT_EQ(header->sectionViewportPosition(TargetListModel::VerdictColumn) +
                  width(TargetListModel::VerdictColumn),
              view().viewport()->width());
    EXPECT_GT(width(TargetListModel::VerdictColumn), verdictStart);
    // Back at the smallest window the column keeps what its longest verdict needs; the list
    // scrolls sideways instead.
    window_->resize(200, 150);
    QCoreApplication::processEvents();
    EXPECT_EQ(width(TargetListModel::VerdictColumn), verdictStart);
    EXPECT_GE(width(TargetListModel::VerdictColumn), neededWidth(view(), kBadNoPasswordCaption));
}

TEST_F(ReadableWindowTest, SizeColumnWidensForALongerSizeAndNeverCutsOne) {
    const int start = width(TargetListModel::SizeColumn);
    add({rowOf(QStringLiteral("/data/"), QStringLiteral("small.zip"), 1)});
    EXPECT_EQ(width(TargetListModel::SizeColumn), start);
    const qint64 tenGigabytes = Q_INT64_C(10) * 1024 * 1024 * 1024;  // eleven digits
    add({rowOf(QStringLiteral("/data/"), QStringLiteral("disk.zip"), tenGigabytes)});
    const int widened = width(TargetListModel::SizeColumn);
    EXPECT_GT(widened, start);
    // What the list's own measure of its rows asks for.
    EXPECT_GE(widened, static_cast<QAbstractItemView&>(view()).sizeHintForColumn(
                           TargetListModel::SizeColumn));
    for (const QChar digit : kDigits) {
        EXPECT_GE(widened, neededWidth(view(), QString(11, digit))) << digit.toLatin1();
    }
    // Scrolled out of sight among many rows, the longest size still counts.
    std::vector<TargetRow> many;
    for (int i = 0; i < 2000; ++i) {
        many.push_back(rowOf(QStringLiteral("/data/"), QStringLiteral("f%1.zip").arg(i), i));
    }
    many.push_back(
        rowOf(QStringLiteral("/data/"), QStringLiteral("huge.zip"), Q_INT64_C(1234567890123456)));
    add(std::move(many));
    EXPECT_GE(width(TargetListModel::SizeColumn), neededWidth(view(), QString(16, u'8')));
    // Removing rows does not narrow it.
    click("cmdLogClear_0");
    EXPECT_GE(width(TargetListModel::SizeColumn), neededWidth(view(), QString(16, u'8')));
}

TEST_F(ReadableWindowTest, CutCellShowsItsWholeTextAsTooltip) {
    const QString longFolder = QStringLiteral("/data/") + QString(200, u'x') + u'/';
    add({rowOf(longFolder, QStringLiteral("a.zip"), 1)});
    list().setVerdict(0, kBadNoPasswordCaption);
    EXPECT_EQ(tooltipAt(view(), list().index(0, TargetListModel::FolderColumn)), longFolder);
    // Text shown whole needs no tooltip.
    EXPECT_EQ(tooltipAt(view(), list().index(0, TargetListModel::NameColumn)), QString());
    EXPECT_EQ(tooltipAt(view(), list().index(0, TargetListModel::VerdictColumn)), QString());
    // Narrowed by the user, the name is cut too.
    view().setColumnWidth(TargetListModel::NameColumn, 10);
    EXPECT_EQ(tooltipAt(view(), list().index(0, TargetListModel::NameColumn)),
              QStringLiteral("a.zip"));
}

TEST(TargetListViewTooltip, TheModelsOwnTooltipIsShownInstead) {
    QStandardItemModel model(1, TargetListModel::ColumnCount);
    model.setItem(0, TargetListModel::FolderColumn,
                  new QStandardItem(QStringLiteral("/") + QString(300, u'y') + u'/'));
    auto* verdict = new QStandardItem(QString(300, u'z'));
    verdict->setToolTip(QStringLiteral("the library's reason"));
    model.setItem(0, TargetListModel::VerdictColumn, verdict);
    TargetListView view(&model, nullptr);
    view.resize(600, 200);
    view.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(tooltipAt(view, model.index(0, TargetListModel::VerdictColumn)),
              QStringLiteral("the library's reason"));
    EXPECT_EQ(tooltipAt(view, model.index(0, TargetListModel::FolderColumn)),
              QStringLiteral("/") + QString(300, u'y') + u'/');
}

TEST_F(ReadableWindowTest, CountBoxShowsSixDigitsWhole) {
    find<QCheckBox>("chkBadNoFileSum")->setChecked(true);
    auto* field = find<QLineEdit>("txtBadNoFileSum");
    // A text that does not fit scrolls: its start and end are then less than its advance apart.
    for (const QChar digit : QStringLiteral("123456789")) {
        const QString text(6, digit);
        field->setText(text);
        field->end(false);
        field->grab();  // a paint places the text
        const int end = field->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
        field->home(false);
        field->grab();
        const int start = field->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
        EXPECT_NEAR(end - start, field->fontMetrics().horizontalAdvance(text), 1)
            << text.toStdString();
    }
    const QLabel* label = find<QLabel>("Label2");
    EXPECT_GT(label->x(), field->geometry().right());
}

}  // namespace
}  // namespace varnelt::test
