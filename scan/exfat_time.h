#pragma once

#include <cstdint>

namespace tarn {

// An exFAT timestamp (date in the high 16 bits, time in the low, as FAT keeps them) with its
// 10 ms count (0 to 199) and its UTC offset byte, in whole seconds since 1970 UTC. With a valid
// offset (bit 7, the offset in signed 15-minute steps) the time is that far from UTC; without
// one it is local time, as FAT's. 0 when the fields are not a date.
std::int64_t exfat_time_to_unix(std::uint32_t stamp, std::uint8_t ten_ms, std::uint8_t utc_offset);

} // namespace tarn
