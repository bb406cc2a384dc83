// GZIP: one member. Its header, then the deflate stream inflated to its end (the stream alone says
// where it ends), then the trailer, whose CRC-32 and length of the inflated data must match.
// Random bytes after a header fail within a few bytes of inflating.

#include "libs/carve/carve_format.h"

#include <array>
#include <zlib.h>

namespace tarn {

namespace {

constexpr int text_flag = 1, header_crc = 2, extra = 4, file_name = 8, comment = 16;
// Deflate expands at most about 1032 times; a stream that claims more than this is given up
// rather than inflated for minutes.
constexpr std::uint64_t most_inflated = 64ull << 30;

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

struct inflated_s {
    std::uint64_t used = 0; // compressed bytes of the stream
    std::uint32_t crc = 0;
    std::uint64_t length = 0;
};

// Inflates the raw deflate stream at at, reading no further than stop; false unless it ends.
bool inflate_stream(carve_reader_c& in, std::uint64_t at, std::uint64_t stop, inflated_s& result)
{
    z_stream zs{};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK)
        return false;
    std::array<Bytef, 1 << 16> input{};
    std::array<Bytef, 1 << 16> output{};
    uLong crc = crc32(0, nullptr, 0);
    std::uint64_t read_to = at;
    int rc = Z_OK;
    while (rc != Z_STREAM_END && result.length <= most_inflated) {
        if (zs.avail_in == 0) {
            const auto want = static_cast<uInt>(std::min<std::uint64_t>(input.size(), stop - read_to));
            if (want == 0 || !in.read(read_to, std::as_writable_bytes(std::span<Bytef>(input.data(), want))))
                break;
            zs.next_in = input.data();
            zs.avail_in = want;
            read_to += want;
        }
        zs.next_out = output.data();
        zs.avail_out = static_cast<uInt>(output.size());
        rc = inflate(&zs, Z_NO_FLUSH);
        const uInt produced = static_cast<uInt>(output.size()) - zs.avail_out;
        crc = crc32(crc, output.data(), produced);
        result.length += produced;
        if (rc != Z_OK && rc != Z_STREAM_END && !(rc == Z_BUF_ERROR && zs.avail_in == 0))
            break;
    }
    inflateEnd(&zs);
    result.used = read_to - zs.avail_in - at;
    result.crc = static_cast<std::uint32_t>(crc);
    return rc == Z_STREAM_END;
}

carve_found_s measure_gzip(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const std::uint64_t stop = start + limit;
    const std::uint64_t data = past_header(in, start);
    inflated_s stream;
    if (data == 0 || data >= stop || !inflate_stream(in, data, stop, stream))
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
