#pragma once
// One run of sectors the repair writes, with the bytes that go there.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarn {

struct sector_write_s {
    std::uint64_t lba = 0;
    std::vector<std::byte> bytes; // whole sectors
    bool operator==(const sector_write_s&) const = default;
};

} // namespace tarn
