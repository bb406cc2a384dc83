// HEIF (HEIC) and AVIF still images: the ISO boxes of MP4, named by their "ftyp" brands, with a
// "meta" box (the item list that describes the image) and an "mdat" holding the coded image. Image
// sequences carry a "moov" as well and are the same types.

#include "libs/carve/formats/iso_boxes.h"

#include <algorithm>
#include <array>

namespace tarn {

namespace {

carve_found_s measure_images(carve_reader_c& in, std::uint64_t start, std::uint64_t limit,
                             std::span<const std::uint32_t> brands)
{
    const std::uint32_t major = iso_major_brand(in, start);
    if (major == 0 || std::find(brands.begin(), brands.end(), major) == brands.end())
        return 0;
    const iso_walk_s walk = iso_walk(in, start, start + limit);
    return walk.meta && walk.media ? walk.end - start : 0;
}

carve_found_s measure_heic(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    static constexpr std::array<std::uint32_t, 7> brands{carve_tag("heic"), carve_tag("heix"), carve_tag("heim"),
                                                         carve_tag("heis"), carve_tag("hevc"), carve_tag("hevx"),
                                                         carve_tag("mif1")};
    // A "mif1" file is an AVIF when it says so among its compatible brands.
    if (iso_major_brand(in, start) == carve_tag("mif1") && iso_has_brand(in, start, carve_tag("avif")))
        return 0;
    return measure_images(in, start, limit, brands);
}

carve_found_s measure_avif(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    static constexpr std::array<std::uint32_t, 3> brands{carve_tag("avif"), carve_tag("avis"), carve_tag("mif1")};
    if (iso_major_brand(in, start) == carve_tag("mif1") && !iso_has_brand(in, start, carve_tag("avif")))
        return 0;
    return measure_images(in, start, limit, brands);
}

} // namespace

const carve_format_s carve_heic{"heic", {"ftyp"}, 256ull << 20, measure_heic, nullptr, 4};
const carve_format_s carve_avif{"avif", {"ftyp"}, 256ull << 20, measure_avif, nullptr, 4};

} // namespace tarn
