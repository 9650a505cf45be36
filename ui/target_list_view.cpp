#include "ui/target_list_view.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>

#include <algorithm>

#include "checkers/verdicts.h"
#include "targets/target_list_model.h"
#include "targets/target_row.h"
#include "ui/text_fit.h"
#include "ui/twips.h"

namespace varnelt {

namespace {

// The design widths, the least each column gets.
constexpr int kColumnTwips[TargetListModel::ColumnCount] = {2000, 2500, 1100, 1700, 2700};
// Sizes up to 9,999,999,999 bytes fit from the start.
constexpr int kStartSizeDigits = 10;
// The largest threshold the count box takes.
constexpr int kLargestFileCountLimit = 999999;

}  // namespace

TargetListView::TargetListView(QAbstractItemModel* model, QWidget* parent)
    : QTableView(parent), sizeDigits_(kStartSizeDigits) {
    setModel(model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Shown from the start, so that each header's width leaves room for the indicator.
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    for (int column = 0; column < TargetListModel::ColumnCount; ++column) {
        setColumnWidth(column, startWidth(column));
    }
    // The program keeps the size column as wide as the longest size.
    header->setSectionResizeMode(TargetListModel::SizeColumn, QHeaderView::Fixed);
    header->setStretchLastSection(true);
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { widenSizeColumn(first, last); });
}

int TargetListView::cellWidthFor(const QString& text) const {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.features |= QStyleOptionViewItem::HasDisplay;
    option.text = text;
    return style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).width();
}

int TargetListView::sizeWidthFor(int digits) const {
    return cellWidthFor(WithWidestDigits(QString(digits, u'0'), fontMetrics()));
}

int TargetListView::startWidth(int column) const {
    int width =
        std::max(FromTwips(kColumnTwips[column]), horizontalHeader()->sectionSizeHint(column));
    const QFontMetrics metrics = fontMetrics();
    switch (column) {
        case TargetListModel::SizeColumn:
            width = std::max(width, sizeWidthFor(kStartSizeDigits));
            break;
        case TargetListModel::ModifiedColumn: {
            QString time = kModifiedTimeFormat;
            for (QChar& c : time) {
                if (c.isLetter()) {
                    c = u'0';
                }
            }
            width = std::max(width, cellWidthFor(WithWidestDigits(time, metrics)));
            break;
        }
        case TargetListModel::VerdictColumn:
            for (const QString& verdict : AllVerdicts(kLargestFileCountLimit)) {
                width = std::max(width, cellWidthFor(WithWidestDigits(verdict, metrics)));
            }
            break;
        default:
            break;
    }
    return width;
}

void TargetListView::widenSizeColumn(int first, int last) {
    // Only the rows just added are looked at: a list of 100,000 rows is not measured again.
    int digits = sizeDigits_;
    for (int row = first; row <= last; ++row) {
        digits = std::max(
            digits, static_cast<int>(
                        model()->index(row, TargetListModel::SizeColumn).data().toString().size()));
    }
    if (digits == sizeDigits_) {
        return;
    }
    sizeDigits_ = digits;
    setColumnWidth(TargetListModel::SizeColumn,
                   std::max(columnWidth(TargetListModel::SizeColumn), sizeWidthFor(digits)));
}

bool TargetListView::isCut(const QModelIndex& index) const {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return itemDelegateForIndex(index)->sizeHint(option, index).width() > option.rect.width();
}

bool TargetListView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        // A tooltip of the model's own (a verdict's reason) is shown as the view shows it.
        if (index.isValid() && !index.data(Qt::ToolTipRole).isValid()) {
            if (isCut(index)) {
                QToolTip::showText(help->globalPos(), index.data().toString(), viewport(),
                                   visualRect(index));
            } else {
                QToolTip::hideText();
            }
            return true;
        }
    }
    return QTableView::viewportEvent(event);
}

}  // namespace varnelt
