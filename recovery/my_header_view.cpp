#include "recovery/my_header_view.h"

#include "recovery/recovery_model.h"
#include "settings/language.h"

#include <QMouseEvent>
#include <QPainter>

namespace tarn {

namespace {

// Which heading a click at x lands on: column_check for the check-all box, 1 to 4 for a sort
// heading, -1 on a boundary between two headings or beyond the last.
int heading_at(int x, const int (&widths)[column_count])
{
    if (x <= widths[0])
        return column_check;
    int left = widths[0];
    for (int column = column_name; column < column_count; ++column) {
        const int right = left + widths[column];
        // The first heading begins right after the box; the others begin past the boundary.
        if ((column == column_name || x > left) && x < right)
            return column;
        left = right;
    }
    return -1;
}

const char* heading_key(int section)
{
    switch (section) {
    case column_name: return "recovery_name";
    case column_size: return "drive_size";
    case column_modified: return "recovery_date1";
    case column_created: return "recovery_date2";
    default: return nullptr;
    }
}

} // namespace

MyHeaderView::MyHeaderView(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent),
      unchecked_(QStringLiteral(":/images/partition_search/check1.png")),
      checked_(QStringLiteral(":/images/partition_search/check2.png"))
{
    // The check-box column is 33 pixels wide, below the style's usual minimum.
    setMinimumSectionSize(20);
}

void MyHeaderView::set_check_all_state(bool state)
{
    check_all_ = state;
    viewport()->update();
}

QSize MyHeaderView::sizeHint() const
{
    QSize size = QHeaderView::sizeHint();
    size.setHeight(24);
    return size;
}

void MyHeaderView::mousePressEvent(QMouseEvent* event)
{
    int widths[column_count];
    for (int section = 0; section < column_count; ++section)
        widths[section] = sectionSize(section);
    // Positions count from the first section, also when the table is scrolled sideways.
    const int x = static_cast<int>(event->position().x()) + offset();
    const int heading = heading_at(x, widths);
    if (heading == column_check) {
        check_all_ = !check_all_;
        emit check_all(check_all_);
    } else if (heading > 0) {
        emit sort_column(heading);
    }
    viewport()->update();
    QHeaderView::mousePressEvent(event);
}

void MyHeaderView::paintSection(QPainter* painter, const QRect& rect, int logical_index) const
{
    painter->save();
    painter->fillRect(rect, QColor(232, 246, 255));
    painter->setPen(QPen(QColor(211, 231, 255), 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter->drawLine(rect.left() - 1, rect.top(), rect.left() - 1, rect.bottom());
    painter->drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
    painter->setFont(QFont(QStringLiteral("Arial"), 8));
    painter->setPen(Qt::black);
    if (logical_index == column_check) {
        const QPixmap& box = check_all_ ? checked_ : unchecked_;
        painter->drawPixmap(QRect(rect.left() + 10, rect.top() + 5, box.width(), box.width()), box);
    } else if (const char* key = heading_key(logical_index)) {
        const int indent = logical_index <= column_size ? 15 : 10;
        painter->drawText(QPoint(rect.left() + indent, rect.top() + 14), language_text(key));
    }
    painter->restore();
}

} // namespace tarn
