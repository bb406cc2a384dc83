// OGG: pages walked one by one, each one's CRC (the format's own polynomial) checked. The first
// page begins a stream; the file ends after the page that ends the last of its streams. Opus
// audio is named so.

#include "libs/carve/carve_format.h"

#include <algorithm>
#include <array>
#include <vector>

namespace tarn {

namespace {

constexpr int most_pages = 1 << 24;
constexpr std::size_t most_streams = 64;
constexpr int begins = 2, ends = 4;

std::uint32_t ogg_crc(const std::uint8_t* p, std::size_t n, std::uint32_t crc)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t r = i << 24;
            for (int k = 0; k < 8; ++k)
                r = (r & 0x80000000u) != 0 ? r << 1 ^ 0x04C11DB7u : r << 1;
            t[i] = r;
        }
        return t;
    }();
    for (std::size_t i = 0; i < n; ++i)
        crc = crc << 8 ^ table[(crc >> 24 ^ p[i]) & 0xFF];
    return crc;
}

// The page at at: its length, flags and stream; 0 when it is no page or its CRC fails.
std::uint64_t page_length(carve_reader_c& in, std::uint64_t at, std::uint64_t stop, int& flags, std::uint32_t& serial)
{
    std::array<std::uint8_t, 27 + 255> head{};
    if (at + 27 > stop || !in.read(at, std::as_writable_bytes(std::span<std::uint8_t>(head.data(), 27)))
        || head[0] != 'O' || head[1] != 'g' || head[2] != 'g' || head[3] != 'S' || head[4] != 0 || (head[5] & ~7) != 0)
        return 0;
    const std::size_t segments = head[26];
    if (!in.read(at + 27, std::as_writable_bytes(std::span<std::uint8_t>(head.data() + 27, segments))))
        return 0;
    std::uint64_t body = 0;
    for (std::size_t i = 0; i < segments; ++i)
        body += head[27 + i];
    const std::uint64_t length = 27 + segments + body;
    if (at + length > stop)
        return 0;
    const std::uint32_t stored = std::uint32_t{head[22]} | std::uint32_t{head[23]} << 8 | std::uint32_t{head[24]} << 16
                                 | std::uint32_t{head[25]} << 24;
    std::fill(head.begin() + 22, head.begin() + 26, 0);
    std::uint32_t crc = ogg_crc(head.data(), 27 + segments, 0);
    std::array<std::uint8_t, 255 * 255> data; // filled by the read
    if (!in.read(at + 27 + segments, std::as_writable_bytes(std::span<std::uint8_t>(data.data(), body))))
        return 0;
    crc = ogg_crc(data.data(), body, crc);
    flags = head[5];
    serial = std::uint32_t{head[14]} | std::uint32_t{head[15]} << 8 | std::uint32_t{head[16]} << 16 | std::uint32_t{head[17]} << 24;
    return crc == stored ? length : 0;
}

carve_found_s measure_ogg(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    const std::uint64_t stop = start + limit;
    std::vector<std::uint32_t> open;
    std::uint64_t at = start;
    for (int pages = 0; pages < most_pages; ++pages) {
        int flags = 0;
        std::uint32_t serial = 0;
        const std::uint64_t length = page_length(in, at, stop, flags, serial);
        if (length == 0)
            return 0;
        const auto stream = std::find(open.begin(), open.end(), serial);
        if ((flags & begins) != 0) {
            if (stream != open.end() || open.size() == most_streams)
                return 0;
            open.push_back(serial);
        } else if (stream == open.end()) {
            return 0;
        }
        at += length;
        if ((flags & ends) != 0) {
            open.erase(std::find(open.begin(), open.end(), serial));
            if (open.empty())
                return at - start;
        }
    }
    return 0;
}

const char* name_ogg(carve_reader_c& in, std::uint64_t start, std::uint64_t)
{
    const int segments = in.byte_at(start + 26);
    bool ok = true;
    const std::uint64_t packet = start + 27 + static_cast<std::uint64_t>(segments < 0 ? 0 : segments);
    return segments > 0 && in.be64(packet, ok) == 0x4F70757348656164ull && ok ? "opus" : nullptr; // "OpusHead"
}

} // namespace

const carve_format_s carve_ogg{"ogg", {std::string_view("OggS\0\x02", 6)}, 4ull << 30, measure_ogg, name_ogg};

} // namespace tarn
