// RIFF: WAV and AVI. The size comes from the RIFF header and is believed only when the top-level
// chunks, walked one by one, fill it exactly and include the ones the form needs. An AVI larger
// than a RIFF can hold goes on in "AVIX" RIFF lists that follow the first.

#include "libs/carve/formats/riff_chunks.h"

#include <array>

namespace tarn {

namespace {

constexpr int most_chunks = 1 << 20;
constexpr int most_extensions = 1 << 12;

bool printable_id(std::uint32_t id)
{
    for (int i = 0; i < 4; ++i, id >>= 8)
        if ((id & 0xFF) < 0x20 || (id & 0xFF) > 0x7E)
            return false;
    return true;
}

bool all_found(unsigned found, std::size_t needs)
{
    return found == (1u << needs) - 1;
}

carve_found_s measure_wav(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    static constexpr std::array<std::uint32_t, 2> needs{carve_tag("fmt "), carve_tag("data")};
    unsigned found = 0;
    const std::uint64_t end = riff_walk(in, start, start + limit, carve_tag("WAVE"), needs, found);
    return end != 0 && all_found(found, needs.size()) ? end - start : 0;
}

carve_found_s measure_avi(carve_reader_c& in, std::uint64_t start, std::uint64_t limit)
{
    static constexpr std::array<std::uint32_t, 2> needs{carve_tag("hdrl"), carve_tag("movi")};
    static constexpr std::array<std::uint32_t, 1> extension_needs{carve_tag("movi")};
    const std::uint64_t stop = start + limit;
    unsigned found = 0;
    std::uint64_t end = riff_walk(in, start, stop, carve_tag("AVI "), needs, found);
    if (end == 0 || !all_found(found, needs.size()))
        return 0;
    for (int extensions = 0; extensions < most_extensions; ++extensions) {
        const std::uint64_t next = riff_walk(in, end, stop, carve_tag("AVIX"), extension_needs, found);
        if (next == 0 || !all_found(found, extension_needs.size()))
            break;
        end = next;
    }
    return end - start;
}

} // namespace

std::uint64_t riff_walk(carve_reader_c& in, std::uint64_t at, std::uint64_t stop, std::uint32_t form,
                        std::span<const std::uint32_t> needs, unsigned& found)
{
    bool ok = true;
    const std::uint64_t end = at + 8 + std::uint64_t{in.le32(at + 4, ok)};
    if (!ok || in.be32(at, ok) != carve_tag("RIFF") || in.be32(at + 8, ok) != form || !ok || end > stop)
        return 0;
    found = 0;
    std::uint64_t chunk = at + 12;
    for (int chunks = 0; chunk < end && chunks < most_chunks; ++chunks) {
        std::uint32_t id = in.be32(chunk, ok);
        const std::uint32_t length = in.le32(chunk + 4, ok);
        if (ok && id == carve_tag("LIST"))
            id = in.be32(chunk + 8, ok);
        if (!ok || chunk + 8 > end || !printable_id(id))
            return 0;
        for (std::size_t i = 0; i < needs.size(); ++i)
            if (id == needs[i])
                found |= 1u << i;
        chunk += 8 + std::uint64_t{length} + (length & 1);
    }
    // Some writers leave the pad byte of an odd last chunk out of the RIFF size.
    return chunk == end || chunk == end + 1 ? end : 0;
}

// A RIFF size counts from byte 8 and is 32 bits.
const carve_format_s carve_wav{"wav", {"RIFF"}, (4ull << 30) + 8, measure_wav};
const carve_format_s carve_avi{"avi", {"RIFF"}, 16ull << 30, measure_avi};

} // namespace tarn
