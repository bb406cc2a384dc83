#pragma once
// The header patterns of the enabled formats, indexed by their first two bytes, and the search
// for every offset of a block where one of them starts. Sixteen offsets at a time are tested
// against the patterns' first three bytes by their nibbles (where the processor can), then each
// offset that passes against the exact two-byte set, and only then against the patterns.

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
    // The pattern as two little-endian words and the bits of them it fills: most offsets are
    // compared with two loads instead of a call.
    std::array<std::uint64_t, 2> words{};
    std::array<std::uint64_t, 2> masks{};
};

struct header_match_s {
    std::uint32_t at; // block offset where the pattern starts
    const header_candidate_s* candidate;
};

// A sector start where a format without header patterns may begin.
struct sector_match_s {
    std::uint32_t at; // block offset, a multiple of the sector size
    const carve_type_s* type;
};

// One vector step of the search: its first offset, one bit per offset in it whose two bytes may
// begin a pattern (none when the search reached its stop), and how many offsets it covers.
struct pair_lanes_s {
    std::size_t at;
    std::uint32_t lanes;
    unsigned width;
};

// For each nibble of a pattern's first three bytes, the groups of patterns that allow it (a
// two-byte pattern allows every third byte).
struct nibble_tables_s {
    alignas(16) std::uint8_t first_low[16]{};
    alignas(16) std::uint8_t first_high[16]{};
    alignas(16) std::uint8_t second_low[16]{};
    alignas(16) std::uint8_t second_high[16]{};
    alignas(16) std::uint8_t third_low[16]{};
    alignas(16) std::uint8_t third_high[16]{};
    // The exact set of first bytes: for a low nibble, one bit per high nibble 0-7 (first_set_low)
    // and 8-15 (first_set_high). Bytes that begin no pattern (zeros, the filler of structured
    // data) pass the group test often; this drops them before the pair look-ups.
    alignas(16) std::uint8_t first_set_low[16]{};
    alignas(16) std::uint8_t first_set_high[16]{};
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

    // Appends the sector starts before end (offsets of a block that starts on a sector) whose first
    // bytes pass a sector test of an enabled type.
    void find_sectors(std::span<const std::byte> block, std::size_t end, std::vector<sector_match_s>& out) const;

private:
    bool pair_known(unsigned pair) const { return (pairs_[pair / 64] >> (pair % 64) & 1) != 0; }
    // The first step from i with offsets before stop whose two bytes may begin a pattern.
    pair_lanes_s next_pairs(std::span<const std::byte> block, std::size_t i, std::size_t stop) const;
    static bool starts_at(std::span<const std::byte> block, std::size_t at, const header_candidate_s& candidate);

    std::array<std::vector<header_candidate_s>, 256> by_first_;
    std::vector<std::uint64_t> pairs_ = std::vector<std::uint64_t>(65536 / 64); // first two bytes seen
    nibble_tables_s nibbles_;
    std::vector<const carve_type_s*> sector_types_;
};

} // namespace tarn
