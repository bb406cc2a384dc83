#pragma once
// Paints the rows of the found-partition list: number, file system, first and last sector and
// size in five columns; and the row of their captions above the list.

#include <QStyledItemDelegate>

namespace tarn {

// The captions of the list's columns, in the language's texts, painted into row.
void paint_partition_captions(QPainter& painter, const QRect& row);

class partition_delegate_c : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace tarn
