#include "tools/artwork/art_common.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImageWriter>
#include <QPainter>

namespace tarn::art {

namespace {

// Debian's fonts-noto-core and fonts-noto-cjk.
constexpr const char* font_files[] = {
    "/usr/share/fonts/truetype/noto/NotoSans-Regular.ttf",
    "/usr/share/fonts/truetype/noto/NotoSans-Bold.ttf",
    "/usr/share/fonts/truetype/noto/NotoSansArabic-Regular.ttf",
    "/usr/share/fonts/truetype/noto/NotoSansArabic-Bold.ttf",
    "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc",
    "/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc",
};

QString family_for(const QString& script)
{
    if (script == QLatin1String("jp"))
        return QStringLiteral("Noto Sans CJK JP");
    if (script == QLatin1String("cn"))
        return QStringLiteral("Noto Sans CJK SC");
    if (script == QLatin1String("hk"))
        return QStringLiteral("Noto Sans CJK HK");
    if (script == QLatin1String("ar"))
        return QStringLiteral("Noto Sans Arabic");
    return QStringLiteral("Noto Sans");
}

// Splits text at the blank nearest its middle; CJK text without blanks splits between
// characters.
QStringList split_two(const QString& text)
{
    const int middle = static_cast<int>(text.size()) / 2;
    int best = -1;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char(' ') && (best < 0 || std::abs(i - middle) < std::abs(best - middle)))
            best = i;
    }
    if (best < 0)
        return {text.left(middle), text.mid(middle)};
    return {text.left(best), text.mid(best + 1)};
}

} // namespace

int load_fonts()
{
    int missing = 0;
    for (const auto& file : font_files) {
        if (QFontDatabase::addApplicationFont(QString::fromLatin1(file)) < 0)
            ++missing;
    }
    return missing == 0 ? 0 : -1;
}

QFont art_font(const QString& script, double pixels, bool bold)
{
    QFont font(family_for(script));
    font.setPixelSize(qMax(1, qRound(pixels)));
    font.setBold(bold);
    // Hinting follows the machine's settings unless fixed; fixed output keeps the images
    // reproducible.
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QImage new_image(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void prepare(QPainter& painter)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
}

art_output::art_output(QString root) : root_(std::move(root)) {}

int art_output::save(const QString& name, const QImage& image)
{
    const QString path = root_ + QLatin1Char('/') + name;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImageWriter writer(path);
    if (name.endsWith(QLatin1String(".png")))
        writer.setQuality(0);  // the smallest file: PNG quality 0 is the strongest compression
    if (!writer.write(image.convertToFormat(QImage::Format_ARGB32)))
        return -1;
    written_.append(name);
    return 0;
}

QPainterPath rounded_path(const QRectF& r, double top, double bottom)
{
    QPainterPath path;
    path.moveTo(r.left() + top, r.top());
    path.lineTo(r.right() - top, r.top());
    path.arcTo(QRectF(r.right() - 2 * top, r.top(), 2 * top, 2 * top), 90, -90);
    path.lineTo(r.right(), r.bottom() - bottom);
    path.arcTo(QRectF(r.right() - 2 * bottom, r.bottom() - 2 * bottom, 2 * bottom, 2 * bottom), 0, -90);
    path.lineTo(r.left() + bottom, r.bottom());
    path.arcTo(QRectF(r.left(), r.bottom() - 2 * bottom, 2 * bottom, 2 * bottom), 270, -90);
    path.lineTo(r.left(), r.top() + top);
    path.arcTo(QRectF(r.left(), r.top(), 2 * top, 2 * top), 180, -90);
    path.closeSubpath();
    return path;
}

double fit_pixels(const QString& text, const QString& script, bool bold, double max_px, double min_px,
                  double width)
{
    for (double px = max_px; px > min_px; px -= 0.5) {
        if (QFontMetricsF(art_font(script, px, bold)).horizontalAdvance(text) <= width)
            return px;
    }
    return min_px;
}

void draw_fitted(QPainter& painter, const QRectF& rect, const QString& text, const QString& script,
                 bool bold, double max_px, double min_px, const QColor& colour, int align_h)
{
    QStringList lines{text};
    double px = fit_pixels(text, script, bold, max_px, min_px, rect.width());
    if (QFontMetricsF(art_font(script, px, bold)).horizontalAdvance(text) > rect.width()) {
        lines = split_two(text);
        px = qMin(fit_pixels(lines[0], script, bold, max_px, min_px, rect.width()),
                  fit_pixels(lines[1], script, bold, max_px, min_px, rect.width()));
    }
    const QFont font = art_font(script, px, bold);
    const QFontMetricsF metrics(font);
    const double line_height = metrics.height() * 0.95;
    const double total = line_height * static_cast<double>(lines.size());
    double y = rect.top() + (rect.height() - total) / 2;
    painter.setFont(font);
    painter.setPen(colour);
    for (const QString& part : lines) {
        painter.drawText(QRectF(rect.left(), y, rect.width(), line_height), align_h | Qt::AlignVCenter, part);
        y += line_height;
    }
}

} // namespace tarn::art
