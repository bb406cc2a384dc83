#pragma once
// The header patterns of the enabled formats, indexed by their first two bytes, and the search
// for every offset of a block where one of them starts. Most bytes cost one bit test.

#include "libs/carve/carve_config.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace tarn {

struct header_candidate_s {
    const carve_type_s* type;
    std::string_view header;
};

struct header_match_s {
    std::uint32_t at; // block offset where the pattern starts
    const header_candidate_s* candidate;
};

class header_index_c {
public:
    static constexpr std::size_t longest = 16;

    explicit header_index_c(const std::vector<carve_type_s>& types);
    // Appends the patterns that start at offsets from..end of block (the block may hold bytes
    // past end, so that a pattern crossing end is seen), at most room of them; the offset the
    // search reached, end when it saw everything.
    std::size_t find(std::span<const std::byte> block, std::size_t from, std::size_t end,
                     std::vector<header_match_s>& out, std::size_t room) const;

private:
    std::array<std::vector<header_candidate_s>, 256> by_first_;
    std::vector<std::uint64_t> pairs_ = std::vector<std::uint64_t>(65536 / 64); // first two bytes seen
};

} // namespace tarn
