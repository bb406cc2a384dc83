#pragma once
// A button painted by its window rather than a widget of its own: three images (normal, hover,
// pressed), a place on the window and the window's operation that a click runs.

#include <QPainter>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QString>

#include <array>

namespace tarn {

template <class W>
class button_c {
public:
    using action_t = void (W::*)();

    enum state_e { normal = 0, hover = 1, pressed = 2 };

    button_c() = default;
    button_c(const button_c&) = delete;
    button_c& operator=(const button_c&) = delete;
    virtual ~button_c() = default;

    virtual void setup(const std::array<QString, 3>& paths, const QRect& place, const QString& caption)
    {
        setImages(paths);
        rect_ = place;
        text_ = caption;
    }
    // True when point (window pixels) lies on the button in a window whose rectangle is
    // window_rect.
    virtual bool hitTest(const QPoint& point, const QRect& window_rect) const = 0;
    virtual void draw(QPainter& painter, const QRect& window_rect) const = 0;
    // An image that cannot be loaded stays null and draws nothing.
    virtual void setImages(const std::array<QString, 3>& paths)
    {
        for (std::size_t i = 0; i < images_.size(); ++i)
            images_[i] = QPixmap(paths[i]);
    }

    int state() const { return state_; }
    void setState(int new_state) { state_ = new_state; }
    action_t action() const { return action_; }
    void setAction(action_t new_action) { action_ = new_action; }
    const QRect& rect() const { return rect_; }
    const QString& text() const { return text_; }
    // A window laid out right to left mirrors its painted buttons: the tabs move to the right
    // edge and the system buttons to the left.
    bool mirrored() const { return mirrored_; }
    void setMirrored(bool on) { mirrored_ = on; }

    // Runs the button's operation on window, if it has one.
    void trigger(W& window) const
    {
        if (action_)
            (window.*action_)();
    }

protected:
    const QPixmap& image() const { return images_[static_cast<std::size_t>(state_)]; }

    // Hit test and drawing for a rectangle measured from the window's left edge, or, with
    // from_right, leftwards from its right edge.
    bool hits(const QPoint& point, const QRect& window_rect, bool from_right) const
    {
        const int x = from_right ? window_rect.right() - point.x() : point.x();
        return x >= rect_.left() && x <= rect_.right() && point.y() >= rect_.top() && point.y() <= rect_.bottom();
    }
    void paint(QPainter& painter, const QRect& window_rect, bool from_right) const
    {
        const int x = from_right ? window_rect.right() - rect_.right() : rect_.left();
        painter.drawPixmap(x, rect_.top(), image());
    }

private:
    std::array<QPixmap, 3> images_;
    int state_ = normal;
    QRect rect_;
    QString text_;
    action_t action_ = nullptr;
    bool mirrored_ = false;
};

} // namespace tarn
