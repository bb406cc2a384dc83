#include "libs/carve/formats/deflate.h"

#include <array>
#include <zlib.h>

namespace tarn {

namespace {

// Deflate expands at most about 1032 times; a stream that claims more than this is given up
// rather than inflated for minutes.
constexpr std::uint64_t most_inflated = 64ull << 30;

} // namespace

bool inflate_stream(carve_reader_c& in, const split_layout_s& layout, std::uint64_t at, std::uint64_t stop,
                    inflated_s& result)
{
    z_stream zs{};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK)
        return false;
    std::array<Bytef, 1 << 16> input; // filled by each read
    std::array<Bytef, 1 << 16> output; // filled by inflate
    uLong crc = crc32(0, nullptr, 0);
    std::uint64_t read_to = at;
    int rc = Z_OK;
    while (rc != Z_STREAM_END && result.length <= most_inflated) {
        if (zs.avail_in == 0) {
            const auto want = static_cast<uInt>(std::min<std::uint64_t>(input.size(), stop - read_to));
            if (want == 0 || !layout.read(in, read_to, std::as_writable_bytes(std::span<Bytef>(input.data(), want))))
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

} // namespace tarn
