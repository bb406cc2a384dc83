#include "libs/carve/header_index.h"

#include <cstring>

namespace tarn {

namespace {

unsigned pair_at(std::span<const std::byte> block, std::size_t i)
{
    return std::to_integer<unsigned>(block[i]) | std::to_integer<unsigned>(block[i + 1]) << 8;
}

} // namespace

header_index_c::header_index_c(const std::vector<carve_type_s>& types)
{
    for (const carve_type_s& type : types) {
        if (!type.enabled)
            continue;
        for (std::string_view header : type.format->headers) {
            if (header.size() < 2 || header.size() > longest)
                continue;
            const auto first = static_cast<std::uint8_t>(header[0]);
            by_first_[first].push_back({&type, header});
            const unsigned pair = first | unsigned{static_cast<std::uint8_t>(header[1])} << 8;
            pairs_[pair / 64] |= std::uint64_t{1} << (pair % 64);
        }
    }
}

std::size_t header_index_c::find(std::span<const std::byte> block, std::size_t from, std::size_t end,
                                 std::vector<header_match_s>& out, std::size_t room) const
{
    const std::size_t stop = std::min(end, block.size() > 0 ? block.size() - 1 : 0); // a pattern needs two bytes
    std::size_t found = 0;
    for (std::size_t i = from; i < stop; ++i) {
        const unsigned pair = pair_at(block, i);
        if ((pairs_[pair / 64] >> (pair % 64) & 1) == 0)
            continue;
        if (found >= room)
            return i;
        for (const header_candidate_s& c : by_first_[pair & 0xFF])
            if (i + c.header.size() <= block.size() && std::memcmp(block.data() + i, c.header.data(), c.header.size()) == 0) {
                out.push_back({static_cast<std::uint32_t>(i), &c});
                ++found;
            }
    }
    return std::max(end, from);
}

} // namespace tarn
