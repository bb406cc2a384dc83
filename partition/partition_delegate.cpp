#include "partition/partition_delegate.h"

#include "common/format_size.h"
#include "partition/partition_item.h"
#include "widgets/list_row_painter.h"

#include <QPainter>

namespace tarn {

void partition_delegate_c::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QVariant value = index.data();
    if (value.metaType() != QMetaType::fromType<partition_item_s>()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const auto partition = value.value<partition_item_s>();
    const QRect& row = option.rect;
    const double w = row.width();
    painter->save();
    paint_list_row_ground(painter, option, index.row());
    painter->setPen(Qt::black);
    painter->setFont(QFont(QStringLiteral("Verdana"), 8));
    paint_list_text(painter, row, 15, QString::asprintf("%d", index.row()));
    paint_list_text(painter, row, 0.2 * w + 15, partition.fs_name);
    paint_list_text(painter, row, 0.4 * w + 15, QString::number(partition.start_sector));
    paint_list_text(painter, row, 0.6 * w + 15, QString::number(partition.end_sector));
    paint_list_text(painter, row, 0.8 * w + 15, format_size(partition.size_bytes()));
    painter->restore();
}

QSize partition_delegate_c::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return list_row_size(option);
}

} // namespace tarn
