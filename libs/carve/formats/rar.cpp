// RAR, versions 4 and 5: the blocks walked one by one from the signature, each header's CRC
// checked and each file's packed data skipped, to the end-of-archive block. An archive whose
// headers are encrypted cannot be walked and is given up.

#include "libs/carve/carve_format.h"

namespace tarn {

namespace {

constexpr int most_blocks = 1 << 20;
constexpr unsigned rar4_file = 0x74, rar4_end = 0x7B;
constexpr unsigned rar5_encryption = 4, rar5_end = 5;

bool header_crc(carve_reader_c& in, std::uint64_t at, std::uint64_t length, std::uint32_t stored, bool low16)
{
    std::uint32_t crc = 0;
    return in.crc32(at, length, crc) && (low16 ? (crc & 0xFFFF) : crc) == stored;
}

carve_found_s measure_rar4(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    std::uint64_t at = start + 7;
    for (int blocks = 0; blocks < most_blocks; ++blocks) {
        bool ok = true;
        const unsigned crc = in.le16(at, ok);
        const int type = in.byte_at(at + 2);
        const unsigned flags = in.le16(at + 3, ok);
        const unsigned size = in.le16(at + 5, ok);
        if (!ok || type < 0x72 || type > 0x7B || size < 7 || at + size > start + limit
            || !header_crc(in, at + 2, size - 2, crc, true))
            return 0;
        std::uint64_t data = 0;
        if (static_cast<unsigned>(type) == rar4_file && size >= 32) {
            data = in.le32(at + 7, ok);
            if ((flags & 0x100) != 0) // the high halves of the sizes follow the fixed fields
                data |= std::uint64_t{in.le32(at + 32, ok)} << 32;
        } else if ((flags & 0x8000) != 0) {
            data = in.le32(at + 7, ok);
        }
        at += size + data;
        if (!ok || at > start + limit)
            return 0;
        if (static_cast<unsigned>(type) == rar4_end)
            return at - start;
    }
    return 0;
}

// A RAR 5 variable-length number: seven bits a byte, low first; false past ten bytes.
bool vint(carve_reader_c& in, std::uint64_t& at, std::uint64_t& value)
{
    value = 0;
    for (int i = 0; i < 10; ++i) {
        const int b = in.byte_at(at++);
        if (b < 0)
            return false;
        value |= std::uint64_t(b & 0x7F) << (7 * i);
        if ((b & 0x80) == 0)
            return true;
    }
    return false;
}

carve_found_s measure_rar5(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const std::uint64_t stop = start + limit;
    std::uint64_t at = start + 8;
    for (int blocks = 0; blocks < most_blocks; ++blocks) {
        bool ok = true;
        const std::uint32_t crc = in.le32(at, ok);
        std::uint64_t field = at + 4;
        std::uint64_t size = 0, type = 0, flags = 0, extra = 0, data = 0;
        if (!ok || !vint(in, field, size) || size == 0 || size > (2u << 20) || field + size > stop
            || !header_crc(in, at + 4, field + size - (at + 4), crc, false))
            return 0;
        const std::uint64_t header_end = field + size;
        if (!vint(in, field, type) || !vint(in, field, flags) || ((flags & 1) != 0 && !vint(in, field, extra))
            || ((flags & 2) != 0 && !vint(in, field, data)) || type == 0 || type > rar5_end || type == rar5_encryption
            || data > stop - header_end)
            return 0;
        at = header_end + data;
        if (type == rar5_end)
            return at - start;
    }
    return 0;
}

carve_found_s measure_rar(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const int version = in.byte_at(start + 6);
    if (version == 0)
        return measure_rar4(in, start, limit);
    return version == 1 && in.byte_at(start + 7) == 0 ? measure_rar5(in, start, limit) : carve_found_s{};
}

} // namespace

const carve_format_s carve_rar{"rar", {std::string_view("Rar!\x1A\x07", 6)}, 4ull << 30, measure_rar};

} // namespace tarn
