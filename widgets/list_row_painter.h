#pragma once
// Row painting shared by the drive, volume and partition lists: 30-pixel rows, text on a
// baseline 20 pixels below the row's top, even rows tinted, the selected row in the selection
// colour, the header row in its own colour with column separator lines.

#include <QColor>
#include <QRect>
#include <QSize>

#include <initializer_list>

class QPainter;
class QString;
class QStyleOptionViewItem;

namespace tarn {

inline constexpr int list_row_height = 30;
inline constexpr int list_text_baseline = 20;
inline const QColor list_even_row_colour{241, 250, 255};
inline const QColor list_selected_row_colour{81, 149, 206};
inline const QColor list_header_colour{232, 246, 255};
inline const QColor list_separator_colour{211, 231, 255};

// The width of the view the row is shown in (the option rectangle's without one), one row high.
// Views that use it re-lay their rows out when resized (QListView::Adjust).
QSize list_row_size(const QStyleOptionViewItem& option);

// The row's ground: the tint on even rows, then the selection colour when the row is selected.
void paint_list_row_ground(QPainter* painter, const QStyleOptionViewItem& option, int row);

// The header row's ground.
void paint_list_header_ground(QPainter* painter, const QRect& row);

// One-pixel vertical lines at the given fractions of the row's width, from y = top (the view's
// top for a header row, so that the columns read as ruled) down to the row's bottom.
void paint_list_separators(QPainter* painter, const QRect& row, std::initializer_list<double> fractions, int top);

// Text whose left end lies x pixels right of the row's left edge, on the row's baseline.
void paint_list_text(QPainter* painter, const QRect& row, double x, const QString& text);
// The direction a text reads in by its first strong character: a file name or path keeps its
// own order in a right-to-left window ("#otes.txt" does not become "otes.txt#").
Qt::LayoutDirection text_direction(const QString& text);

} // namespace tarn
