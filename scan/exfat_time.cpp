#include "scan/exfat_time.h"

#include "scan/fat_date.h"

namespace tarn {

namespace {

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

} // namespace

std::int64_t exfat_time_to_unix(std::uint32_t stamp, std::uint8_t ten_ms, std::uint8_t utc_offset)
{
    const auto date = static_cast<std::uint16_t>(stamp >> 16);
    const auto time = static_cast<std::uint16_t>(stamp & 0xFFFF);
    const unsigned day = date & 0x1F, month = (date >> 5) & 0x0F;
    const unsigned seconds = (time & 0x1F) * 2, minutes = (time >> 5) & 0x3F, hours = time >> 11;
    if (day == 0 || month == 0 || month > 12 || hours > 23 || minutes > 59 || seconds > 59 || ten_ms > 199)
        return 0;
    const std::int64_t extra = ten_ms / 100;
    if ((utc_offset & 0x80) == 0) {
        const std::int64_t local = fat_time_to_unix(date, time);
        return local == 0 ? 0 : local + extra;
    }
    // The offset is a 7-bit two's-complement count of quarter hours east of UTC.
    const int quarters = (utc_offset & 0x40) != 0 ? static_cast<int>(utc_offset & 0x7F) - 128 : utc_offset & 0x7F;
    const std::int64_t days = days_from_civil(1980 + (date >> 9), month, day);
    return days * 86400 + hours * 3600 + minutes * 60 + seconds + extra - std::int64_t{quarters} * 900;
}

} // namespace tarn
