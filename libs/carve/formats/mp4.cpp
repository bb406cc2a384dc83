// MP4 and QuickTime: a walk over the top-level boxes (32-bit sizes, or 64-bit ones when the size
// says 1). The file ends where the next box is not a known top-level box, is cut off, or is
// another file's "ftyp"; it must hold a "moov" and an "mdat". The "ftyp" box's major brand tells
// QuickTime ("qt  ") from MP4; older QuickTime files have no "ftyp" and start with "wide",
// "mdat" or "moov".

#include "libs/carve/carve_format.h"

#include <algorithm>
#include <array>

namespace tarn {

namespace {

constexpr int most_boxes = 1 << 20;

bool top_level(std::uint32_t type)
{
    static constexpr std::array<std::uint32_t, 17> known{
        carve_tag("ftyp"), carve_tag("moov"), carve_tag("mdat"), carve_tag("free"), carve_tag("skip"),
        carve_tag("wide"), carve_tag("uuid"), carve_tag("pdin"), carve_tag("moof"), carve_tag("mfra"),
        carve_tag("meta"), carve_tag("styp"), carve_tag("sidx"), carve_tag("ssix"), carve_tag("prft"),
        carve_tag("emsg"), carve_tag("pnot")};
    return std::find(known.begin(), known.end(), type) != known.end();
}

// The end of the boxes walked from start, 0 unless they include a "moov" and an "mdat".
std::uint64_t walk_boxes(carve_reader_c& in, std::uint64_t start, std::uint64_t stop)
{
    bool movie = false;
    bool media = false;
    std::uint64_t at = start;
    for (int boxes = 0; boxes < most_boxes && at + 8 <= stop; ++boxes) {
        bool ok = true;
        std::uint64_t size = in.be32(at, ok);
        const std::uint32_t type = in.be32(at + 4, ok);
        std::uint64_t header = 8;
        if (ok && size == 1) {
            size = in.be64(at + 8, ok);
            header = 16;
        }
        if (!ok || !top_level(type) || (type == carve_tag("ftyp") && at != start) || size < header
            || size > stop - at)
            break;
        movie |= type == carve_tag("moov");
        media |= type == carve_tag("mdat");
        at += size;
    }
    return movie && media ? at : 0;
}

// Whether the box at start is an "ftyp" of sane size whose major brand is (qt true) or is not
// QuickTime's.
bool file_type(carve_reader_c& in, std::uint64_t start, bool qt)
{
    bool ok = true;
    const std::uint32_t size = in.be32(start, ok);
    const std::uint32_t brand = in.be32(start + 8, ok);
    return ok && size >= 16 && size <= 4096 && size % 4 == 0 && in.be32(start + 4, ok) == carve_tag("ftyp")
           && (brand == carve_tag("qt  ")) == qt;
}

std::uint64_t measure_mp4(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    if (!file_type(in, start, false))
        return 0;
    const std::uint64_t end = walk_boxes(in, start, start + limit);
    return end == 0 ? 0 : end - start;
}

std::uint64_t measure_mov(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    bool ok = true;
    const std::uint32_t type = in.be32(start + 4, ok);
    if (!ok || (type == carve_tag("ftyp") && !file_type(in, start, true)))
        return 0;
    const std::uint64_t end = walk_boxes(in, start, start + limit);
    return end == 0 ? 0 : end - start;
}

} // namespace

// The patterns are box types, four bytes past the box's start.
const carve_format_s carve_mp4{"mp4", {"ftyp"}, 16ull << 30, measure_mp4, nullptr, 4};
const carve_format_s carve_mov{"mov", {"ftyp", "wide", "mdat", "moov"}, 16ull << 30, measure_mov, nullptr, 4};

} // namespace tarn
