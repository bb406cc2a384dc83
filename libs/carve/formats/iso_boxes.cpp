#include "libs/carve/formats/iso_boxes.h"

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

} // namespace

iso_walk_s iso_walk(carve_reader_c& in, std::uint64_t start, std::uint64_t stop)
{
    iso_walk_s walk;
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
        walk.movie |= type == carve_tag("moov");
        walk.media |= type == carve_tag("mdat");
        walk.meta |= type == carve_tag("meta");
        at += size;
    }
    walk.end = at;
    return walk;
}

std::uint32_t iso_major_brand(carve_reader_c& in, std::uint64_t start)
{
    bool ok = true;
    const std::uint32_t size = in.be32(start, ok);
    const std::uint32_t brand = in.be32(start + 8, ok);
    return ok && size >= 16 && size <= 4096 && size % 4 == 0 && in.be32(start + 4, ok) == carve_tag("ftyp") ? brand : 0;
}

bool iso_has_brand(carve_reader_c& in, std::uint64_t start, std::uint32_t brand)
{
    if (iso_major_brand(in, start) == 0)
        return false;
    bool ok = true;
    const std::uint32_t size = in.be32(start, ok);
    for (std::uint64_t at = start + 8; ok && at + 4 <= start + size; at += at == start + 8 ? 8 : 4) // skip the minor version
        if (in.be32(at, ok) == brand && ok)
            return true;
    return false;
}

} // namespace tarn
