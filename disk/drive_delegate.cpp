#include "disk/drive_delegate.h"

#include "common/format_size.h"
#include "disk/drive_item.h"
#include "settings/language.h"
#include "widgets/list_row_painter.h"

#include <QPainter>

namespace tarn {

namespace {

constexpr double size_column = 0.5;
constexpr double number_column = 0.85;

} // namespace

void drive_delegate_c::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QVariant value = index.data();
    if (value.metaType() != QMetaType::fromType<drive_item_s>()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const auto drive = value.value<drive_item_s>();
    const QRect& row = option.rect;
    const double w = row.width();
    painter->save();
    paint_list_row_ground(painter, option, index.row());
    painter->setPen(Qt::black);
    if (!drive.geometry) {
        paint_list_header_ground(painter, row);
        // The lines start at the view's top so that the columns stay ruled when it scrolls.
        paint_list_separators(painter, row, {size_column, number_column}, 0);
        painter->setFont(QFont(QStringLiteral("Verdana"), 10));
        paint_list_text(painter, row, 60, language_text("drive_physical_drives"));
        paint_list_text(painter, row, size_column * w + 70, tr("Size"));
        paint_list_text(painter, row, number_column * w + 15, tr("Number"));
    } else {
        painter->setFont(QFont(QStringLiteral("Verdana"), 8));
        paint_list_text(painter, row, 60, drive.path);
        paint_list_text(painter, row, size_column * w + 70, format_size(drive.size));
        paint_list_text(painter, row, number_column * w + 15, QString::asprintf("%d", index.row()));
    }
    painter->restore();
}

QSize drive_delegate_c::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return list_row_size(option);
}

} // namespace tarn
