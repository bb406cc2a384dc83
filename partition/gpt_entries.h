#pragma once
// The entries of a GPT's entry array: read from the array's bytes, checked against the usable
// sectors and each other, and made for a find.

#include "partition/gpt_header.h"
#include "partition/guid.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tarn {

// What the repair writes: 128 entries of 128 bytes, 32 sectors, as every tool makes them.
inline constexpr std::uint32_t gpt_new_entry_count = 128;
inline constexpr std::uint32_t gpt_new_entry_bytes = 128;

using gpt_entry_bytes_s = std::array<std::byte, gpt_new_entry_bytes>;

struct gpt_entry_s {
    std::size_t slot = 0; // position in the array
    guid_s type{};
    guid_s unique{};
    std::uint64_t first_lba = 0;
    std::uint64_t last_lba = 0; // inclusive
    gpt_entry_bytes_s bytes{};  // the entry's first 128 bytes as they lie in the array
    bool operator==(const gpt_entry_s&) const = default;
};

// The used entries (type not null) of an array laid out as `header` says; `array` holds at
// least header.array_bytes() bytes.
std::vector<gpt_entry_s> used_gpt_entries(std::span<const std::byte> array, const gpt_header_s& header);

// Each entry ends where it starts or later, lies in the usable sectors and overlaps no other.
bool gpt_entries_sound(std::span<const gpt_entry_s> entries, std::uint64_t first_usable, std::uint64_t last_usable);

// A 128-byte entry with the given types and extent, no attributes and no name.
gpt_entry_bytes_s build_gpt_entry(const guid_s& type, const guid_s& unique, std::uint64_t first_lba,
                                  std::uint64_t last_lba);

} // namespace tarn
