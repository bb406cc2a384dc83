// RAR, versions 4 and 5: the blocks walked one by one from the signature, each header's CRC
// checked and each file's packed data skipped, to the end-of-archive block. An archive whose
// headers are encrypted cannot be walked and is given up. The archive's main header comes first
// and only there: so no archive's walk passes over another one's start, and a volume of blocks
// that each hide a signature costs one short walk per signature, not a walk to the end from each.
// The blocks are walked to the end block first and their CRCs checked only then, on a second
// walk: a chain of blocks that never ends costs no checksums.

#include "libs/carve/carve_format.h"

#include <array>

namespace tarn {

namespace {

constexpr int most_blocks = 1 << 20;
constexpr unsigned rar4_main = 0x73, rar4_file = 0x74, rar4_end = 0x7B;
constexpr unsigned rar5_main = 1, rar5_encryption = 4, rar5_end = 5;

bool header_crc(carve_reader_c& in, std::uint64_t at, std::uint64_t length, std::uint32_t stored, bool low16)
{
    std::uint32_t crc = 0;
    return in.crc32(at, length, crc) && (low16 ? (crc & 0xFFFF) : crc) == stored;
}

// The block at at, the main header when first: the offset past it and its data, whether it ends
// the archive; 0 when it is no sound block within stop.
std::uint64_t rar4_block(carve_reader_c& in, std::uint64_t at, std::uint64_t stop, bool first, bool checked,
                         bool& last)
{
    std::array<std::byte, 7> head{};
    if (!in.read(at, head))
        return 0;
    bool ok = true;
    const unsigned crc = load_le16(head, 0);
    const auto type = std::to_integer<unsigned>(head[2]);
    const unsigned flags = load_le16(head, 3);
    const unsigned size = load_le16(head, 5);
    if (type < 0x72 || type > 0x7B || (type == rar4_main) != first || size < 7 || at + size > stop
        || (checked && !header_crc(in, at + 2, size - 2, crc, true)))
        return 0;
    std::uint64_t data = 0;
    if (type == rar4_file && size >= 32) {
        data = in.le32(at + 7, ok);
        if ((flags & 0x100) != 0) // the high halves of the sizes follow the fixed fields
            data |= std::uint64_t{in.le32(at + 32, ok)} << 32;
    } else if ((flags & 0x8000) != 0) {
        data = in.le32(at + 7, ok);
    }
    last = type == rar4_end;
    return ok && data <= stop - at - size ? at + size + data : 0;
}

// The archive's end, walked with or without the CRCs checked; 0 when it has none.
std::uint64_t rar4_end_at(carve_reader_c& in, std::uint64_t start, std::uint64_t stop, bool checked)
{
    std::uint64_t at = start + 7;
    for (int blocks = 0; blocks < most_blocks; ++blocks) {
        bool last = false;
        const std::uint64_t next = rar4_block(in, at, stop, blocks == 0, checked, last);
        if (next == 0 || last)
            return next;
        at = next;
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

// The block at at, the main header when first: the offset past it and its data, whether it ends
// the archive; 0 when it is no sound block within stop, or an encrypted header.
std::uint64_t rar5_block(carve_reader_c& in, std::uint64_t at, std::uint64_t stop, bool first, bool checked,
                         bool& last)
{
    bool ok = true;
    const std::uint32_t crc = in.le32(at, ok);
    std::uint64_t field = at + 4;
    std::uint64_t size = 0, type = 0, flags = 0, extra = 0, data = 0;
    if (!ok || !vint(in, field, size) || size == 0 || size > (2u << 20) || size > stop - std::min(stop, field)
        || (checked && !header_crc(in, at + 4, field + size - (at + 4), crc, false)))
        return 0;
    const std::uint64_t header_end = field + size;
    if (!vint(in, field, type) || !vint(in, field, flags) || ((flags & 1) != 0 && !vint(in, field, extra))
        || ((flags & 2) != 0 && !vint(in, field, data)) || type == 0 || type > rar5_end || type == rar5_encryption
        || (type == rar5_main) != first || data > stop - header_end)
        return 0;
    last = type == rar5_end;
    return header_end + data;
}

std::uint64_t rar5_end_at(carve_reader_c& in, std::uint64_t start, std::uint64_t stop, bool checked)
{
    std::uint64_t at = start + 8;
    for (int blocks = 0; blocks < most_blocks; ++blocks) {
        bool last = false;
        const std::uint64_t next = rar5_block(in, at, stop, blocks == 0, checked, last);
        if (next == 0 || last)
            return next;
        at = next;
    }
    return 0;
}

carve_found_s measure_rar(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const int version = in.byte_at(start + 6);
    const auto end_at = version == 0 ? rar4_end_at : version == 1 && in.byte_at(start + 7) == 0 ? rar5_end_at : nullptr;
    if (end_at == nullptr || end_at(in, start, start + limit, false) == 0)
        return 0;
    const std::uint64_t end = end_at(in, start, start + limit, true);
    return end != 0 ? end - start : 0;
}

// RAR 4 goes on with the archive's main header (its type byte after a 16-bit CRC), RAR 5 with
// the rest of its signature; bytes past the view prove nothing.
bool rar_header_test(std::span<const std::byte> b)
{
    if (b.size() < 10)
        return true;
    const int version = std::to_integer<int>(b[6]);
    return (version == 0 && std::to_integer<unsigned>(b[9]) == rar4_main) || (version == 1 && b[7] == std::byte{0});
}

} // namespace

const carve_format_s carve_rar{"rar", {std::string_view("Rar!\x1A\x07", 6)}, 4ull << 30, measure_rar, nullptr, 0,
                               nullptr, rar_header_test};

} // namespace tarn
