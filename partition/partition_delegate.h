#pragma once
// Paints the rows of the found-partition list: number, file system, first and last sector and
// size in five columns.

#include <QStyledItemDelegate>

namespace tarn {

class partition_delegate_c : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace tarn
