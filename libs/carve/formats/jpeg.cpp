// JPEG: segments from SOI to EOI. Segments with a length are skipped whole (an embedded EXIF
// thumbnail lies inside APP1 and is never a hit of its own); after SOS the entropy-coded data
// runs to the next marker that is neither a stuffed 00 nor a restart marker.

#include "libs/carve/carve_format.h"

#include <array>
#include <cstring>

namespace tarn {

namespace {

// The first byte after offset that is 0xFF followed by a real marker; 0 when there is none
// before limit.
std::uint64_t next_marker(carve_reader_c& in, std::uint64_t at, std::uint64_t limit)
{
    std::array<std::byte, 1 << 16> chunk;
    while (at + 1 < limit) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), limit - at));
        if (want < 2 || !in.read(at, std::span<std::byte>(chunk.data(), want)))
            return 0;
        const auto* first = reinterpret_cast<const unsigned char*>(chunk.data());
        const unsigned char* last = first + want - 1; // a marker needs the byte after its 0xFF
        for (const unsigned char* p = first;
             (p = static_cast<const unsigned char*>(std::memchr(p, 0xFF, static_cast<std::size_t>(last - p)))) != nullptr; ++p) {
            const unsigned next = p[1];
            if (next != 0x00 && next != 0xFF && !(next >= 0xD0 && next <= 0xD7))
                return at + static_cast<std::uint64_t>(p - first);
        }
        at += want - 1; // the last byte may be the 0xFF of a marker split across chunks
    }
    return 0;
}

bool segment_marker(unsigned m)
{
    return (m >= 0xC0 && m <= 0xFE) && m != 0xD8 && !(m >= 0xD0 && m <= 0xD7);
}

carve_found_s measure_jpeg(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const std::uint64_t end = start + limit;
    std::uint64_t at = start + 2;
    bool scanned = false;
    for (int segments = 0; segments < 100000; ++segments) {
        if (at + 2 > end || in.byte_at(at) != 0xFF)
            return 0;
        const int marker = in.byte_at(at + 1);
        if (marker == 0xD9)
            return scanned ? at + 2 - start : 0;
        if (marker < 0 || !segment_marker(static_cast<unsigned>(marker)))
            return 0;
        bool ok = true;
        const std::uint16_t length = in.be16(at + 2, ok);
        if (!ok || length < 2)
            return 0;
        at += 2 + length;
        if (marker == 0xDA) {
            scanned = true;
            at = next_marker(in, at, end);
            if (at == 0)
                return 0;
        }
    }
    return 0;
}

} // namespace

const carve_format_s carve_jpeg{"jpg", {std::string_view("\xFF\xD8\xFF", 3)}, 64ull << 20, measure_jpeg};

} // namespace tarn
