// Camera raw files built on TIFF, each told apart from a plain TIFF before the TIFF type gets it:
// CR2 by the "CR" version after the header, NEF and ARW by the maker in the first directory, DNG by
// its version tag. Their ends come from the same directory walk.

#include "libs/carve/formats/tiff_walk.h"

namespace tarn {

namespace {

carve_found_s measure_cr2(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    return tiff_measure(in, start, limit, tiff_kind_e::cr2);
}

carve_found_s measure_nef(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    return tiff_measure(in, start, limit, tiff_kind_e::nef);
}

carve_found_s measure_arw(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    return tiff_measure(in, start, limit, tiff_kind_e::arw);
}

carve_found_s measure_dng(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    return tiff_measure(in, start, limit, tiff_kind_e::dng);
}

constexpr std::string_view little("II*\0", 4);
constexpr std::string_view big("MM\0*", 4);

} // namespace

const carve_format_s carve_cr2{"cr2", {std::string_view("II*\0\x10\0\0\0CR", 10)}, 256ull << 20, measure_cr2};
const carve_format_s carve_nef{"nef", {little, big}, 256ull << 20, measure_nef};
const carve_format_s carve_arw{"arw", {little}, 256ull << 20, measure_arw};
const carve_format_s carve_dng{"dng", {little, big}, 512ull << 20, measure_dng};

} // namespace tarn
