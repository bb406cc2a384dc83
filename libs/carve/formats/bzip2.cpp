// BZIP2: found whole without inflating. Every block starts with a 48-bit mark and its CRC, the
// stream ends with another mark and the combined CRC, all at bit (not byte) offsets; the combined
// CRC computed from the blocks' must equal the stored one. Streams written one after the other
// (parallel compressors) are one file.

#include "libs/carve/carve_format.h"

#include <array>

namespace tarn {

namespace {

constexpr std::uint64_t block_mark = 0x314159265359;
constexpr std::uint64_t end_mark = 0x177245385090;
constexpr std::uint64_t mark_mask = (1ull << 48) - 1;
constexpr int most_streams = 1 << 16;
constexpr int most_blocks = 1 << 20;

// The 32 bits at bit offset bit; false on a short read.
bool bits32(carve_reader_c& in, std::uint64_t bit, std::uint32_t& value)
{
    bool ok = true;
    const std::uint64_t word = std::uint64_t{in.be32(bit / 8, ok)} << 8 | static_cast<std::uint8_t>(in.byte_at(bit / 8 + 4));
    value = static_cast<std::uint32_t>(word >> (8 - bit % 8));
    return ok && (bit % 8 == 0 || in.byte_at(bit / 8 + 4) >= 0);
}

// The bit offset of the next mark at or after bit, before the byte stop (at most look bytes on),
// and whether it ends the stream; false when there is none.
bool next_mark(carve_reader_c& in, std::uint64_t bit, std::uint64_t stop, std::uint64_t look, std::uint64_t& found,
               bool& last)
{
    std::array<std::uint8_t, 1 << 14> chunk; // filled by each read
    std::uint64_t window = 0;
    std::uint64_t byte = bit / 8;
    const std::uint64_t until = std::min(stop, byte + look);
    for (std::uint64_t filled = 0; byte < until;) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), until - byte));
        if (!in.read(byte, std::as_writable_bytes(std::span<std::uint8_t>(chunk.data(), want))))
            return false;
        for (std::size_t i = 0; i < want; ++i, ++filled) {
            window = window << 8 | chunk[i];
            if (filled + 1 < 6) // a mark needs six bytes
                continue;
            for (unsigned shift = 0; shift < 8; ++shift) {
                const std::uint64_t candidate = window >> shift & mark_mask;
                const std::uint64_t at = (byte + i + 1) * 8 - shift - 48;
                if ((candidate == block_mark || candidate == end_mark) && at >= bit) {
                    found = at;
                    last = candidate == end_mark;
                    return true;
                }
            }
        }
        byte += want;
    }
    return false;
}

// One stream from the byte at: its end (a byte offset), 0 when it is not whole and sound.
std::uint64_t stream_end(carve_reader_c& in, std::uint64_t at, std::uint64_t stop)
{
    const int level = in.byte_at(at + 3);
    if (in.byte_at(at) != 'B' || in.byte_at(at + 1) != 'Z' || in.byte_at(at + 2) != 'h' || level < '1' || level > '9')
        return 0;
    // A block holds at most level times 100,000 bytes before compression and grows little.
    const std::uint64_t look = std::uint64_t(level - '0') * 125000 + 4096;
    std::uint32_t combined = 0;
    std::uint64_t bit = (at + 4) * 8;
    for (int blocks = 0; blocks < most_blocks; ++blocks) {
        std::uint64_t mark = 0;
        bool last = false;
        std::uint32_t crc = 0;
        if (!next_mark(in, bit, stop, look, mark, last) || (blocks == 0 && mark != bit) || !bits32(in, mark + 48, crc))
            return 0;
        if (last) {
            const std::uint64_t end = (mark + 48 + 32 + 7) / 8;
            return crc == combined && end <= stop ? end : 0;
        }
        combined = (combined << 1 | combined >> 31) ^ crc;
        bit = mark + 48 + 32;
    }
    return 0;
}

carve_found_s measure_bzip2(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    std::uint64_t end = stream_end(in, start, start + limit);
    if (end == 0)
        return 0;
    for (int streams = 1; streams < most_streams; ++streams) {
        const std::uint64_t next = stream_end(in, end, start + limit);
        if (next == 0)
            break;
        end = next;
    }
    return end - start;
}

} // namespace

// The header and the first block's mark, for each block size.
const carve_format_s carve_bzip2{"bz2",
                                 {"BZh11AY&SY", "BZh21AY&SY", "BZh31AY&SY", "BZh41AY&SY", "BZh51AY&SY", "BZh61AY&SY",
                                  "BZh71AY&SY", "BZh81AY&SY", "BZh91AY&SY"},
                                 1ull << 30,
                                 measure_bzip2};

} // namespace tarn
