// The busy animation of the recovery page: a ring of dots turning around a drive platter.
// The label that shows it covers the page's status box and the start of its progress bar,
// so the drawing keeps to the left part and everything else stays transparent. GIF has no
// partial transparency, so each frame is drawn over the page's background band and then made
// fully opaque where it draws and fully transparent elsewhere.

#include "tools/artwork/art_icons.h"
#include "tools/artwork/art_pieces.h"

#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <numbers>

namespace tarn::art {

namespace {

constexpr int anim_w = 130;
constexpr int anim_h = 86;
constexpr int frame_count = 12;
const QPointF centre(48, 43);

QImage animation_frame(int frame)
{
    QImage drawing = new_image(anim_w, anim_h);
    QPainter p(&drawing);
    prepare(p);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < frame_count; ++i) {
        // The leading dot is the strongest; the ones behind it fade.
        const int age = (frame - i + frame_count) % frame_count;
        const double angle = 90.0 - i * 360.0 / frame_count;
        const double a = angle * std::numbers::pi / 180.0;
        const QPointF at(centre.x() + 22 * std::cos(a), centre.y() - 22 * std::sin(a));
        QColor dot = blue;
        dot = QColor::fromRgbF(dot.redF() + (1 - dot.redF()) * age / 14.0, dot.greenF() + (1 - dot.greenF()) * age / 14.0,
                               dot.blueF() + (1 - dot.blueF()) * age / 14.0);
        p.setBrush(dot);
        p.drawEllipse(at, 4.2 - age * 0.15, 4.2 - age * 0.15);
    }
    draw_platter(p, QRectF(centre.x() - 11, centre.y() - 11, 22, 22), blue_dark, 2.2);
    p.end();

    QImage flat = new_image(anim_w, anim_h);
    QPainter q(&flat);
    QLinearGradient fade(0, 0, 0, 120);
    fade.setColorAt(0, pale);
    fade.setColorAt(1, white);
    q.fillRect(flat.rect(), fade);
    q.drawImage(0, 0, drawing);
    q.end();
    for (int y = 0; y < anim_h; ++y) {
        for (int x = 0; x < anim_w; ++x) {
            if (qAlpha(drawing.pixel(x, y)) == 0)
                flat.setPixel(x, y, qRgba(0, 0, 0, 0));
            else
                flat.setPixel(x, y, flat.pixel(x, y) | 0xff000000u);
        }
    }
    return flat;
}

} // namespace

int make_animation(art_output& out)
{
    QTemporaryDir work;
    if (!work.isValid())
        return -1;
    QStringList args{QStringLiteral("-dispose"), QStringLiteral("Background"), QStringLiteral("-delay"),
                     QStringLiteral("8"), QStringLiteral("-loop"), QStringLiteral("0")};
    for (int frame = 0; frame < frame_count; ++frame) {
        const QString path = work.filePath(QStringLiteral("frame%1.png").arg(frame, 2, 10, QLatin1Char('0')));
        if (!animation_frame(frame).convertToFormat(QImage::Format_ARGB32).save(path))
            return -1;
        args.append(path);
    }
    const QString target = out.root() + QStringLiteral("/recovery/ani.gif");
    QDir().mkpath(out.root() + QStringLiteral("/recovery"));
    args.append(target);
    if (QProcess::execute(QStringLiteral("convert"), args) != 0)
        return -1;
    out.note(QStringLiteral("recovery/ani.gif"));
    return 0;
}

} // namespace tarn::art
