#include "tools/artwork/art_icons.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace tarn::art {

namespace {

QPen round_pen(const QColor& colour, double stroke)
{
    return QPen(colour, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QPointF on_circle(const QPointF& centre, double radius, double degrees)
{
    const double a = degrees * std::numbers::pi / 180.0;
    return {centre.x() + radius * std::cos(a), centre.y() - radius * std::sin(a)};
}

} // namespace

void draw_magnifier(QPainter& p, const QRectF& b, const QColor& colour, double stroke)
{
    const double r = b.width() * 0.3;
    const QPointF centre(b.left() + b.width() * 0.4, b.top() + b.height() * 0.4);
    p.save();
    p.setPen(round_pen(colour, stroke));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, r, r);
    p.setPen(round_pen(colour, stroke * 1.6));
    p.drawLine(on_circle(centre, r + stroke * 0.6, -45), QPointF(b.right() - stroke, b.bottom() - stroke));
    p.restore();
}

void draw_hard_disk(QPainter& p, const QRectF& b, const QColor& body, const QColor& detail)
{
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    const double radius = b.height() * 0.18;
    p.drawRoundedRect(b, radius, radius);
    p.setBrush(detail);
    const double h = b.height();
    const QRectF slot(b.left() + h * 0.22, b.center().y() - h * 0.07, b.width() * 0.5, h * 0.14);
    p.drawRoundedRect(slot, h * 0.07, h * 0.07);
    p.drawEllipse(QPointF(b.right() - h * 0.3, b.center().y()), h * 0.1, h * 0.1);
    p.restore();
}

void draw_platter(QPainter& p, const QRectF& b, const QColor& colour, double stroke)
{
    p.save();
    p.setPen(round_pen(colour, stroke));
    p.setBrush(Qt::NoBrush);
    const QPointF c = b.center();
    const double r = b.width() / 2 - stroke / 2;
    p.drawEllipse(c, r, r);
    p.setBrush(colour);
    p.drawEllipse(c, r * 0.2, r * 0.2);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - r * 0.62, c.y() - r * 0.62, r * 1.24, r * 1.24), 100 * 16, 70 * 16);
    p.restore();
}

void draw_folder(QPainter& p, const QRectF& b, const QColor& back, const QColor& front)
{
    p.save();
    p.setPen(Qt::NoPen);
    const double w = b.width();
    const double h = b.height();
    QPainterPath tab;
    tab.moveTo(b.left(), b.top() + h * 0.12);
    tab.lineTo(b.left() + w * 0.38, b.top() + h * 0.12);
    tab.lineTo(b.left() + w * 0.48, b.top() + h * 0.26);
    tab.lineTo(b.right(), b.top() + h * 0.26);
    tab.lineTo(b.right(), b.bottom());
    tab.lineTo(b.left(), b.bottom());
    tab.closeSubpath();
    p.setBrush(back);
    p.drawPath(tab);
    p.setBrush(front);
    p.drawRoundedRect(QRectF(b.left(), b.top() + h * 0.36, w, h * 0.64), w * 0.06, w * 0.06);
    p.restore();
}

void draw_document(QPainter& p, const QRectF& b, const QColor& colour, double stroke)
{
    p.save();
    p.setPen(round_pen(colour, stroke));
    p.setBrush(Qt::NoBrush);
    const double fold = b.width() * 0.3;
    QPainterPath page;
    page.moveTo(b.left(), b.top());
    page.lineTo(b.right() - fold, b.top());
    page.lineTo(b.right(), b.top() + fold);
    page.lineTo(b.right(), b.bottom());
    page.lineTo(b.left(), b.bottom());
    page.closeSubpath();
    p.drawPath(page);
    p.drawPolyline(QPolygonF({QPointF(b.right() - fold, b.top()), QPointF(b.right() - fold, b.top() + fold),
                              QPointF(b.right(), b.top() + fold)}));
    for (int i = 0; i < 3; ++i) {
        const double y = b.top() + b.height() * (0.45 + 0.17 * i);
        p.drawLine(QPointF(b.left() + b.width() * 0.2, y), QPointF(b.right() - b.width() * 0.2, y));
    }
    p.restore();
}

void draw_partitions(QPainter& p, const QRectF& b, const QColor& colour, double stroke)
{
    p.save();
    const QPointF c = b.center();
    const double r = b.width() / 2 - stroke / 2;
    p.setPen(round_pen(colour, stroke));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    // One slice pulled out: the partition that was lost and is found again.
    p.setBrush(colour);
    p.setPen(Qt::NoPen);
    QPainterPath slice;
    const QPointF shifted = c + QPointF(r * 0.16, -r * 0.16);
    slice.moveTo(shifted);
    slice.arcTo(QRectF(shifted.x() - r, shifted.y() - r, 2 * r, 2 * r), 0, 90);
    slice.closeSubpath();
    p.drawPath(slice);
    p.setPen(round_pen(colour, stroke));
    p.drawLine(c, on_circle(c, r, 200));
    p.drawLine(c, on_circle(c, r, 310));
    p.restore();
}

void draw_deep_scan(QPainter& p, const QRectF& b, const QColor& colour, double stroke)
{
    p.save();
    p.setPen(round_pen(colour, stroke));
    p.setBrush(Qt::NoBrush);
    // Stacked layers, the lowest one searched by the magnifier.
    const double w = b.width();
    const double h = b.height();
    for (int i = 0; i < 3; ++i) {
        const double y = b.top() + h * (0.18 + 0.2 * i);
        QPolygonF layer({QPointF(b.left() + w * 0.06, y + h * 0.1), QPointF(b.left() + w * 0.4, y),
                         QPointF(b.left() + w * 0.74, y + h * 0.1), QPointF(b.left() + w * 0.4, y + h * 0.2)});
        p.drawPolygon(layer);
    }
    draw_magnifier(p, QRectF(b.left() + w * 0.48, b.top() + h * 0.5, w * 0.5, h * 0.5), colour, stroke);
    p.restore();
}

void draw_recover_arrow(QPainter& p, const QRectF& b, const QColor& colour, double stroke)
{
    p.save();
    const QPointF c = b.center();
    const double r = b.width() / 2 - stroke;
    p.setPen(round_pen(colour, stroke));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 120 * 16, 280 * 16);
    const QPointF tip = on_circle(c, r, 120);
    const double head = stroke * 2.2;
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    QPolygonF arrow({tip + QPointF(-head, -head * 0.3), tip + QPointF(head * 0.9, -head * 0.9),
                     tip + QPointF(head * 0.2, head * 1.2)});
    p.drawPolygon(arrow);
    p.restore();
}

void draw_gear(QPainter& p, const QRectF& b, const QColor& colour)
{
    p.save();
    const QPointF c = b.center();
    const double outer = b.width() / 2;
    const double inner = outer * 0.72;
    QPainterPath gear;
    constexpr int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const double r = (i % 2 == 0) ? outer : inner;
        const double start = i * 180.0 / teeth - 180.0 / teeth / 2;
        const QPointF a = on_circle(c, r, start + 4);
        const QPointF e = on_circle(c, r, start + 180.0 / teeth - 4);
        if (i == 0)
            gear.moveTo(a);
        else
            gear.lineTo(a);
        gear.lineTo(e);
    }
    gear.closeSubpath();
    gear.addEllipse(c, outer * 0.32, outer * 0.32);
    gear.setFillRule(Qt::OddEvenFill);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(gear);
    p.restore();
}

void draw_check_mark(QPainter& p, const QRectF& b, const QColor& colour, double stroke)
{
    p.save();
    p.setPen(round_pen(colour, stroke));
    p.drawPolyline(QPolygonF({QPointF(b.left() + b.width() * 0.18, b.top() + b.height() * 0.52),
                              QPointF(b.left() + b.width() * 0.42, b.top() + b.height() * 0.76),
                              QPointF(b.left() + b.width() * 0.84, b.top() + b.height() * 0.26)}));
    p.restore();
}

void draw_bulb(QPainter& p, const QRectF& b, const QColor& colour, double stroke)
{
    p.save();
    p.setPen(round_pen(colour, stroke));
    p.setBrush(Qt::NoBrush);
    const double w = b.width();
    const double h = b.height();
    const QPointF c(b.center().x(), b.top() + h * 0.36);
    const double r = w * 0.32;
    p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), -40 * 16, 260 * 16);
    const QPointF left = on_circle(c, r, 220);
    const QPointF right = on_circle(c, r, -40);
    p.drawLine(left, QPointF(left.x() + w * 0.04, b.top() + h * 0.74));
    p.drawLine(right, QPointF(right.x() - w * 0.04, b.top() + h * 0.74));
    p.drawLine(QPointF(c.x() - w * 0.16, b.top() + h * 0.8), QPointF(c.x() + w * 0.16, b.top() + h * 0.8));
    p.drawLine(QPointF(c.x() - w * 0.1, b.top() + h * 0.92), QPointF(c.x() + w * 0.1, b.top() + h * 0.92));
    p.restore();
}

void draw_emblem(QPainter& p, const QRectF& b, const QColor& colour, double stroke)
{
    draw_recover_arrow(p, b, colour, stroke);
    const double inset = b.width() * 0.3;
    draw_platter(p, b.adjusted(inset, inset, -inset, -inset), colour, stroke * 0.8);
}

} // namespace tarn::art
