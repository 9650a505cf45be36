#include "targets/target_list_model.h"

#include <algorithm>

namespace varnelt {

TargetListModel::TargetListModel(QObject* parent) : QAbstractTableModel(parent) {}

QString TargetListModel::columnTitle(Column column) {
    static const char* const kTitles[ColumnCount] = {
        QT_TR_NOOP("ファイル名"), QT_TR_NOOP("フォルダ名"), QT_TR_NOOP("サイズ"),
        QT_TR_NOOP("更新日時"), QT_TR_NOOP("検査結果")};
    return tr(kTitles[column]);
}

int TargetListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : size();
}

int TargetListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TargetListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= size()) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        return index.column() == SizeColumn ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                            : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
    const TargetRow& target = row(index.row());
    if (role == Qt::ToolTipRole) {
        // A verdict's note: why a library did not finish its test.
        if (index.column() == VerdictColumn && !target.verdictNote.isEmpty()) {
            return target.verdict + u'\n' + target.verdictNote;
        }
        return {};
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
        case NameColumn:
            return target.name;
        case FolderColumn:
            return target.folder;
        case SizeColumn:
            return target.sizeText();
        case ModifiedColumn:
            return target.modified;
        case VerdictColumn:
            return target.verdict;
        default:
            return {};
    }
}

QVariant TargetListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return columnTitle(static_cast<Column>(section));
    }
    if (role == Qt::TextAlignmentRole) {
        return section == SizeColumn ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                     : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

void TargetListModel::append(std::vector<TargetRow>&& rows) {
    if (rows.empty()) {
        return;
    }
    beginInsertRows({}, size(), size() + static_cast<int>(rows.size()) - 1);
    rows_.insert(rows_.end(), std::make_move_iterator(rows.begin()),
                 std::make_move_iterator(rows.end()));
    endInsertRows();
    rows.clear();
}

void TargetListModel::clear() {
    beginResetModel();
    rows_.clear();
    rows_.shrink_to_fit();
    endResetModel();
}

void TargetListModel::setVerdict(int index, const QString& verdict, const QString& note) {
    TargetRow& target = rows_[static_cast<size_t>(index)];
    target.verdict = verdict;
    target.verdictNote = note;
    const QModelIndex cell = this->index(index, VerdictColumn);
    emit dataChanged(cell, cell, {Qt::DisplayRole, Qt::ToolTipRole});
}

void TargetListModel::removeRowSet(std::vector<int> indexes) {
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    if (indexes.empty()) {
        return;
    }
    // One pass that keeps what is not removed: scattered removals stay linear.
    beginResetModel();
    size_t next = 0;
    size_t kept = 0;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (next < indexes.size() && static_cast<size_t>(indexes[next]) == i) {
            ++next;
            continue;
        }
        if (kept != i) {
            rows_[kept] = std::move(rows_[i]);
        }
        ++kept;
    }
    rows_.resize(kept);
    endResetModel();
}

void TargetListModel::sortBy(int column, Qt::SortOrder order) {
    const auto key = [column](const TargetRow& row) -> const QString& {
        switch (column) {
            case FolderColumn:
                return row.folder;
            case ModifiedColumn:
                return row.modified;
            case VerdictColumn:
                return row.verdict;
            default:
                return row.name;
        }
    };
    const auto less = [&](const TargetRow& a, const TargetRow& b) {
        if (column == SizeColumn) {
            return a.size < b.size;
        }
        return QString::compare(key(a), key(b), Qt::CaseInsensitive) < 0;
    };
    emit layoutAboutToBeChanged();
    if (order == Qt::AscendingOrder) {
        std::stable_sort(rows_.begin(), rows_.end(), less);
    } else {
        std::stable_sort(rows_.begin(), rows_.end(),
                         [&](const TargetRow& a, const TargetRow& b) { return less(b, a); });
    }
    emit layoutChanged();
}

}  // namespace varnelt
