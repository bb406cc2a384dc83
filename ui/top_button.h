#pragma once
// A painted button placed in window coordinates (the tab buttons of the title band).

#include "ui/button.h"

#include <QPainter>
#include <QPoint>

namespace tarn {

template <class W>
class top_button_c : public button_c<W> {
public:
    bool hitTest(const QPoint& point, const QRect&) const override
    {
        const QRect& r = this->rect();
        return point.x() >= r.left() && point.x() <= r.right() && point.y() >= r.top() &&
               point.y() <= r.bottom();
    }

    void draw(QPainter& painter, const QRect&) const override
    {
        painter.drawPixmap(this->rect().topLeft(), this->image());
    }
};

} // namespace tarn
