#pragma once
// A painted button placed from the window's right edge leftwards (close, maximize, minimize,
// settings), so it stays in the corner whatever the window's width.

#include "ui/button.h"

namespace tarn {

template <class W>
class system_button_c : public button_c<W> {
public:
    bool hitTest(const QPoint& point, const QRect& window_rect) const override
    {
        return this->hits(point, window_rect, !this->mirrored());
    }

    void draw(QPainter& painter, const QRect& window_rect) const override
    {
        this->paint(painter, window_rect, !this->mirrored());
    }
};

} // namespace tarn
