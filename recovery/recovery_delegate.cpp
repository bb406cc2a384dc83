#include "recovery/recovery_delegate.h"

#include "common/visible_text.h"

#include "common/format_size.h"
#include "recovery/recovery_model.h"
#include "settings/language.h"
#include "scan/recovery_item.h"
#include "widgets/list_row_painter.h"

#include <QPainter>

#include <ctime>

namespace tarn {

recovery_delegate_c::recovery_delegate_c(QObject* parent)
    : QStyledItemDelegate(parent),
      unchecked_(QStringLiteral(":/images/partition_search/check1.png")),
      checked_(QStringLiteral(":/images/partition_search/check2.png"))
{
}

QString local_date_text(std::int64_t seconds)
{
    const std::time_t stamp = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&stamp, &local) == nullptr)
        return {};
    char buffer[32];
    const std::size_t length = std::strftime(buffer, sizeof buffer, "%Y-%m-%d", &local);
    return QString::fromLatin1(buffer, static_cast<qsizetype>(length));
}

void recovery_delegate_c::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QVariant value = index.data();
    if (value.metaType() != QMetaType::fromType<recovery_item_s>()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const auto item = value.value<recovery_item_s>();
    const QRect cell = option.rect;
    painter->save();
    if (index.row() % 2 == 0)
        painter->fillRect(cell, QColor(241, 250, 255));
    if (option.state & QStyle::State_Selected)
        painter->fillRect(cell, QColor(81, 149, 206));
    painter->setFont(QFont(QStringLiteral("Segoe UI Symbol"), 8));
    const QRect text_rect = cell.adjusted(10, 0, 0, 0);
    const int flags = Qt::AlignVCenter | Qt::AlignJustify;
    switch (index.column()) {
    case column_check: {
        const QPixmap& box = item.checked ? checked_ : unchecked_;
        painter->drawPixmap(QRect(cell.left() + 10, cell.top() + 10, box.width(), box.width()), box);
        break;
    }
    case column_name:
        painter->setLayoutDirection(text_direction(item.name));
        // The mark stays beside the name whatever its length: the name gives way.
        if (item.overwritten) {
            const QString mark = QStringLiteral("  [%1]").arg(language_text("recovery_overwritten"));
            const int mark_width = painter->fontMetrics().horizontalAdvance(mark);
            const QRect name_rect = text_rect.adjusted(0, 0, -mark_width, 0);
            painter->drawText(name_rect, flags,
                              painter->fontMetrics().elidedText(visible_text(item.name), Qt::ElideRight, name_rect.width()));
            painter->setPen(QColor(196, 43, 28));
            painter->drawText(text_rect.adjusted(text_rect.width() - mark_width, 0, 0, 0), flags, mark);
            break;
        }
        painter->drawText(text_rect, flags, visible_text(item.name));
        break;
    case column_size: painter->drawText(text_rect, flags, format_size(item.size)); break;
    case column_modified: painter->drawText(text_rect, flags, local_date_text(item.modified)); break;
    case column_created: painter->drawText(text_rect, flags, local_date_text(item.created)); break;
    default: break;
    }
    painter->restore();
}

} // namespace tarn
