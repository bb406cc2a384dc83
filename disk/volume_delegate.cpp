#include "disk/volume_delegate.h"

#include "common/format_size.h"
#include "disk/volume_item.h"
#include "settings/language.h"
#include "widgets/list_row_painter.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace tarn {

namespace {

const QColor bar_outline_colour{139, 184, 241};

// Width of the fill bar in a row of width w.
int bar_width(int w)
{
    return static_cast<int>(0.53 * w - 170);
}

float free_share(const volume_item_s& volume)
{
    // Free space above the total (a racy size query) must not paint beyond the outline.
    return std::clamp(static_cast<float>(volume.free_bytes) / static_cast<float>(volume.total_bytes), 0.0f, 1.0f);
}

} // namespace

QString volume_delegate_c::display_name(const volume_item_s& volume)
{
    QString path = volume.mount_path;
    if (path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    const QString name = volume.label.isEmpty() ? language_text("local_disk") : volume.label;
    return name + QStringLiteral(" (") + path + QLatin1Char(')');
}

int volume_delegate_c::used_width(const volume_item_s& volume, int u)
{
    if (volume.total_bytes == 0 || !volume.free_known)
        return 0;
    return std::max(0, static_cast<int>((1.0f - free_share(volume)) * static_cast<float>(u) - 2.0f));
}

bool volume_delegate_c::nearly_full(const volume_item_s& volume)
{
    return volume.total_bytes != 0 && volume.free_known && free_share(volume) <= 0.2f;
}

QSize volume_delegate_c::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return list_row_size(option);
}

bool volume_delegate_c::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                  const QModelIndex& index)
{
    const QVariant value = index.data();
    if (event == nullptr || event->type() != QEvent::ToolTip || !value.canConvert<volume_item_s>())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const auto volume = value.value<volume_item_s>();
    if (volume.mount_path.isEmpty())
        return false;
    QToolTip::showText(event->globalPos(), display_name(volume), view);
    return true;
}

void volume_delegate_c::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QVariant value = index.data();
    if (!value.canConvert<volume_item_s>()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const volume_item_s volume = value.value<volume_item_s>();
    painter->save();
    paint_list_row_ground(painter, option, index.row());
    if (volume.mount_path.isEmpty())
        paint_header(painter, option.rect);
    else
        paint_volume(painter, option.rect, volume);
    painter->restore();
}

void volume_delegate_c::paint_header(QPainter* painter, const QRect& row) const
{
    const double w = row.width();
    paint_list_header_ground(painter, row);
    paint_list_separators(painter, row, {0.32, 0.85}, 0);
    painter->setFont(QFont(QStringLiteral("Arial"), 10));
    painter->setPen(Qt::black);
    paint_list_text(painter, row, 60, language_text("volume_logical_drives"));
    paint_list_text(painter, row, 0.32 * w + 165, language_text("drive_size"));
    paint_list_text(painter, row, 0.85 * w + 15, language_text("partition_fs"));
}

void volume_delegate_c::paint_volume(QPainter* painter, const QRect& row, const volume_item_s& volume) const
{
    const int w = row.width();
    const int y = row.top();
    const int bar_left = row.left() + static_cast<int>(0.32 * w) + 10;
    const int u = bar_width(w);
    paint_list_separators(painter, row, {0.32, 0.85}, y);
    painter->drawPixmap(row.left() + 20, y + 5, QPixmap(QStringLiteral(":/images/partition_search/drives.png")));
    painter->setFont(QFont(QStringLiteral("Arial"), 8));
    painter->setPen(Qt::black);
    // A long mount path (an image file's, say) is shortened in its middle rather than running
    // under the fill bar.
    const int name_width = static_cast<int>(0.32 * w) - 45 - 5;
    paint_list_text(painter, row, 45, painter->fontMetrics().elidedText(display_name(volume), Qt::ElideMiddle, name_width));
    paint_list_text(painter, row, 0.85 * w + 20, volume.fs_name);
    // Free space that could not be counted is not shown as zero: the size alone, and no bar.
    if (!volume.free_known) {
        paint_list_text(painter, row, 0.32 * w + 20, format_size(volume.total_bytes));
        return;
    }
    paint_list_text(painter, row, 0.32 * w + u + 20,
                    format_size(volume.free_bytes) + language_text("recovery_free") + format_size(volume.total_bytes));
    if (u <= 0)
        return;
    painter->setPen(bar_outline_colour);
    painter->drawRect(bar_left, y + 5, u, 20);
    const int used = used_width(volume, u);
    if (used <= 0)
        return;
    const QPixmap red(QStringLiteral(":/images/partition_search/red.png"));
    QBrush fill(nearly_full(volume) ? red : QPixmap(QStringLiteral(":/images/partition_search/green.png")));
    painter->setBrushOrigin(0, y + 6);
    painter->fillRect(QRect(bar_left + 1, y + 6, used, red.height() + 1), fill);
}

} // namespace tarn
