// BMP: the file header's size, when the header around it is sound (reserved words zero, the
// pixel data inside the file, a known info header size, sane dimensions).

#include "libs/carve/carve_format.h"

namespace tarn {

namespace {

carve_found_s measure_bmp(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    bool ok = true;
    const std::uint32_t size = in.le32(start + 2, ok);
    const std::uint32_t reserved = in.le32(start + 6, ok);
    const std::uint32_t data = in.le32(start + 10, ok);
    const std::uint32_t header = in.le32(start + 14, ok);
    const std::uint32_t width = in.le32(start + 18, ok);
    if (!ok || reserved != 0 || size < 30 || size > limit || data < 14 + header || data >= size)
        return 0;
    if (header != 12 && header != 40 && header != 52 && header != 56 && header != 108 && header != 124)
        return 0;
    if (header != 12 && (width == 0 || width > 100000))
        return 0;
    return size;
}

} // namespace

const carve_format_s carve_bmp{"bmp", {"BM"}, 64ull << 20, measure_bmp};

} // namespace tarn
