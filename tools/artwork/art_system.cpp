// The painted system buttons of the title band, 30 × 21 each: white glyphs on the blue band,
// a soft light backing on hover and a stronger one when pressed; close turns red.

#include "tools/artwork/art_icons.h"
#include "tools/artwork/art_pieces.h"

#include <QPainter>

namespace tarn::art {

namespace {

constexpr int button_w = 30;
constexpr int button_h = 21;

using glyph = void (*)(QPainter&, const QPen&);

QColor backing(state s, bool danger)
{
    if (s == state::normal)
        return Qt::transparent;
    if (danger)
        return s == state::hover ? QColor(226, 72, 58) : QColor(176, 44, 34);
    return s == state::hover ? QColor(255, 255, 255, 56) : QColor(0, 40, 90, 70);
}

QImage system_button(state s, bool danger, const glyph& draw)
{
    QImage image = new_image(button_w, button_h);
    QPainter p(&image);
    prepare(p);
    p.setPen(Qt::NoPen);
    p.setBrush(backing(s, danger));
    p.drawRoundedRect(QRectF(1.5, 1.5, button_w - 3, button_h - 3), 3, 3);
    const double shift = s == state::pressed ? 0.5 : 0.0;
    p.translate(shift, shift);
    QPen pen(QColor(255, 255, 255, s == state::normal ? 225 : 255), 1.6, Qt::SolidLine, Qt::SquareCap,
             Qt::MiterJoin);
    draw(p, pen);
    return image;
}

void close_glyph(QPainter& p, const QPen& pen)
{
    p.setPen(pen);
    p.drawLine(QPointF(11, 6.5), QPointF(19, 14.5));
    p.drawLine(QPointF(19, 6.5), QPointF(11, 14.5));
}

void maximize_glyph(QPainter& p, const QPen& pen)
{
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(10.5, 6.5, 9, 8));
    p.drawLine(QPointF(10.5, 7.5), QPointF(19.5, 7.5));
}

void restore_glyph(QPainter& p, const QPen& pen)
{
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(9.5, 8.5, 8, 7));
    p.drawPolyline(QPolygonF({QPointF(12.5, 8.5), QPointF(12.5, 5.5), QPointF(20.5, 5.5), QPointF(20.5, 12.5),
                              QPointF(17.5, 12.5)}));
}

void minimize_glyph(QPainter& p, const QPen& pen)
{
    p.setPen(pen);
    p.drawLine(QPointF(10.5, 14.5), QPointF(19.5, 14.5));
}

void settings_glyph(QPainter& p, const QPen& pen)
{
    draw_gear(p, QRectF(9.5, 4.5, 11, 11), pen.color());
}

struct button_kind {
    const char* name;
    bool danger;
    void (*draw)(QPainter&, const QPen&);
};

constexpr button_kind kinds[] = {
    {"quiButton", true, close_glyph},       {"maxButton", false, maximize_glyph},
    {"resumeButton", false, restore_glyph}, {"minButton", false, minimize_glyph},
    {"settingButton", false, settings_glyph},
};

} // namespace

int make_system_buttons(art_output& out)
{
    int result = 0;
    for (const auto& kind : kinds) {
        for (const state s : all_states) {
            const QString name = QStringLiteral("system/%1%2.png").arg(QLatin1String(kind.name)).arg(int(s));
            result |= out.save(name, system_button(s, kind.danger, kind.draw));
        }
    }
    return result;
}

} // namespace tarn::art
