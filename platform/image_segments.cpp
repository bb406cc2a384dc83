#include "platform/image_segments.h"

#include "platform/byte_source.h"
#include "platform/plain_file.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include <zlib.h>

namespace tarn {

namespace {

constexpr std::array<unsigned char, 8> ewf_signature = {'E', 'V', 'F', 0x09, 0x0D, 0x0A, 0xFF, 0x00};
constexpr qint64 ewf_file_header = 13;
constexpr qint64 ewf_section_descriptor = 76;

// One segment file's header and section chain: its segment number and whether its chain ends
// the image ("done") or goes on in the next segment ("next").
struct ewf_segment_s {
    int number = 0;
    bool last = false;
};

bool read_exact(QFile& file, qint64 at, std::span<std::byte> out)
{
    return file.seek(at) && file.read(reinterpret_cast<char*>(out.data()), static_cast<qint64>(out.size()))
                                == static_cast<qint64>(out.size());
}

// Section descriptors carry an Adler-32 of their first 72 bytes, so a cut or overwritten chain
// is told from a sound one.
bool descriptor_sound(std::span<const std::byte> d)
{
    const auto sum = adler32(1, reinterpret_cast<const Bytef*>(d.data()), 72);
    return sum == load_le32(d, 72);
}

// A table section lists where each chunk of the segment lies: its base offset plus each entry's
// low 31 bits. A chunk placed past the segment's end would be read as zeros, or the bytes after
// it shifted into its place. The section ends before next.
bool chunks_inside(QFile& file, qint64 data_at, std::uint64_t next, QString& reason)
{
    constexpr qint64 table_header = 24;
    std::array<std::byte, table_header> header{};
    if (static_cast<std::uint64_t>(data_at + table_header) > next || !read_exact(file, data_at, header)) {
        reason = QStringLiteral("is damaged (a chunk table at byte %1 is cut short)").arg(data_at);
        return false;
    }
    const std::uint64_t count = load_le32(header, 0);
    const std::uint64_t base = load_le64(header, 8);
    const std::uint64_t room = (next - static_cast<std::uint64_t>(data_at + table_header)) / 4;
    std::vector<std::byte> entries(static_cast<std::size_t>(std::min(count, room)) * 4);
    if (count > room || !read_exact(file, data_at + table_header, entries)) {
        reason = QStringLiteral("is damaged (its chunk table at byte %1 claims %2 chunks)").arg(data_at).arg(count);
        return false;
    }
    const auto size = static_cast<std::uint64_t>(file.size());
    for (std::size_t i = 0; i < entries.size(); i += 4) {
        const std::uint64_t chunk = (load_le32(entries, i) & 0x7FFFFFFFu);
        if (base > size || chunk >= size - base) {
            reason = QStringLiteral("is damaged (its chunk table places chunk %1 past its end)").arg(i / 4);
            return false;
        }
    }
    return true;
}

int walk_sections(QFile& file, ewf_segment_s& segment, QString& reason)
{
    const qint64 size = file.size();
    qint64 at = ewf_file_header;
    // Every step moves forward, so the file's size bounds the walk.
    while (true) {
        std::array<std::byte, ewf_section_descriptor> d{};
        if (at + ewf_section_descriptor > size || !read_exact(file, at, d)) {
            reason = QStringLiteral("is cut short (a section at byte %1 lies past its end)").arg(at);
            return -1;
        }
        if (!descriptor_sound(d)) {
            reason = QStringLiteral("is damaged (the section at byte %1 fails its checksum)").arg(at);
            return -1;
        }
        const QByteArray type = QByteArray(reinterpret_cast<const char*>(d.data()), 16).split('\0').front();
        if (type == "next" || type == "done") {
            segment.last = type == "done";
            return 0;
        }
        const std::uint64_t next = load_le64(d, 16);
        // A section's data follows its descriptor: the next one cannot start inside it.
        if (next < static_cast<std::uint64_t>(at + ewf_section_descriptor) || next > static_cast<std::uint64_t>(size)) {
            reason = next > static_cast<std::uint64_t>(size)
                         ? QStringLiteral("is cut short (its %1 section goes on past its end)").arg(QString::fromLatin1(type))
                         : QStringLiteral("is damaged (its %1 section points backwards)").arg(QString::fromLatin1(type));
            return -1;
        }
        if (type == "table" && !chunks_inside(file, at + ewf_section_descriptor, next, reason))
            return -1;
        at = static_cast<qint64>(next);
    }
}

int read_segment(const QString& path, ewf_segment_s& segment, QString& error)
{
    QFile file;
    if (!open_plain_file(path, file)) {
        error = QFileInfo(path).isFile() ? QStringLiteral("%1: cannot be read").arg(path)
                                         : QStringLiteral("%1: is no plain file, so it cannot be a segment").arg(path);
        return -1;
    }
    std::array<std::byte, ewf_file_header> header{};
    if (!read_exact(file, 0, header)
        || !std::equal(ewf_signature.begin(), ewf_signature.end(), reinterpret_cast<const unsigned char*>(header.data()))) {
        const bool version2 = std::memcmp(header.data(), "EVF2", 4) == 0 || std::memcmp(header.data(), "LEF2", 4) == 0;
        error = version2 ? QStringLiteral("%1: is an EWF2 (Ex01) segment, which no installed library reads").arg(path)
                         : QStringLiteral("%1: is no EWF segment").arg(path);
        return -1;
    }
    segment.number = load_le16(header, 9);
    QString reason;
    if (walk_sections(file, segment, reason) != 0) {
        error = path + QStringLiteral(": ") + reason;
        return -1;
    }
    return 0;
}

// "x.E01" → ("x.", "E01"); nothing for a name without a three-letter extension.
bool split_extension(const QString& path, QString& stem, QString& extension)
{
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || path.size() - dot - 1 != 3 || path.indexOf(QLatin1Char('/'), dot) >= 0)
        return false;
    stem = path.left(dot + 1);
    extension = path.mid(dot + 1);
    return true;
}

} // namespace

QString ewf_segment_name(const QString& first, int n)
{
    QString stem, extension;
    bool numbered = false;
    if (!split_extension(first, stem, extension) || n < 1 || !extension[0].isLetter()
        || (extension.mid(1).toInt(&numbered), !numbered))
        return {};
    const bool lower = extension[0].isLower();
    const QChar letter = extension[0].toUpper();
    QString next;
    if (n <= 99) {
        next = QString(letter) + QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
    } else {
        const int index = n - 100;
        const int first_letter = letter.unicode() + index / (26 * 26);
        if (first_letter > 'Z')
            return {};
        next = QString(QChar(first_letter)) + QChar('A' + index / 26 % 26) + QChar('A' + index % 26);
    }
    return stem + (lower ? next.toLower() : next);
}

int ewf_segment_files(const QString& first, QStringList& segments, QString& error)
{
    segments.clear();
    for (int n = 1;; ++n) {
        const QString path = n == 1 ? first : ewf_segment_name(first, n);
        if (path.isEmpty() || !QFileInfo::exists(path)) {
            error = path.isEmpty() ? QStringLiteral("%1: has more segments than EWF can name").arg(first)
                                   : QStringLiteral("%1: segment %2 is missing (%3)").arg(first).arg(n).arg(path);
            return -1;
        }
        ewf_segment_s segment;
        if (read_segment(path, segment, error) != 0)
            return -1;
        if (segment.number != n) {
            error = n == 1 ? QStringLiteral("%1: is segment %2 of an EWF image; open its first segment").arg(path).arg(segment.number)
                           : QStringLiteral("%1: holds segment %2 where segment %3 belongs").arg(path).arg(segment.number).arg(n);
            return -1;
        }
        segments << path;
        if (segment.last)
            return 0;
    }
}

namespace {

QString split_piece_name(const QString& stem, int n)
{
    return stem + QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0'));
}

// The number of path's piece (0 to 999), -1 when its extension is no three-digit number.
int split_piece_number(const QString& path, QString& stem)
{
    QString extension;
    if (!split_extension(path, stem, extension))
        return -1;
    for (const QChar c : extension)
        if (!c.isDigit() || c.unicode() > '9')
            return -1;
    return extension.toInt();
}

} // namespace

bool is_split_raw_piece(const QString& path)
{
    QString stem;
    const int number = split_piece_number(path, stem);
    if (number < 0)
        return false;
    // The piece after next counts too: a split image with its second piece lost is still one.
    return QFileInfo::exists(split_piece_name(stem, number + 1)) || QFileInfo::exists(split_piece_name(stem, number + 2))
           || (number > 0 && QFileInfo::exists(split_piece_name(stem, number - 1)));
}

int split_raw_files(const QString& path, QStringList& pieces, QString& error)
{
    pieces.clear();
    QString stem;
    const int chosen = split_piece_number(path, stem);
    if (chosen < 0) {
        error = QStringLiteral("%1: is no piece of a split image (.000, .001, ...)").arg(path);
        return -1;
    }
    // Tools number the pieces from .000 or from .001: whichever piece was chosen, the image is
    // read from its first.
    const int first = QFileInfo(split_piece_name(stem, 0)).isFile() ? 0 : 1;
    int n = first;
    for (; n <= 999; ++n) {
        const QFileInfo piece(split_piece_name(stem, n));
        if (!piece.isFile())
            break;
        // An empty piece would shift every later byte of the disk.
        if (piece.size() == 0) {
            error = QStringLiteral("%1: piece %2 is empty").arg(path, piece.filePath());
            return -1;
        }
        pieces << piece.filePath();
    }
    if (n <= 999 && QFileInfo::exists(split_piece_name(stem, n))) {
        error = QStringLiteral("%1: piece %2 is no plain file").arg(path, split_piece_name(stem, n));
        return -1;
    }
    // A gap of one or two pieces is a piece lost in copying, not the end of the image; nor is a
    // gap before the chosen piece.
    bool gap = chosen > n;
    for (int later = n + 1; later <= n + 2 && later <= 999; ++later)
        gap = gap || QFileInfo::exists(split_piece_name(stem, later));
    if (gap) {
        error = QStringLiteral("%1: piece %2 is missing").arg(path, split_piece_name(stem, n));
        return -1;
    }
    return 0;
}

} // namespace tarn
