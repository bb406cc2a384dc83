// FLV: the header, then tags (audio, video or script data), each followed by its size; a tag
// counts only when that size repeats its own, so the walk ends exactly after the last tag.

#include "libs/carve/carve_format.h"

namespace tarn {

namespace {

constexpr int most_tags = 1 << 24;

carve_found_s measure_flv(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    bool ok = true;
    const int flags = in.byte_at(start + 4);
    const std::uint32_t header = in.be32(start + 5, ok);
    if (!ok || flags < 0 || (flags & ~0x05) != 0 || header != 9 || in.be32(start + 9, ok) != 0 || !ok)
        return 0;
    const std::uint64_t stop = start + limit;
    std::uint64_t at = start + 13;
    int tags = 0;
    for (; tags < most_tags; ++tags) {
        const int type = in.byte_at(at);
        const std::uint32_t size = in.be32(at, ok) & 0xFFFFFF;
        const std::uint32_t stream = in.be32(at + 7, ok) & 0xFFFFFF;
        const std::uint64_t next = at + 11 + size + 4;
        if (!ok || (type != 8 && type != 9 && type != 18) || stream != 0 || next > stop || in.be32(next - 4, ok) != 11 + size || !ok)
            break;
        at = next;
    }
    return tags == 0 ? 0 : at - start;
}

} // namespace

const carve_format_s carve_flv{"flv", {"FLV\x01"}, 4ull << 30, measure_flv};

} // namespace tarn
