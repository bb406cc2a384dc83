// PNG: the signature, IHDR first, then chunks whose CRCs must match, to IEND. A chunk whose CRC
// fails is where the file broke: when another whole file starts on a sector inside that chunk's
// image data, the PNG is joined with the data after that file if the chunk's CRC then matches and
// the chunks go on to IEND; otherwise it is cut where the other file starts (or after its last
// sound chunk) and reported partial, as long as image data remains.

#include "libs/carve/formats/fragments.h"

#include <array>

namespace tarn {

namespace {

constexpr int most_chunks = 1000000;
constexpr std::uint32_t longest_chunk = 1u << 30;

struct chunk_walk_s {
    std::uint64_t end = 0;    // past IEND, 0 when the walk broke
    std::uint64_t broke = 0;  // the chunk where it broke
    std::uint32_t length = 0; // that chunk's stated length and type
    std::uint32_t type = 0;
    bool image = false;       // a whole IDAT chunk was passed
};

// The CRC runs over the chunk's type and data.
bool crc_matches(carve_reader_c& in, const split_layout_s& layout, std::uint64_t at, std::uint32_t length)
{
    std::uint32_t crc = 0;
    std::array<std::byte, 4> stored{};
    if (!layout.crc32(in, at + 4, std::uint64_t{length} + 4, crc) || !layout.read(in, at + 8 + length, stored))
        return false;
    std::uint32_t value = 0;
    for (const std::byte b : stored)
        value = value << 8 | std::to_integer<std::uint32_t>(b);
    return crc == value;
}

chunk_walk_s walk_chunks(carve_reader_c& in, std::uint64_t at, std::uint64_t stop, bool first)
{
    chunk_walk_s walk;
    for (int chunks = 0; chunks < most_chunks; ++chunks) {
        bool ok = true;
        walk.broke = at;
        walk.length = in.be32(at, ok);
        walk.type = in.be32(at + 4, ok);
        if (!ok || walk.length > longest_chunk || (first && chunks == 0 && (walk.type != carve_tag("IHDR") || walk.length != 13)))
            return walk;
        if (at + 12 + walk.length > stop || !crc_matches(in, {}, at, walk.length))
            return walk;
        at += 12 + std::uint64_t{walk.length};
        walk.image |= walk.type == carve_tag("IDAT");
        if (walk.type == carve_tag("IEND")) {
            walk.end = at;
            return walk;
        }
    }
    return walk;
}

carve_found_s measure_png(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const std::uint64_t stop = start + limit;
    const chunk_walk_s walk = walk_chunks(in, start + 8, stop, true);
    if (walk.end != 0)
        return walk.end - start;
    if (walk.broke == start + 8 || walk.type != carve_tag("IDAT") || walk.length > longest_chunk)
        return walk.image ? carve_found_s::cut(walk.broke - start) : carve_found_s{};
    const std::uint64_t chunk_end = walk.broke + 12 + walk.length;
    foreign_s other;
    if (!foreign_file(in, walk.broke + 8, std::min(chunk_end, stop), stop, other))
        return walk.image ? carve_found_s::cut(walk.broke - start) : carve_found_s{};
    carve_found_s joined(other.at - start);
    if (each_resume(other.end, stop, [&](std::uint64_t resume) {
            const split_layout_s layout{other.at, resume};
            if (layout.place(chunk_end) > stop || !crc_matches(in, layout, walk.broke, walk.length))
                return false;
            const std::uint64_t end = walk_chunks(in, layout.place(chunk_end), stop, false).end;
            joined.tail_at = resume;
            joined.tail_size = end != 0 ? end - resume : 0;
            return end != 0;
        }))
        return joined;
    return carve_found_s::cut(other.at - start);
}

} // namespace

const carve_format_s carve_png{"png", {std::string_view("\x89PNG\r\n\x1A\n", 8)}, 64ull << 20, measure_png};

} // namespace tarn
