#include "widgets/list_row_painter.h"

#include <QAbstractItemView>

#include <QPainter>
#include <QStyleOptionViewItem>

namespace tarn {

QSize list_row_size(const QStyleOptionViewItem& option)
{
    // As wide as the view shows, never wider: a row laid out for a maximized window must not
    // push the last column behind a scroll bar once the window is restored.
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget))
        return QSize(view->viewport()->width(), list_row_height);
    return QSize(option.rect.width(), list_row_height);
}

void paint_list_row_ground(QPainter* painter, const QStyleOptionViewItem& option, int row)
{
    if (row % 2 == 0)
        painter->fillRect(option.rect, list_even_row_colour);
    if (option.state & QStyle::State_Selected)
        painter->fillRect(option.rect, list_selected_row_colour);
}

void paint_list_header_ground(QPainter* painter, const QRect& row)
{
    painter->fillRect(row, list_header_colour);
}

void paint_list_separators(QPainter* painter, const QRect& row, std::initializer_list<double> fractions, int top)
{
    painter->save();
    painter->setPen(QPen(list_separator_colour, 1));
    for (const double fraction : fractions) {
        const int x = row.left() + static_cast<int>(fraction * row.width());
        painter->drawLine(x, top, x, row.bottom());
    }
    painter->restore();
}

void paint_list_text(QPainter* painter, const QRect& row, double x, const QString& text)
{
    const Qt::LayoutDirection window = painter->layoutDirection();
    painter->setLayoutDirection(text_direction(text));
    painter->drawText(QPointF(row.left() + x, row.top() + list_text_baseline), text);
    painter->setLayoutDirection(window);
}

Qt::LayoutDirection text_direction(const QString& text)
{
    return text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
}

} // namespace tarn
