#pragma once
// A painted button placed in window coordinates (the tab buttons of the title band).

#include "ui/button.h"

namespace tarn {

template <class W>
class top_button_c : public button_c<W> {
public:
    bool hitTest(const QPoint& point, const QRect& window_rect) const override
    {
        return this->hits(point, window_rect, this->mirrored());
    }

    void draw(QPainter& painter, const QRect& window_rect) const override
    {
        this->paint(painter, window_rect, this->mirrored());
    }
};

} // namespace tarn
