#pragma once
// What the recovery page's preview box shows of a file: the picture of an image file, else the
// text of its first bytes.

#include <QImage>
#include <QString>

class QByteArray;
class QPainter;
class QRect;

namespace tarn {

inline constexpr int preview_text_bytes = 8192;

struct preview_content_s {
    QImage image; // for names of an image type
    QString text; // for any other name

    bool empty() const { return image.isNull() && text.isEmpty(); }
};

// True when the name's last four characters, lower-cased, name an image type the preview draws.
bool is_preview_image_name(const QString& name);
// The text of a file's first bytes: UTF-16 little-endian after FF FE, UTF-8 after EF BB BF, else
// 8-bit text; it ends at the first zero unit.
QString decode_preview_text(const QByteArray& bytes);
// Reads the file at path, typed by name. Empty when it cannot be read or is not an image of that
// type with a size.
preview_content_s load_preview(const QString& path, const QString& name);
// Draws the content inside box: an image as high as the box less 10 pixels (narrower when it
// would not fit across), centred; a text wrapped into the box less 5 pixels on each side.
void paint_preview(QPainter& painter, const preview_content_s& content, const QRect& box);

} // namespace tarn
