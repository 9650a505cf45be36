// The target list: one row per registered file, in registration order until sorted. QtCore
// only, so the check run and the log work on it without a window.
#pragma once

#include <QAbstractTableModel>

#include <vector>

#include "targets/target_row.h"

namespace varnelt {

class TargetListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        NameColumn,
        FolderColumn,
        SizeColumn,
        ModifiedColumn,
        VerdictColumn,
        ColumnCount
    };

    explicit TargetListModel(QObject* parent = nullptr);

    // A column's header in the language in use; the log's header record has the same.
    static QString columnTitle(Column column);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const TargetRow& row(int index) const { return rows_[static_cast<size_t>(index)]; }
    int size() const { return static_cast<int>(rows_.size()); }

    void append(std::vector<TargetRow>&& rows);
    void clear();
    void setVerdict(int index, const QString& verdict, const QString& note = {});
    const std::vector<TargetRow>& rows() const { return rows_; }
    // Removes the given rows (any order, duplicates allowed).
    void removeRowSet(std::vector<int> indexes);
    // Text order for every column but the size, which sorts by number.
    void sortBy(int column, Qt::SortOrder order);

private:
    std::vector<TargetRow> rows_;
};

}  // namespace varnelt
