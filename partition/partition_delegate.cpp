#include "partition/partition_delegate.h"

#include "common/format_size.h"
#include "common/visible_text.h"
#include "partition/partition_item.h"
#include "settings/language.h"
#include "widgets/list_row_painter.h"

#include <QPainter>

#include <array>

namespace tarn {

namespace {

// Where each column starts, as a share of the row's width.
constexpr std::array<double, 5> columns = {0.0, 0.2, 0.4, 0.6, 0.8};

} // namespace

void paint_partition_captions(QPainter& painter, const QRect& row)
{
    painter.save();
    paint_list_header_ground(&painter, row);
    paint_list_separators(&painter, row, {columns[1], columns[2], columns[3], columns[4]}, row.top());
    painter.setPen(Qt::black);
    painter.setFont(QFont(QStringLiteral("Verdana"), 9));
    const char* keys[] = {"partition_number", "partition_fs", "partition_ss", "partition_es", "drive_size"};
    for (std::size_t i = 0; i < columns.size(); ++i)
        paint_list_text(&painter, row, columns[i] * row.width() + 15, language_text(keys[i]));
    painter.restore();
}

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
    // The label beside the file system, as the disk keeps it (shown, never interpreted).
    const QString system = partition.label.isEmpty() ? partition.fs_name
                                                     : partition.fs_name + QStringLiteral(" \u201C") + visible_text(partition.label, false) + QStringLiteral("\u201D");
    const QString texts[] = {QString::asprintf("%d", index.row()), system, QString::number(partition.start_sector),
                             QString::number(partition.end_sector), format_size(partition.size_bytes())};
    for (std::size_t i = 0; i < columns.size(); ++i)
        paint_list_text(painter, row, columns[i] * w + 15, texts[i]);
    painter->restore();
}

QSize partition_delegate_c::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return list_row_size(option);
}

} // namespace tarn
