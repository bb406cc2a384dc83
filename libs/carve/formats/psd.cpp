// PSD and PSB (the large document variant): the header, then four sections whose lengths are
// stated (colour data, image resources, layers and masks), then the composite image, whose size
// follows from the header for raw data or from its table of row lengths for run-length data.

#include "libs/carve/carve_format.h"

#include <array>

namespace tarn {

namespace {

constexpr std::uint64_t most_rows = 1ull << 24; // channels times rows of a run-length image

// The sum of the run-length image's row lengths, read in steps; false on a short read.
bool row_lengths(carve_reader_c& in, std::uint64_t at, std::uint64_t rows, bool large, std::uint64_t& sum)
{
    std::array<std::uint8_t, 1 << 14> step; // filled by each read
    const unsigned width = large ? 4 : 2;
    sum = 0;
    for (std::uint64_t done = 0; done < rows;) {
        const std::uint64_t n = std::min<std::uint64_t>(step.size() / width, rows - done);
        if (!in.read(at + done * width, std::as_writable_bytes(std::span<std::uint8_t>(step.data(), n * width))))
            return false;
        for (std::uint64_t i = 0; i < n; ++i) {
            const std::uint8_t* p = step.data() + i * width;
            sum += large ? (std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3])
                         : (std::uint32_t{p[0]} << 8 | p[1]);
        }
        done += n;
    }
    return true;
}

carve_found_s measure_psd(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    bool ok = true;
    const unsigned version = in.be16(start + 4, ok);
    const std::uint64_t reserved = std::uint64_t{in.be32(start + 6, ok)} << 16 | in.be16(start + 10, ok);
    const unsigned channels = in.be16(start + 12, ok);
    const std::uint32_t height = in.be32(start + 14, ok);
    const std::uint32_t width = in.be32(start + 18, ok);
    const unsigned depth = in.be16(start + 22, ok);
    const unsigned mode = in.be16(start + 24, ok);
    const bool large = version == 2;
    const std::uint32_t most_side = large ? 300000 : 30000;
    if (!ok || (version != 1 && version != 2) || reserved != 0 || channels == 0 || channels > 56 || height == 0
        || width == 0 || height > most_side || width > most_side || (depth != 1 && depth != 8 && depth != 16 && depth != 32)
        || mode > 9)
        return 0;
    std::uint64_t at = start + 26;
    for (int section = 0; section < 3 && ok; ++section) {
        const std::uint64_t length = section == 2 && large ? in.be64(at, ok) : in.be32(at, ok);
        if (section == 1 && length != 0 && in.be32(at + 4, ok) != carve_tag("8BIM"))
            return 0;
        at += (section == 2 && large ? 8 : 4) + length;
        if (at > start + limit)
            return 0;
    }
    const unsigned compression = in.be16(at, ok);
    const std::uint64_t rows = std::uint64_t{channels} * height;
    std::uint64_t data = 0;
    if (compression == 0) {
        data = rows * ((std::uint64_t{width} * depth + 7) / 8);
    } else if (compression == 1 && rows <= most_rows && row_lengths(in, at + 2, rows, large, data)) {
        data += rows * (large ? 4 : 2);
    } else {
        return 0; // the zip-compressed composite states no length
    }
    const std::uint64_t end = at + 2 + data;
    return ok && end <= start + limit ? end - start : 0;
}

} // namespace

const carve_format_s carve_psd{"psd", {std::string_view("8BPS\0\1", 6), std::string_view("8BPS\0\2", 6)}, 2ull << 30, measure_psd};

} // namespace tarn
