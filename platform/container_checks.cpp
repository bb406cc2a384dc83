#include "platform/container_checks.h"

#include "platform/plain_file.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <array>
#include <cstring>
#include <limits>

namespace tarn {

namespace {

constexpr std::uint64_t sector_bytes = 512;

std::uint64_t load_be(std::span<const std::byte> b, std::size_t at, std::size_t width)
{
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < width && at + i < b.size(); ++i)
        v = v << 8 | std::to_integer<std::uint64_t>(b[at + i]);
    return v;
}

// Bytes of the file at at (fewer at its end); empty when it cannot be read.
QByteArray read_at(QFile& file, std::uint64_t at, qint64 length)
{
    if (at > static_cast<std::uint64_t>(file.size()) || !file.seek(static_cast<qint64>(at)))
        return {};
    return file.read(length);
}

std::span<const std::byte> bytes_of(const QByteArray& data)
{
    return {reinterpret_cast<const std::byte*>(data.constData()), static_cast<std::size_t>(data.size())};
}

// a × b, or nothing when it does not fit in 64 bits.
bool multiply(std::uint64_t a, std::uint64_t b, std::uint64_t& product)
{
    return !__builtin_mul_overflow(a, b, &product);
}

QString claims_more(std::uint64_t size, std::uint64_t mapped)
{
    return QStringLiteral("it claims a disk of %1 bytes, but its tables map only %2").arg(size).arg(mapped);
}

// A VMDK's descriptor: the file itself, or the text a sparse extent carries at the sector its
// header names.
QByteArray vmdk_descriptor(QFile& file)
{
    constexpr qint64 most = 64 << 10;
    const QByteArray head = read_at(file, 0, 64);
    if (!head.startsWith("KDMV"))
        return read_at(file, 0, most);
    if (head.size() < 44)
        return {};
    const std::uint64_t at = load_le64(bytes_of(head), 28);
    const std::uint64_t sectors = load_le64(bytes_of(head), 36);
    if (at == 0 || at > (std::uint64_t{1} << 40))
        return {};
    return read_at(file, at * sector_bytes, static_cast<qint64>(std::min<std::uint64_t>(sectors, most / sector_bytes) * sector_bytes));
}

// A hosted sparse extent maps its capacity through a grain directory that must lie in its file:
// a capacity of 2^62 bytes would need a directory far larger than any file, and the scan would
// read it block by block for ever.
QString sparse_extent_refusal(QFile& file)
{
    const QByteArray head = read_at(file, 0, 64);
    if (!head.startsWith("KDMV") || head.size() < 64)
        return {};
    const auto h = bytes_of(head);
    const std::uint64_t capacity = load_le64(h, 12), grain = load_le64(h, 20), per_table = load_le32(h, 44);
    const std::uint64_t directory = load_le64(h, 56);
    if (directory == std::numeric_limits<std::uint64_t>::max())
        return {}; // kept in a footer at the end (stream-optimised): the library finds it there
    std::uint64_t span = 0, at = 0, bytes = 0;
    if (grain == 0 || per_table == 0 || !multiply(grain, per_table, span) || !multiply(directory, sector_bytes, at))
        return QStringLiteral("its grain tables are damaged");
    const std::uint64_t tables = capacity / span + (capacity % span != 0 ? 1 : 0);
    const auto size = static_cast<std::uint64_t>(file.size());
    if (at > size || tables > (size - at) / 4)
        return multiply(capacity, sector_bytes, bytes)
                   ? QStringLiteral("it claims a disk of %1 bytes, but its grain directory would lie past its end").arg(bytes)
                   : QStringLiteral("it claims a disk of more than 2^64 bytes");
    return {};
}

// Every extent the descriptor names must be a plain file in the descriptor's own folder, a flat
// extent no larger than its file and a sparse one sound: the library would open any path it is
// given, and trust any size.
QString vmdk_refusal(const QString& path, QFile& file)
{
    if (const QString refusal = sparse_extent_refusal(file); !refusal.isEmpty())
        return refusal;
    const QByteArray descriptor = vmdk_descriptor(file);
    if (descriptor.contains("parentFileNameHint"))
        return QStringLiteral("it holds only the changes to a parent image, which is not read");
    static const QRegularExpression extent(QStringLiteral("^\\s*(?:RW|RDONLY|NOACCESS)\\s+(\\d+)\\s+(\\w+)\\s+\"([^\"]*)\"\\s*(\\d*)"),
                                           QRegularExpression::MultilineOption);
    const QDir folder = QFileInfo(path).dir();
    for (auto it = extent.globalMatch(QString::fromLatin1(descriptor)); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString name = m.captured(3);
        if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String(".") || name == QLatin1String("..")
            || !is_plain_file(folder.filePath(name)))
            return QStringLiteral("its descriptor names the extent \"%1\", which is no plain file in its own folder").arg(name);
        if (m.captured(2) == QLatin1String("SPARSE") && folder.filePath(name) != path) {
            QFile extent_file;
            if (open_plain_file(folder.filePath(name), extent_file))
                if (const QString refusal = sparse_extent_refusal(extent_file); !refusal.isEmpty())
                    return QStringLiteral("its extent \"%1\": %2").arg(name, refusal);
        }
        if (m.captured(2) != QLatin1String("FLAT"))
            continue;
        std::uint64_t sectors = 0, end = 0;
        if (__builtin_add_overflow(m.captured(1).toULongLong(), m.captured(4).toULongLong(), &sectors)
            || !multiply(sectors, sector_bytes, end) || end > static_cast<std::uint64_t>(QFileInfo(folder.filePath(name)).size()))
            return QStringLiteral("its extent \"%1\" claims more than its file holds").arg(name);
    }
    return {};
}

// The L1 table must lie in the file and map the whole virtual disk; unallocated clusters read
// as zeros, so the file's size itself bounds nothing.
QString qcow_refusal(QFile& file)
{
    const QByteArray head = read_at(file, 0, 48);
    const auto h = bytes_of(head);
    if (head.size() < 48 || load_be(h, 4, 4) < 2)
        return {}; // version 1 has another layout: the library checks it
    const std::uint64_t cluster_bits = load_be(h, 20, 4);
    const std::uint64_t size = load_be(h, 24, 8);
    const std::uint64_t l1_entries = load_be(h, 36, 4);
    const std::uint64_t l1_at = load_be(h, 40, 8);
    if (cluster_bits < 9 || cluster_bits > 21)
        return QStringLiteral("its cluster size is no power of two from 512 bytes to 2 MiB");
    std::uint64_t mapped = 0;
    const std::uint64_t per_l2 = (std::uint64_t{1} << cluster_bits) / 8 << cluster_bits;
    if (!multiply(l1_entries, per_l2, mapped))
        mapped = std::numeric_limits<std::uint64_t>::max();
    if (size > mapped)
        return claims_more(size, mapped);
    if (l1_at > static_cast<std::uint64_t>(file.size()) || l1_entries * 8 > static_cast<std::uint64_t>(file.size()) - l1_at)
        return QStringLiteral("its cluster table lies past its end");
    return {};
}

// A fixed disk is the file before its footer; a dynamic one is what its block table can map,
// and the table must lie in the file.
QString vhd_refusal(QFile& file)
{
    const std::uint64_t file_size = static_cast<std::uint64_t>(file.size());
    QByteArray footer = file_size >= sector_bytes ? read_at(file, file_size - sector_bytes, sector_bytes) : QByteArray();
    if (!footer.startsWith("conectix"))
        footer = read_at(file, 0, sector_bytes);
    const auto f = bytes_of(footer);
    if (footer.size() < 64)
        return {};
    const std::uint64_t size = load_be(f, 48, 8);
    const std::uint64_t type = load_be(f, 60, 4);
    if (type == 4)
        return QStringLiteral("it holds only the changes to a parent image, which is not read");
    if (type == 2)
        return file_size >= sector_bytes && size > file_size - sector_bytes ? claims_more(size, file_size - sector_bytes) : QString();
    const QByteArray header = read_at(file, load_be(f, 16, 8), 40);
    const auto d = bytes_of(header);
    if (type != 3 || header.size() < 40 || !header.startsWith("cxsparse"))
        return {};
    const std::uint64_t table_at = load_be(d, 16, 8), entries = load_be(d, 28, 4), block = load_be(d, 32, 4);
    std::uint64_t mapped = 0;
    multiply(entries, block, mapped); // both 32-bit: no overflow
    if (size > mapped)
        return claims_more(size, mapped);
    if (table_at > file_size || entries * 4 > file_size - table_at)
        return QStringLiteral("its block table lies past its end");
    return {};
}

// A VHDX's file parameters say whether it has a parent: its region table (at 192 KiB) leads to
// the metadata region, whose table leads to the parameters.
QString vhdx_refusal(QFile& file)
{
    constexpr std::array<std::uint8_t, 16> metadata_region = {0x06, 0xA2, 0x7C, 0x8B, 0x90, 0x47, 0x9A, 0x4B,
                                                              0xB8, 0xFE, 0x57, 0x5F, 0x05, 0x0F, 0x88, 0x6E};
    constexpr std::array<std::uint8_t, 16> file_parameters = {0x37, 0x67, 0xA1, 0xCA, 0x36, 0xFA, 0x43, 0x4D,
                                                              0xB3, 0xB6, 0x33, 0xF0, 0xAA, 0x44, 0xE7, 0x6B};
    const auto is = [](std::span<const std::byte> b, std::size_t at, const std::array<std::uint8_t, 16>& guid) {
        return at + 16 <= b.size() && std::memcmp(b.data() + at, guid.data(), 16) == 0;
    };
    const QByteArray regions = read_at(file, 192 << 10, 64 << 10);
    const auto r = bytes_of(regions);
    if (!regions.startsWith("regi") || regions.size() < 16)
        return {};
    for (std::uint64_t i = 0, count = std::min<std::uint64_t>(load_le32(r, 8), 2047); i < count; ++i) {
        const std::size_t entry = 16 + static_cast<std::size_t>(i) * 32;
        if (!is(r, entry, metadata_region) || entry + 28 > r.size())
            continue;
        const std::uint64_t base = load_le64(r, entry + 16);
        const QByteArray table = read_at(file, base, 64 << 10);
        const auto t = bytes_of(table);
        if (!table.startsWith("metadata") || table.size() < 32)
            return {};
        for (std::uint64_t k = 0, items = std::min<std::uint64_t>(load_le16(t, 10), 2047); k < items; ++k) {
            const std::size_t item = 32 + static_cast<std::size_t>(k) * 32;
            if (!is(t, item, file_parameters) || item + 24 > t.size())
                continue;
            const QByteArray parameters = read_at(file, base + load_le32(t, item + 16), 8);
            if (parameters.size() == 8 && (load_le32(bytes_of(parameters), 4) & 2) != 0)
                return QStringLiteral("it holds only the changes to a parent image, which is not read");
        }
    }
    return {};
}

} // namespace

QString container_refusal(const QString& path, image_format_e format)
{
    QFile file;
    if (!open_plain_file(path, file))
        return {}; // the opener says why a file that is no plain file cannot be read
    switch (format) {
    case image_format_e::vmdk: return vmdk_refusal(path, file);
    case image_format_e::qcow: return qcow_refusal(file);
    case image_format_e::vhd: return vhd_refusal(file);
    case image_format_e::vhdx: return vhdx_refusal(file);
    default: return {};
    }
}

} // namespace tarn
