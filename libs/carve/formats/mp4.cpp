// MP4 and QuickTime: a walk over the top-level boxes that must include a "moov" and an "mdat".
// The "ftyp" box's major brand tells QuickTime ("qt  ") from MP4; older QuickTime files have no
// "ftyp" and start with "wide", "mdat" or "moov". Still images in the same boxes (HEIF, AVIF) are
// their own types.

#include "libs/carve/formats/iso_boxes.h"

namespace tarn {

namespace {

// The end of the boxes walked from start, 0 unless they include a "moov" and an "mdat".
std::uint64_t movie_end(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const iso_walk_s walk = iso_walk(in, start, start + limit);
    return walk.movie && walk.media ? walk.end - start : 0;
}

carve_found_s measure_mp4(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const std::uint32_t brand = iso_major_brand(in, start);
    return brand == 0 || brand == carve_tag("qt  ") ? 0 : movie_end(in, start, limit);
}

carve_found_s measure_mov(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    bool ok = true;
    const std::uint32_t type = in.be32(start + 4, ok);
    if (!ok || (type == carve_tag("ftyp") && iso_major_brand(in, start) != carve_tag("qt  ")))
        return 0;
    return movie_end(in, start, limit);
}

// Audio-only MP4 files say so in their brand.
const char* name_mp4(carve_reader_c& in, std::uint64_t start, std::uint64_t)
{
    const std::uint32_t brand = iso_major_brand(in, start);
    return brand == carve_tag("M4A ") ? "m4a" : brand == carve_tag("3gp4") || brand == carve_tag("3gp5") ? "3gp" : nullptr;
}

} // namespace

// The patterns are box types, four bytes past the box's start.
const carve_format_s carve_mp4{"mp4", {"ftyp"}, 16ull << 30, measure_mp4, name_mp4, 4};
const carve_format_s carve_mov{"mov", {"ftyp", "wide", "mdat", "moov"}, 16ull << 30, measure_mov, nullptr, 4};

} // namespace tarn
