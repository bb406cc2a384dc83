// WebP: a RIFF list of form "WEBP" whose chunks fill it exactly and whose first chunk is the image
// ("VP8 " lossy, "VP8L" lossless) or the extended header ("VP8X") that announces the others.

#include "libs/carve/formats/riff_chunks.h"

namespace tarn {

namespace {

carve_found_s measure_webp(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    bool ok = true;
    const std::uint32_t first = in.be32(start + 12, ok);
    if (!ok || (first != carve_tag("VP8 ") && first != carve_tag("VP8L") && first != carve_tag("VP8X")))
        return 0;
    unsigned found = 0;
    const std::uint64_t end = riff_walk(in, start, start + limit, carve_tag("WEBP"), {}, found);
    return end == 0 ? 0 : end - start;
}

} // namespace

const carve_format_s carve_webp{"webp", {"RIFF"}, 64ull << 20, measure_webp};

} // namespace tarn
