#include "ui/skin_widget_resize_handler.h"

#include "ui/skin_widget.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWindow>

namespace tarn {

QSkinWidgetResizeHandler::QSkinWidgetResizeHandler(QSkinWidget* window) : QObject(window), window_(window)
{
    window->installEventFilter(this);
}

Qt::Edges QSkinWidgetResizeHandler::edgesAt(const QPoint& point) const
{
    Qt::Edges edges;
    if (point.x() < border)
        edges |= Qt::LeftEdge;
    if (point.x() >= window_->width() - border)
        edges |= Qt::RightEdge;
    if (point.y() < border)
        edges |= Qt::TopEdge;
    if (point.y() >= window_->height() - border)
        edges |= Qt::BottomEdge;
    return edges;
}

bool QSkinWidgetResizeHandler::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window_)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        press(static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::MouseMove:
        move(static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::MouseButtonRelease:
        release(static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
        window_->update();
        return false;
    default:
        return false;
    }
}

void QSkinWidgetResizeHandler::press(QMouseEvent* event)
{
    window_->mousePressEvent(event);
    drag_ = drag_e::none;
    const QPoint point = event->position().toPoint();
    if (event->button() != Qt::LeftButton || window_->hitsButton(point))
        return;
    press_global_ = event->globalPosition().toPoint();
    press_geometry_ = window_->geometry();
    edges_ = edgesAt(point);
    if (edges_) {
        drag_ = drag_e::resizing;
        // Where the window system takes the resize over, it also ends it.
        if (QWindow* native = window_->windowHandle(); native && native->startSystemResize(edges_))
            drag_ = drag_e::none;
    } else if (move_active_) {
        // The move starts only once the pointer travels, so that a double-click still arrives.
        drag_ = drag_e::pending_move;
    }
}

void QSkinWidgetResizeHandler::move(QMouseEvent* event)
{
    window_->mouseMoveEvent(event);
    const QPoint global = event->globalPosition().toPoint();
    if (!(event->buttons() & Qt::LeftButton))
        drag_ = drag_e::none;
    if (drag_ == drag_e::none) {
        if (event->buttons() == Qt::NoButton)
            showEdgeCursor(event->position().toPoint());
        return;
    }
    if (drag_ == drag_e::pending_move) {
        if ((global - press_global_).manhattanLength() < QApplication::startDragDistance())
            return;
        QWindow* native = window_->windowHandle();
        if (native && native->startSystemMove()) {
            drag_ = drag_e::none;
            return;
        }
        drag_ = drag_e::moving;
    }
    dragTo(global);
}

void QSkinWidgetResizeHandler::release(QMouseEvent* event)
{
    drag_ = drag_e::none;
    window_->mouseReleaseEvent(event);
}

void QSkinWidgetResizeHandler::dragTo(const QPoint& global)
{
    const QPoint delta = global - press_global_;
    if (drag_ == drag_e::moving) {
        window_->move(press_geometry_.topLeft() + delta);
        return;
    }
    QRect g = press_geometry_;
    const QSize min = window_->minimumSize();
    if (edges_ & Qt::LeftEdge)
        g.setLeft(std::min(g.left() + delta.x(), g.right() + 1 - min.width()));
    if (edges_ & Qt::RightEdge)
        g.setRight(std::max(g.right() + delta.x(), g.left() + min.width() - 1));
    if (edges_ & Qt::TopEdge)
        g.setTop(std::min(g.top() + delta.y(), g.bottom() + 1 - min.height()));
    if (edges_ & Qt::BottomEdge)
        g.setBottom(std::max(g.bottom() + delta.y(), g.top() + min.height() - 1));
    window_->setGeometry(g);
}

void QSkinWidgetResizeHandler::showEdgeCursor(const QPoint& point)
{
    const Qt::Edges edges = window_->hitsButton(point) ? Qt::Edges() : edgesAt(point);
    Qt::CursorShape shape = Qt::ArrowCursor;
    if (edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge))
        shape = Qt::SizeFDiagCursor;
    else if (edges == (Qt::RightEdge | Qt::TopEdge) || edges == (Qt::LeftEdge | Qt::BottomEdge))
        shape = Qt::SizeBDiagCursor;
    else if (edges & (Qt::LeftEdge | Qt::RightEdge))
        shape = Qt::SizeHorCursor;
    else if (edges & (Qt::TopEdge | Qt::BottomEdge))
        shape = Qt::SizeVerCursor;
    if (edges) {
        window_->setCursor(shape);
        edge_cursor_ = true;
    } else if (edge_cursor_) {
        window_->unsetCursor();
        edge_cursor_ = false;
    }
}

} // namespace tarn
