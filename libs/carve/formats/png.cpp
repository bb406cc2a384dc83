// PNG: the signature, IHDR first, then chunks whose CRCs must match, to IEND.

#include "libs/carve/carve_format.h"


namespace tarn {

namespace {

// The CRC runs over the chunk's type and data.
bool crc_matches(carve_reader_c& in, std::uint64_t at, std::uint32_t length)
{
    std::uint32_t crc = 0;
    bool ok = in.crc32(at + 4, std::uint64_t{length} + 4, crc);
    const std::uint32_t stored = in.be32(at + 8 + length, ok);
    return ok && crc == stored;
}

carve_found_s measure_png(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    std::uint64_t at = start + 8;
    for (int chunks = 0; chunks < 1000000; ++chunks) {
        bool ok = true;
        const std::uint32_t length = in.be32(at, ok);
        const std::uint32_t type = in.be32(at + 4, ok);
        if (!ok || length > (1u << 30) || at + 12 + length > start + limit)
            return 0;
        if (chunks == 0 && (type != carve_tag("IHDR") || length != 13))
            return 0;
        if (!crc_matches(in, at, length))
            return 0;
        at += 12 + std::uint64_t{length};
        if (type == carve_tag("IEND"))
            return at - start;
    }
    return 0;
}

} // namespace

const carve_format_s carve_png{"png", {std::string_view("\x89PNG\r\n\x1A\n", 8)}, 64ull << 20, measure_png};

} // namespace tarn
