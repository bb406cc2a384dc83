#pragma once

#include <cstdint>

namespace tarn {

// A FAT date and time, read as local time, in seconds since 1970 UTC; 0 when not convertible.
std::int64_t fat_time_to_unix(std::uint16_t date, std::uint16_t time);

// The scan's progress estimate, which assumes about 2000 entries: read_count / 2000 before the
// entry is counted, held at 0.99 beyond 1.0.
double fat_scan_progress(std::int64_t read_count_before);

} // namespace tarn
