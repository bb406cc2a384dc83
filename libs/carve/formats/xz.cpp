// XZ: found whole without inflating. The stream header's flags and CRC, then the footer found ahead:
// its CRC, the same flags, and a backward size that points at an index whose CRC matches and whose
// records' block sizes, added up, fill the space between the header and the index exactly.

#include "libs/carve/carve_format.h"

#include <string_view>

namespace tarn {

namespace {

constexpr std::uint64_t header_bytes = 12;
constexpr std::uint64_t most_records = 1 << 20;

// A multibyte integer of the index: seven bits a byte, low first, at most nine bytes.
bool xz_number(carve_reader_c& in, std::uint64_t& at, std::uint64_t stop, std::uint64_t& value)
{
    value = 0;
    for (int i = 0; i < 9 && at < stop; ++i) {
        const int b = in.byte_at(at++);
        if (b < 0 || (i > 0 && b == 0))
            return false;
        value |= std::uint64_t(b & 0x7F) << (7 * i);
        if ((b & 0x80) == 0)
            return true;
    }
    return false;
}

// Whether the index at at, of length bytes, describes blocks filling exactly blocks bytes.
bool index_fits(carve_reader_c& in, std::uint64_t at, std::uint64_t length, std::uint64_t blocks)
{
    bool ok = true;
    std::uint32_t crc = 0;
    const std::uint64_t crc_at = at + length - 4;
    if (length < 8 || in.byte_at(at) != 0 || !in.crc32(at, length - 4, crc) || crc != in.le32(crc_at, ok) || !ok)
        return false;
    std::uint64_t field = at + 1;
    std::uint64_t records = 0, total = 0;
    if (!xz_number(in, field, crc_at, records) || records > most_records)
        return false;
    for (std::uint64_t i = 0; i < records; ++i) {
        std::uint64_t unpadded = 0, size = 0;
        if (!xz_number(in, field, crc_at, unpadded) || !xz_number(in, field, crc_at, size) || unpadded < 5)
            return false;
        total += (unpadded + 3) & ~std::uint64_t{3};
    }
    // The index is padded with zeros to four bytes.
    for (; field < crc_at; ++field)
        if (in.byte_at(field) != 0)
            return false;
    return total == blocks;
}

carve_found_s measure_xz(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    bool ok = true;
    const std::uint32_t flags = in.le16(start + 6, ok);
    const std::uint32_t stored = in.le32(start + 8, ok);
    std::uint32_t crc = 0;
    if (!ok || (flags & 0xF0FF) != 0 || !in.crc32(start + 6, 2, crc) || crc != stored)
        return 0;
    const std::uint64_t stop = start + limit;
    for (std::uint64_t at = start + header_bytes; (at = in.find(at, stop, "YZ")) != stop; ++at) {
        const std::uint64_t footer = at - 10;
        if ((at + 2 - start) % 4 != 0 || footer < start + header_bytes || in.le16(at - 2, ok) != flags || !ok)
            continue;
        crc = 0;
        const std::uint64_t backward = (std::uint64_t{in.le32(footer + 4, ok)} + 1) * 4;
        if (!ok || !in.crc32(footer + 4, 6, crc) || crc != in.le32(footer, ok) || backward > footer - start - header_bytes)
            continue;
        const std::uint64_t index = footer - backward;
        if (index_fits(in, index, backward, index - start - header_bytes))
            return at + 2 - start;
    }
    return 0;
}

} // namespace

const carve_format_s carve_xz{"xz", {std::string_view("\xFD" "7zXZ\0", 6)}, 1ull << 30, measure_xz};

} // namespace tarn
