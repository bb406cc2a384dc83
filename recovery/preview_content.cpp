#include "recovery/preview_content.h"

#include <QFile>
#include <QPainter>
#include <QTextOption>

#include <array>

namespace tarn {

namespace {

constexpr int preview_image_side = 1024;

} // namespace

bool is_preview_image_name(const QString& name)
{
    static const std::array<QLatin1String, 11> types = {
        QLatin1String(".bmp"), QLatin1String(".gif"), QLatin1String(".jpg"), QLatin1String("jpeg"),
        QLatin1String(".png"), QLatin1String(".pbm"), QLatin1String(".pgm"), QLatin1String(".ppm"),
        QLatin1String("tiff"), QLatin1String(".xbm"), QLatin1String(".xpm")};
    const QString type = name.right(4).toLower();
    for (const QLatin1String& t : types)
        if (type == t)
            return true;
    return false;
}

QString decode_preview_text(const QByteArray& bytes)
{
    QString text;
    if (bytes.size() > 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        const qsizetype units = (bytes.size() - 2) / 2;
        text.reserve(units);
        for (qsizetype i = 0; i < units; ++i)
            text.append(QChar(static_cast<char16_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                                    static_cast<unsigned char>(bytes[3 + 2 * i]) << 8)));
    } else if (bytes.size() > 3 && bytes.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
    } else {
        text = QString::fromLocal8Bit(bytes);
    }
    const qsizetype zero = text.indexOf(QChar(0));
    if (zero >= 0)
        text.truncate(zero);
    return text;
}

preview_content_s load_preview(const QString& path, const QString& name)
{
    preview_content_s content;
    if (is_preview_image_name(name)) {
        QImage image(path);
        if (image.width() <= 0 || image.height() <= 0)
            return content;
        // The box is never larger than the screen: a smaller copy keeps every repaint cheap.
        if (image.width() > preview_image_side || image.height() > preview_image_side)
            image = image.scaled(preview_image_side, preview_image_side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        content.image = std::move(image);
        return content;
    }
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        content.text = decode_preview_text(file.read(preview_text_bytes));
    return content;
}

void paint_preview(QPainter& painter, const preview_content_s& content, const QRect& box)
{
    painter.save();
    painter.setClipRect(box);
    if (!content.image.isNull()) {
        int h = box.height() - 10;
        int w = h * content.image.width() / content.image.height();
        // A wide picture is fitted across instead of spilling over the tree and the table.
        if (w > box.width() - 10) {
            w = box.width() - 10;
            h = w * content.image.height() / content.image.width();
        }
        const QRect target(box.left() + (box.width() - w) / 2, box.top() + 5, w, h);
        painter.drawImage(target, content.image);
    } else if (!content.text.isEmpty()) {
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        painter.drawText(QRectF(box.adjusted(5, 5, -5, -5)), content.text, option);
    }
    painter.restore();
}

} // namespace tarn
