#pragma once
// Moves the frameless skinned window by its title band and resizes it from its edges and
// corners. It watches the window's mouse events and lets the window judge each press first, so
// that a press on a painted button or below the title band never drags the window.

#include <QObject>
#include <QPoint>
#include <QRect>

class QMouseEvent;

namespace tarn {

class QSkinWidget;

class QSkinWidgetResizeHandler : public QObject {
    Q_OBJECT
public:
    // Width in pixels of the band along the window's edges that resizes it.
    static constexpr int border = 4;

    explicit QSkinWidgetResizeHandler(QSkinWidget* window);

    // Whether the press being handled may move the window; the window decides on each press.
    void setMoveActive(bool active) { move_active_ = active; }
    bool isMoveActive() const { return move_active_; }
    // Which edges a point (window pixels) would resize; none away from the edges.
    Qt::Edges edgesAt(const QPoint& point) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class drag_e { none, pending_move, moving, resizing };

    void press(QMouseEvent* event);
    void move(QMouseEvent* event);
    void release(QMouseEvent* event);
    void dragTo(const QPoint& global);
    void showEdgeCursor(const QPoint& point);

    QSkinWidget* window_;
    bool move_active_ = false;
    drag_e drag_ = drag_e::none;
    Qt::Edges edges_;
    QPoint press_global_;
    QRect press_geometry_;
    bool edge_cursor_ = false;
};

} // namespace tarn
