// The home page's images: the two large buttons (the per-language ones are made from the same
// face) and the panel behind the three lines of advice.

#include "tools/artwork/art_icons.h"
#include "tools/artwork/art_pieces.h"

#include <QLinearGradient>
#include <QPainter>

namespace tarn::art {

namespace {

QImage advice_panel()
{
    // The page writes its three texts at x 15 with baselines 50, 100 and 150 inside this
    // panel; the header strip above them and the rules between them leave those places free.
    constexpr int w = 692;
    constexpr int h = 188;
    QImage image = new_image(w, h);
    QPainter p(&image);
    prepare(p);
    const QRectF panel(0.5, 0.5, w - 1, h - 1);
    QLinearGradient fill(0, 0, 0, h);
    fill.setColorAt(0, QColor(246, 251, 255));
    fill.setColorAt(1, white);
    p.setPen(QPen(line, 1));
    p.setBrush(fill);
    p.drawRoundedRect(panel, 10, 10);
    p.setPen(Qt::NoPen);
    p.setBrush(pale);
    p.setClipRect(QRectF(0, 0, w, 26));
    p.drawRoundedRect(panel, 10, 10);
    p.setClipping(false);
    p.fillRect(QRectF(1, 26, w - 2, 1), line);
    draw_bulb(p, QRectF(10, 3, 20, 20), text_blue, 1.6);
    p.setPen(QPen(pale2, 1));
    for (const double y : {75.5, 125.5})
        p.drawLine(QPointF(15, y), QPointF(w - 15, y));
    p.setPen(Qt::NoPen);
    p.setBrush(blue_light);
    for (const double y : {46.0, 96.0, 146.0})
        p.drawEllipse(QPointF(7, y), 2.2, 2.2);
    return image;
}

} // namespace

void draw_blue_card(QPainter& p, const QRectF& rect, double radius, state s)
{
    QLinearGradient fill(0, rect.top(), 0, rect.bottom());
    switch (s) {
    case state::normal:
        fill.setColorAt(0, QColor(100, 168, 226));
        fill.setColorAt(1, QColor(62, 128, 192));
        break;
    case state::hover:
        fill.setColorAt(0, QColor(122, 188, 240));
        fill.setColorAt(1, QColor(76, 146, 208));
        break;
    case state::pressed:
        fill.setColorAt(0, QColor(56, 116, 178));
        fill.setColorAt(1, QColor(74, 138, 198));
        break;
    }
    p.save();
    p.setPen(QPen(blue_deep, 1));
    p.setBrush(fill);
    p.drawRoundedRect(rect, radius, radius);
    if (s != state::pressed) {
        p.setPen(QPen(QColor(255, 255, 255, 90), 1));
        p.drawLine(QPointF(rect.left() + radius, rect.top() + 1.5), QPointF(rect.right() - radius, rect.top() + 1.5));
    }
    p.restore();
}

QImage home_button(int w, int h, state s, bool resume, const QString& title, const QString& subtitle,
                   const QString& script)
{
    QImage image = new_image(w, h);
    QPainter p(&image);
    prepare(p);
    const double lift = s == state::pressed ? 1.0 : 0.0;
    const double radius = qMin(12.0, h * 0.22);
    // Shadow under the face; pressing lowers the face onto it.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 60, 110, s == state::pressed ? 30 : 46));
    p.drawRoundedRect(QRectF(2.5, 4.5, w - 5, h - 6), radius, radius);
    const QRectF face(2.5, 1.5 + lift, w - 5, h - 6);
    draw_blue_card(p, face, radius, s);

    // A right-to-left script reads from the right: the icon leads there and the text ends there.
    const bool rtl = script == QLatin1String("ar");
    const auto mirrored = [rtl, w](QRectF r) {
        if (rtl)
            r.moveLeft(w - r.right());
        return r;
    };
    const double disc = face.height() * 0.62;
    const QRectF disc_rect =
        mirrored(QRectF(face.left() + face.height() * 0.2, face.center().y() - disc / 2, disc, disc));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, s == state::hover ? 70 : 52));
    p.drawEllipse(disc_rect);
    const QRectF glyph = disc_rect.adjusted(disc * 0.22, disc * 0.22, -disc * 0.22, -disc * 0.22);
    const double stroke = qMax(1.6, disc * 0.06);
    if (resume) {
        draw_folder(p, glyph.adjusted(0, glyph.height() * 0.05, 0, -glyph.height() * 0.05), white,
                    QColor(255, 255, 255, 170));
        draw_recover_arrow(p, glyph.adjusted(glyph.width() * 0.3, glyph.height() * 0.35, glyph.width() * 0.1,
                                             glyph.height() * 0.15),
                           blue_deep, stroke * 0.8);
    } else {
        draw_platter(p, glyph.adjusted(0, 0, -glyph.width() * 0.25, -glyph.height() * 0.25), white, stroke);
        draw_magnifier(p, glyph.adjusted(glyph.width() * 0.35, glyph.height() * 0.35, glyph.width() * 0.1,
                                         glyph.height() * 0.1),
                       white, stroke);
    }
    if (title.isEmpty())
        return image;
    const double text_left = face.left() + face.height() * 0.2 + disc + face.height() * 0.16;
    const QRectF text_box = mirrored(QRectF(text_left, face.top(), face.right() - 12 - text_left, face.height()));
    const int align = rtl ? Qt::AlignRight : Qt::AlignLeft;
    draw_fitted(p, QRectF(text_box.left(), text_box.top() + text_box.height() * 0.14, text_box.width(),
                          text_box.height() * 0.44),
                title, script, true, 24, 14, white, align);
    draw_fitted(p, QRectF(text_box.left(), text_box.top() + text_box.height() * 0.56, text_box.width(),
                          text_box.height() * 0.34),
                subtitle, script, false, 14, 10, pale, align);
    return image;
}

int make_home_images(art_output& out)
{
    int result = 0;
    for (const state s : all_states) {
        result |= out.save(QStringLiteral("home/buttonscan%1.png").arg(int(s)),
                           home_button(111, 41, s, false, QString(), QString(), QString()));
        result |= out.save(QStringLiteral("home/buttonrecovery%1.png").arg(int(s)),
                           home_button(121, 41, s, true, QString(), QString(), QString()));
    }
    result |= out.save(QStringLiteral("home/wenzi.png"), advice_panel());
    return result;
}

} // namespace tarn::art
