// Images of the pages: page buttons, check boxes, list icons, fill textures, progress fill,
// the found-partition icon and the tree's folder icon.

#include "tools/artwork/art_icons.h"
#include "tools/artwork/art_pieces.h"

#include <QLinearGradient>
#include <QPainter>

namespace tarn::art {

namespace {

QImage light_button_image(int w, int h, double radius, state s)
{
    QImage image = new_image(w, h);
    QPainter p(&image);
    prepare(p);
    draw_light_button(p, QRectF(0.5, 0.5, w - 1, h - 1), radius, s);
    return image;
}

QImage check_box(bool checked)
{
    QImage image = new_image(16, 16);
    QPainter p(&image);
    prepare(p);
    p.setPen(QPen(checked ? blue : blue_light, 1));
    p.setBrush(checked ? blue : white);
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 2.5, 2.5);
    if (checked)
        draw_check_mark(p, QRectF(2, 2, 12, 12), white, 2.0);
    return image;
}

QImage fill_texture(const QColor& top, const QColor& bottom)
{
    // The volume list fills the used share of a 20-pixel bar with this, tiled sideways.
    QImage image = new_image(8, 18);
    QPainter p(&image);
    QLinearGradient fade(0, 0, 0, 18);
    fade.setColorAt(0, top.lighter(118));
    fade.setColorAt(0.45, top);
    fade.setColorAt(1, bottom);
    p.fillRect(image.rect(), fade);
    p.fillRect(QRect(0, 0, 8, 1), QColor(255, 255, 255, 90));
    return image;
}

QImage progress_fill()
{
    // Diagonal stripes that repeat every 16 pixels, so the tiled fill has no seams.
    QImage image = new_image(16, 12);
    QPainter p(&image);
    prepare(p);
    QLinearGradient fade(0, 0, 0, 12);
    fade.setColorAt(0, QColor(112, 176, 232));
    fade.setColorAt(1, blue_dark);
    p.fillRect(image.rect(), fade);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 40));
    for (int x = -16; x <= 16; x += 16) {
        p.drawPolygon(QPolygonF({QPointF(x, 12), QPointF(x + 8, 0), QPointF(x + 14, 0), QPointF(x + 6, 12)}));
    }
    return image;
}

QImage drive_icon()
{
    QImage image = new_image(20, 20);
    QPainter p(&image);
    prepare(p);
    QLinearGradient body(0, 5, 0, 16);
    body.setColorAt(0, QColor(150, 190, 232));
    body.setColorAt(1, QColor(92, 150, 204));
    p.setPen(QPen(blue_dark, 1));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(1.5, 5.5, 17, 10), 2.5, 2.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawRoundedRect(QRectF(4, 9.5, 8, 2), 1, 1);
    p.setBrush(QColor(120, 220, 120));
    p.drawEllipse(QPointF(15, 10.5), 1.4, 1.4);
    return image;
}

QImage found_icon()
{
    QImage image = new_image(64, 64);
    QPainter p(&image);
    prepare(p);
    QLinearGradient plate(0, 0, 0, 64);
    plate.setColorAt(0, pale);
    plate.setColorAt(1, pale2);
    p.setPen(QPen(blue_light, 1.5));
    p.setBrush(plate);
    p.drawEllipse(QRectF(2, 2, 60, 60));
    draw_partitions(p, QRectF(12, 12, 30, 30), blue, 3.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 220));
    p.drawEllipse(QPointF(41, 41), 11, 11);
    draw_magnifier(p, QRectF(28, 28, 30, 30), blue_dark, 3.5);
    return image;
}

QImage folder_icon()
{
    QImage image = new_image(16, 16);
    QPainter p(&image);
    prepare(p);
    draw_folder(p, QRectF(1, 2, 14, 12), blue, blue_light);
    p.setPen(QPen(QColor(255, 255, 255, 150), 1));
    p.drawLine(QPointF(2, 7.5), QPointF(14, 7.5));
    return image;
}

} // namespace

void draw_light_button(QPainter& p, const QRectF& rect, double radius, state s)
{
    QLinearGradient fill(0, rect.top(), 0, rect.bottom());
    QColor border = blue_light;
    switch (s) {
    case state::normal:
        fill.setColorAt(0, white);
        fill.setColorAt(1, pale2);
        break;
    case state::hover:
        fill.setColorAt(0, pale);
        fill.setColorAt(1, QColor(196, 224, 250));
        border = blue;
        break;
    case state::pressed:
        fill.setColorAt(0, QColor(190, 218, 246));
        fill.setColorAt(1, pale);
        border = blue_dark;
        break;
    }
    p.save();
    p.setPen(QPen(border, 1));
    p.setBrush(fill);
    p.drawRoundedRect(rect, radius, radius);
    if (s != state::pressed) {
        // A light inner edge along the top gives the face a little lift.
        p.setPen(QPen(QColor(255, 255, 255, 200), 1));
        p.drawLine(QPointF(rect.left() + radius, rect.top() + 1), QPointF(rect.right() - radius, rect.top() + 1));
    }
    p.restore();
}

int make_page_images(art_output& out)
{
    int result = 0;
    for (const state s : all_states) {
        result |= out.save(QStringLiteral("partition_search/btn_wai_%1.png").arg(int(s)),
                           light_button_image(100, 30, 5, s));
        result |= out.save(QStringLiteral("partition_search/btn_start_%1.png").arg(int(s)),
                           light_button_image(80, 30, 14.5, s));
    }
    result |= out.save(QStringLiteral("partition_search/check1.png"), check_box(false));
    result |= out.save(QStringLiteral("partition_search/check2.png"), check_box(true));
    result |= out.save(QStringLiteral("partition_search/drives.png"), drive_icon());
    result |= out.save(QStringLiteral("partition_search/red.png"), fill_texture(QColor(226, 84, 72), QColor(184, 46, 38)));
    result |= out.save(QStringLiteral("partition_search/green.png"), fill_texture(QColor(82, 184, 120), QColor(46, 140, 84)));
    result |= out.save(QStringLiteral("partition_search/loding_on.png"), progress_fill());
    result |= out.save(QStringLiteral("partition_search/icon_found1.png"), found_icon());
    result |= out.save(QStringLiteral("recovery/folder.png"), folder_icon());
    return result;
}

} // namespace tarn::art
