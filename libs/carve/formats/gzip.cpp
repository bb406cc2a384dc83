// GZIP: one member. Its header, then the deflate stream inflated to its end (the stream alone says
// where it ends), then the trailer, whose CRC-32 and length of the inflated data must match.
// Random bytes after a header fail within a few bytes of inflating.

#include "libs/carve/formats/deflate.h"

namespace tarn {

namespace {

constexpr int text_flag = 1, header_crc = 2, extra = 4, file_name = 8, comment = 16;

// The offset just past the zero that ends the text at at, 0 when none within longest bytes.
std::uint64_t past_text(carve_reader_c& in, std::uint64_t at, std::uint64_t longest)
{
    for (std::uint64_t i = 0; i < longest; ++i) {
        const int c = in.byte_at(at + i);
        if (c <= 0)
            return c == 0 ? at + i + 1 : 0;
    }
    return 0;
}

// The offset where the deflate data starts, 0 when the header is not one a writer makes.
std::uint64_t past_header(carve_reader_c& in, std::uint64_t start)
{
    const int flags = in.byte_at(start + 3);
    const int system = in.byte_at(start + 9);
    if (flags < 0 || (flags & ~(text_flag | header_crc | extra | file_name | comment)) != 0 || system < 0
        || (system > 13 && system != 255))
        return 0;
    std::uint64_t at = start + 10;
    if ((flags & extra) != 0) {
        bool ok = true;
        at += 2 + in.le16(at, ok);
        if (!ok)
            return 0;
    }
    if ((flags & file_name) != 0 && (at = past_text(in, at, 4096)) == 0)
        return 0;
    if ((flags & comment) != 0 && (at = past_text(in, at, 1 << 16)) == 0)
        return 0;
    return (flags & header_crc) != 0 ? at + 2 : at;
}

carve_found_s measure_gzip(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const std::uint64_t stop = start + limit;
    const std::uint64_t data = past_header(in, start);
    inflated_s stream;
    if (data == 0 || data >= stop || !inflate_stream(in, {}, data, stop, stream))
        return 0;
    const std::uint64_t trailer = data + stream.used;
    bool ok = true;
    const std::uint32_t crc = in.le32(trailer, ok);
    const std::uint32_t length = in.le32(trailer + 4, ok);
    if (!ok || trailer + 8 > stop || crc != stream.crc || length != static_cast<std::uint32_t>(stream.length))
        return 0;
    return trailer + 8 - start;
}

} // namespace

const carve_format_s carve_gzip{"gz", {std::string_view("\x1F\x8B\x08", 3)}, 1ull << 30, measure_gzip};

} // namespace tarn
