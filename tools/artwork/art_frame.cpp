// The skinned window's frame: top band, sides and bottom cut from one drawn window, the
// system buttons, the logo, the icon and the page background band.

#include "tools/artwork/art_icons.h"
#include "tools/artwork/art_pieces.h"

#include <QLinearGradient>
#include <QPainter>

namespace tarn::art {

namespace {

// The frame is drawn for a whole window of this size and then cut into its pieces: top band
// 100 high, sides 3 wide and 539 high, bottom 4 high.
constexpr int frame_w = 800;
constexpr int frame_h = 100 + 539 + 4;
constexpr int top_h = 100;
constexpr int side_w = 3;
constexpr int bottom_h = 4;

QImage draw_window_frame()
{
    QImage image = new_image(frame_w, frame_h);
    QPainter p(&image);
    prepare(p);
    p.setPen(Qt::NoPen);
    const QRectF all(0, 0, frame_w, frame_h);
    // Soft shadow: the outermost ring nearly transparent, the next one a little darker.
    p.setBrush(QColor(0, 0, 0, 18));
    p.drawPath(rounded_path(all, 9, 4));
    p.setBrush(QColor(0, 0, 0, 46));
    p.drawPath(rounded_path(all.adjusted(1, 1, -1, -1), 8, 3));
    p.setBrush(blue_deep);
    p.drawPath(rounded_path(all.adjusted(2, 2, -2, -2), 7, 2));

    const QRectF inside = all.adjusted(3, 3, -3, -3);
    p.setClipPath(rounded_path(inside, 6, 1));
    QLinearGradient band(0, 3, 0, top_h);
    band.setColorAt(0.0, QColor(64, 128, 192));
    band.setColorAt(0.22, blue_dark);
    band.setColorAt(0.23, QColor(66, 131, 193));
    band.setColorAt(1.0, blue);
    p.fillRect(QRectF(0, 0, frame_w, top_h), band);
    // A faint sheen along the title line and a light rule where the pages begin.
    p.fillRect(QRectF(0, 3, frame_w, 1), QColor(255, 255, 255, 60));
    p.fillRect(QRectF(0, top_h - 1, frame_w, 1), pale2);
    p.fillRect(QRectF(0, top_h, frame_w, frame_h - top_h), white);
    return image;
}

int make_ico(art_output& out)
{
    QImage icon = new_image(48, 48);
    QPainter p(&icon);
    prepare(p);
    QLinearGradient fill(0, 0, 0, 48);
    fill.setColorAt(0, QColor(96, 164, 222));
    fill.setColorAt(1, blue_dark);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(1, 1, 46, 46), 10, 10);
    draw_emblem(p, QRectF(7, 7, 34, 34), white, 3.2);
    p.end();
    return out.save(QStringLiteral("top.ico"), icon);
}

int make_logo(art_output& out)
{
    QImage logo = new_image(110, 66);
    QPainter p(&logo);
    prepare(p);
    draw_emblem(p, QRectF(35, 2, 40, 40), white, 3.0);
    draw_fitted(p, QRectF(0, 44, 110, 20), QStringLiteral("TarnRecovery"), QStringLiteral("latin"), true, 14,
                9, white, Qt::AlignHCenter);
    p.end();
    return out.save(QStringLiteral("top/logo.png"), logo);
}

int make_background(art_output& out)
{
    // Tiled across the page width: only the vertical fade matters.
    QImage band = new_image(8, 120);
    QPainter p(&band);
    QLinearGradient fade(0, 0, 0, 120);
    fade.setColorAt(0, pale);
    fade.setColorAt(1, white);
    p.fillRect(band.rect(), fade);
    p.end();
    return out.save(QStringLiteral("background/bai.png"), band);
}

} // namespace

int make_frame(art_output& out)
{
    const QImage frame = draw_window_frame();
    const int side_h = frame_h - top_h - bottom_h;
    QImage bottom = new_image(10, bottom_h);
    {
        // Left corner, a piece of the plain middle, right corner.
        QPainter p(&bottom);
        p.drawImage(0, 0, frame.copy(0, frame_h - bottom_h, side_w, bottom_h));
        p.drawImage(side_w, 0, frame.copy(frame_w / 2, frame_h - bottom_h, 10 - 2 * side_w, bottom_h));
        p.drawImage(10 - side_w, 0, frame.copy(frame_w - side_w, frame_h - bottom_h, side_w, bottom_h));
    }
    int result = 0;
    result |= out.save(QStringLiteral("system/so.png"), frame.copy(0, 0, frame_w, top_h));
    result |= out.save(QStringLiteral("system/sl.png"), frame.copy(0, top_h, side_w, side_h));
    result |= out.save(QStringLiteral("system/sr.png"), frame.copy(frame_w - side_w, top_h, side_w, side_h));
    result |= out.save(QStringLiteral("system/su.png"), bottom);
    result |= make_logo(out);
    result |= make_ico(out);
    result |= make_background(out);
    return result;
}

} // namespace tarn::art
