// The target list as the window shows it: every column starts wide enough for its header and
// its longest fixed text, the size is never cut, the last column takes the spare width, and a
// cell whose text is cut shows it whole as its tooltip.
#pragma once

#include <QTableView>

namespace varnelt {

class TargetListView : public QTableView {
    Q_OBJECT
public:
    // The model has the target list's five columns.
    TargetListView(QAbstractItemModel* model, QWidget* parent);

    // The width at which a cell shows the text whole, in the list's font and style.
    int cellWidthFor(const QString& text) const;

protected:
    bool viewportEvent(QEvent* event) override;

private:
    int startWidth(int column) const;
    // The width at which sizes of this many digits show whole.
    int sizeWidthFor(int digits) const;
    void widenSizeColumn(int first, int last);
    bool isCut(const QModelIndex& index) const;

    int sizeDigits_;  // the size column holds sizes of this many digits whole
};

}  // namespace varnelt
