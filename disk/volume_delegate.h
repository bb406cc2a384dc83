#pragma once
// Paints the rows of the volume list: the header row with its captions, and for each volume its
// icon, name, a bar filled to the used share (red when little is free), free and total space
// and file system.

#include <QStyledItemDelegate>

namespace tarn {

struct volume_item_s;

class volume_delegate_c : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // A name shortened to fit its column shows whole in a tooltip.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    // The name shown for a volume: its label, or the "local_disk" text without one, then the
    // mount path without a trailing backslash in parentheses.
    static QString display_name(const volume_item_s& volume);
    // The fill bar's filled width inside a bar of width u: the used share, 2 pixels short of
    // the outline; 0 for a volume of unknown size.
    static int used_width(const volume_item_s& volume, int u);
    // True when the bar is drawn red: at most a fifth of the volume is free.
    static bool nearly_full(const volume_item_s& volume);

private:
    void paint_header(QPainter* painter, const QRect& row) const;
    void paint_volume(QPainter* painter, const QRect& row, const volume_item_s& volume) const;
};

} // namespace tarn
