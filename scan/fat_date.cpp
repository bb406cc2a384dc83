#include "scan/fat_date.h"

#include <ctime>

namespace tarn {

std::int64_t fat_time_to_unix(std::uint16_t date, std::uint16_t time)
{
    std::tm tm{};
    tm.tm_sec = (time & 0x1F) * 2;
    tm.tm_min = (time >> 5) & 0x3F;
    tm.tm_hour = time >> 11; // the hour field is bits 11 to 15
    tm.tm_mday = date & 0x1F;
    tm.tm_mon = ((date >> 5) & 0x0F) - 1;
    tm.tm_year = (date >> 9) + 80;
    tm.tm_isdst = 0;
    const std::time_t t = std::mktime(&tm);
    return t == static_cast<std::time_t>(-1) ? 0 : static_cast<std::int64_t>(t);
}

double fat_scan_progress(std::int64_t read_count_before)
{
    const double value = static_cast<double>(read_count_before) / 2000.0;
    return value > 1.0 ? 0.99 : value;
}

} // namespace tarn
