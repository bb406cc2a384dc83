#include "recovery/preview_content.h"

#include "common/format_size.h"
#include "settings/language.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QPainter>
#include <QStringDecoder>
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

bool looks_like_text(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xEF\xBB\xBF"))
        return true;
    if (bytes.isEmpty())
        return false;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r' && u != '\f') || u == 0x7F)
            return false;
    }
    // A multi-byte character cut by the end of the bytes read is no reason to call it binary.
    qsizetype end = bytes.size();
    for (qsizetype back = 1; back <= 3 && end - back >= 0; ++back) {
        const auto u = static_cast<unsigned char>(bytes[end - back]);
        if ((u & 0xC0) != 0x80) {
            if (u >= 0xC0)
                end -= back;
            break;
        }
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(QByteArrayView(bytes).first(end));
    return !utf8.hasError() && !decoded.isEmpty();
}

QString describe_file(const QString& name, std::uint64_t size, const QByteArray& first_bytes)
{
    const QMimeDatabase types;
    const QMimeType type = first_bytes.isEmpty() ? types.mimeTypeForFile(name, QMimeDatabase::MatchExtension)
                                                 : types.mimeTypeForFileNameAndData(name, first_bytes);
    QString kind = type.comment();
    if (kind.isEmpty() || type.isDefault())
        kind = QFileInfo(name).suffix().toUpper();
    return language_text("preview_type") + QLatin1Char(' ') + kind + QLatin1Char('\n') + language_text("preview_size") +
           QLatin1Char(' ') + format_size(size);
}

preview_content_s load_preview(const QString& path, const QString& name)
{
    preview_content_s content;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return content;
    if (is_preview_image_name(name)) {
        QImage image(path);
        if (image.width() > 0 && image.height() > 0) {
            // The box is never larger than the screen: a smaller copy keeps every repaint cheap.
            if (image.width() > preview_image_side || image.height() > preview_image_side)
                image = image.scaled(preview_image_side, preview_image_side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            content.image = std::move(image);
            return content;
        }
    }
    const QByteArray first = file.read(preview_text_bytes);
    content.text = looks_like_text(first) ? decode_preview_text(first)
                                          : describe_file(name, static_cast<std::uint64_t>(file.size()), first);
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
