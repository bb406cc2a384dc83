#pragma once
// Paints the rows of the drive list: the header row with its column captions and lines, then
// one row per disk with its name, size and number.

#include <QStyledItemDelegate>

namespace tarn {

class drive_delegate_c : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace tarn
