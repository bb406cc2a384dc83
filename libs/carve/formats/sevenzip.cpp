// 7z: the signature header holds the offset, size and CRC of the header at the archive's end and
// its own CRC; both CRCs must match, and the end header must start as a header or an encoded one.

#include "libs/carve/carve_format.h"

#include <array>
#include <zlib.h>

namespace tarn {

namespace {

constexpr std::uint64_t signature_bytes = 32;

carve_found_s measure_7z(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    // Read whole, as a volume may hold a signature header every few bytes.
    std::array<std::byte, signature_bytes> head{};
    if (signature_bytes > limit || !in.read(start, head) || head[6] != std::byte{0})
        return 0;
    const std::uint32_t start_crc = load_le32(head, 8);
    const std::uint64_t next_offset = load_le64(head, 12);
    const std::uint64_t next_size = load_le64(head, 20);
    const std::uint32_t next_crc = load_le32(head, 28);
    if (next_size == 0 || next_offset > limit || next_size > limit - next_offset
        || signature_bytes + next_offset + next_size > limit)
        return 0;
    // Many candidates may name one end header: its CRC is taken once (see the reader's crc32),
    // and a candidate that names it with another CRC is passed over at once.
    const std::uint64_t header = start + signature_bytes + next_offset;
    std::uint32_t crc = 0;
    if (in.known_crc32(header, next_size, crc) && crc != next_crc)
        return 0;
    if (::crc32(0, reinterpret_cast<const Bytef*>(head.data() + 12), 20) != start_crc)
        return 0;
    const int kind = in.byte_at(header);
    if ((kind != 0x01 && kind != 0x17) || !in.crc32(header, next_size, crc) || crc != next_crc)
        return 0;
    return signature_bytes + next_offset + next_size;
}

} // namespace

const carve_format_s carve_7z{"7z", {std::string_view("7z\xBC\xAF\x27\x1C", 6)}, 4ull << 30, measure_7z};

} // namespace tarn
