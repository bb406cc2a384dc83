// 7z: the signature header holds the offset, size and CRC of the header at the archive's end and
// its own CRC; both CRCs must match, and the end header must start as a header or an encoded one.

#include "libs/carve/carve_format.h"

namespace tarn {

namespace {

constexpr std::uint64_t signature_bytes = 32;

carve_found_s measure_7z(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    bool ok = true;
    const int major = in.byte_at(start + 6);
    const std::uint32_t start_crc = in.le32(start + 8, ok);
    const std::uint64_t next_offset = in.le64(start + 12, ok);
    const std::uint64_t next_size = in.le64(start + 20, ok);
    const std::uint32_t next_crc = in.le32(start + 28, ok);
    std::uint32_t crc = 0;
    if (!ok || major != 0 || !in.crc32(start + 12, 20, crc) || crc != start_crc)
        return 0;
    if (next_size == 0 || next_offset > limit || next_size > limit - next_offset
        || signature_bytes + next_offset + next_size > limit)
        return 0;
    const std::uint64_t header = start + signature_bytes + next_offset;
    const int kind = in.byte_at(header);
    crc = 0;
    if ((kind != 0x01 && kind != 0x17) || !in.crc32(header, next_size, crc) || crc != next_crc)
        return 0;
    return signature_bytes + next_offset + next_size;
}

} // namespace

const carve_format_s carve_7z{"7z", {std::string_view("7z\xBC\xAF\x27\x1C", 6)}, 4ull << 30, measure_7z};

} // namespace tarn
