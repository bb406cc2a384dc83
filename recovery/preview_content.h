#pragma once
// What the recovery page's preview box shows of a file: the picture of an image file, the text
// of a text file, or else what kind of file it is and how large.

#include <QImage>
#include <QString>

#include <cstdint>

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
// Whether a file's first bytes read as text: a byte-order mark, or valid UTF-8 (a character cut
// by the end of the bytes aside) without control characters other than line breaks and tabs.
bool looks_like_text(const QByteArray& bytes);
// What the preview says of a file it does not draw: its type (from its name and, when given, its
// first bytes) and its size.
QString describe_file(const QString& name, std::uint64_t size, const QByteArray& first_bytes = {});
// Reads the file at path, typed by name: the picture of an image, the text of a text file, else
// the file's type and size (an image that does not decode included). Empty when it cannot be read.
preview_content_s load_preview(const QString& path, const QString& name);
// Draws the content inside box: an image as high as the box less 10 pixels (narrower when it
// would not fit across), centred; a text wrapped into the box less 5 pixels on each side.
void paint_preview(QPainter& painter, const preview_content_s& content, const QRect& box);

} // namespace tarn
