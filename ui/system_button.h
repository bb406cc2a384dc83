#pragma once
// A painted button placed from the window's right edge leftwards (close, maximize, minimize,
// settings), so it stays in the corner whatever the window's width.

#include "ui/button.h"

#include <QPainter>
#include <QPoint>

namespace tarn {

template <class W>
class system_button_c : public button_c<W> {
public:
    bool hitTest(const QPoint& point, const QRect& window_rect) const override
    {
        const QRect& r = this->rect();
        const int x = window_rect.right() - point.x();
        return x >= r.left() && x <= r.right() && point.y() >= r.top() && point.y() <= r.bottom();
    }

    void draw(QPainter& painter, const QRect& window_rect) const override
    {
        painter.drawPixmap(window_rect.right() - this->rect().right(), this->rect().top(), this->image());
    }
};

} // namespace tarn
