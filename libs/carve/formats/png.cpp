// PNG: the signature, IHDR first, then chunks whose CRCs must match, to IEND.

#include "libs/carve/carve_format.h"

#include <QByteArray>

#include <vector>
#include <zlib.h>

namespace tarn {

namespace {

constexpr std::uint32_t chunk_type(const char (&t)[5])
{
    return std::uint32_t(std::uint8_t(t[0])) << 24 | std::uint32_t(std::uint8_t(t[1])) << 16
           | std::uint32_t(std::uint8_t(t[2])) << 8 | std::uint8_t(t[3]);
}

bool crc_matches(carve_reader_c& in, std::uint64_t at, std::uint32_t length)
{
    std::vector<std::byte> data(std::size_t{length} + 4);
    bool ok = in.read(at + 4, data);
    const std::uint32_t stored = in.be32(at + 8 + length, ok);
    const auto crc = crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
    return ok && crc == stored;
}

std::uint64_t measure_png(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    std::uint64_t at = start + 8;
    for (int chunks = 0; chunks < 1000000; ++chunks) {
        bool ok = true;
        const std::uint32_t length = in.be32(at, ok);
        const std::uint32_t type = in.be32(at + 4, ok);
        if (!ok || length > (1u << 30) || at + 12 + length > start + limit)
            return 0;
        if (chunks == 0 && (type != chunk_type("IHDR") || length != 13))
            return 0;
        if (!crc_matches(in, at, length))
            return 0;
        at += 12 + std::uint64_t{length};
        if (type == chunk_type("IEND"))
            return at - start;
    }
    return 0;
}

} // namespace

const carve_format_s carve_png{"png", {std::string_view("\x89PNG\r\n\x1A\n", 8)}, 64ull << 20, measure_png};

} // namespace tarn
