// GIF: the screen descriptor and its colour table, then image and extension blocks with their
// sub-blocks, to the trailer.

#include "libs/carve/carve_format.h"

namespace tarn {

namespace {

// Past a chain of sub-blocks (a size byte, that many bytes, until a size of 0); 0 on failure.
std::uint64_t skip_sub_blocks(carve_reader_c& in, std::uint64_t at, std::uint64_t end)
{
    while (at < end) {
        const int size = in.byte_at(at);
        if (size < 0)
            return 0;
        at += 1 + static_cast<std::uint64_t>(size);
        if (size == 0)
            return at;
    }
    return 0;
}

std::uint64_t colour_table(int flags)
{
    return (flags & 0x80) ? 3ull << ((flags & 7) + 1) : 0;
}

carve_found_s measure_gif(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const std::uint64_t end = start + limit;
    const int flags = in.byte_at(start + 10);
    if (flags < 0)
        return 0;
    std::uint64_t at = start + 13 + colour_table(flags);
    bool image = false;
    while (at != 0 && at < end) {
        const int block = in.byte_at(at);
        if (block == 0x3B)
            return image ? at + 1 - start : 0;
        if (block == 0x2C) {
            const int local = in.byte_at(at + 9);
            if (local < 0)
                return 0;
            at = skip_sub_blocks(in, at + 10 + colour_table(local) + 1, end); // +1: LZW code size
            image = true;
        } else if (block == 0x21) {
            at = skip_sub_blocks(in, at + 2, end);
        } else {
            return 0;
        }
    }
    return 0;
}

} // namespace

const carve_format_s carve_gif{"gif", {"GIF87a", "GIF89a"}, 32ull << 20, measure_gif};

} // namespace tarn
