// ICO: the directory of images (each entry's size and offset), every image inside the file and
// starting with a PNG signature or a bitmap info header. The file ends at the furthest image.

#include "libs/carve/carve_format.h"

#include <algorithm>
#include <string_view>

namespace tarn {

namespace {

constexpr unsigned most_images = 64;

bool image_start(carve_reader_c& in, std::uint64_t at)
{
    bool ok = true;
    const std::uint32_t first = in.be32(at, ok);
    const std::uint32_t header = in.le32(at, ok);
    return ok && (first == 0x89504E47 || header == 40 || header == 108 || header == 124);
}

carve_found_s measure_ico(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    bool ok = true;
    const unsigned reserved = in.le16(start, ok);
    const unsigned count = in.le16(start + 4, ok);
    if (!ok || reserved != 0 || count == 0 || count > most_images)
        return 0;
    const std::uint64_t table_end = 6 + 16ull * count;
    std::uint64_t end = table_end;
    for (unsigned i = 0; i < count; ++i) {
        const std::uint64_t entry = start + 6 + 16ull * i;
        const int zero = in.byte_at(entry + 3);
        const unsigned planes = in.le16(entry + 4, ok);
        const unsigned bits = in.le16(entry + 6, ok);
        const std::uint32_t size = in.le32(entry + 8, ok);
        const std::uint32_t offset = in.le32(entry + 12, ok);
        if (!ok || zero != 0 || planes > 1 || bits > 32 || size < 40 || offset < table_end || offset > limit
            || size > limit - offset || !image_start(in, start + offset))
            return 0;
        end = std::max<std::uint64_t>(end, std::uint64_t{offset} + size);
    }
    return end;
}

} // namespace

// Reserved zero and type 1, then the image count: the patterns start at the type, so that runs of
// zero bytes are not candidates.
const carve_format_s carve_ico{"ico",
                               {std::string_view("\1\0\1\0", 4), std::string_view("\1\0\2\0", 4),
                                std::string_view("\1\0\3\0", 4), std::string_view("\1\0\4\0", 4),
                                std::string_view("\1\0\5\0", 4), std::string_view("\1\0\6\0", 4),
                                std::string_view("\1\0\7\0", 4), std::string_view("\1\0\x08\0", 4)},
                               16ull << 20,
                               measure_ico,
                               nullptr,
                               2};

} // namespace tarn
