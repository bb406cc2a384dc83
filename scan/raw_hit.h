#pragma once
// One carved file of the deep scan: 32 bytes, the record of the scan file too.

#include <QString>

#include <cstdint>
#include <vector>

namespace tarn {

struct raw_hit_s {
    std::uint64_t sequence = 0; // position in the engine's hit list
    std::uint64_t offset = 0;   // first byte on the volume
    std::uint64_t size = 0;
    char extension[8]{};        // at most 7 characters, zero-padded
};
static_assert(sizeof(raw_hit_s) == 32, "a hit is 32 bytes");

// The name a hit is shown and recovered under: its sequence in eight digits and its extension
// ("00000012.jpg").
inline QString raw_hit_name(const raw_hit_s& hit)
{
    return QString::asprintf("%08llu.%s", static_cast<unsigned long long>(hit.sequence), hit.extension);
}

// The hits of one file type, in the order they were found.
struct raw_category_s {
    QString extension;
    std::vector<std::uint64_t> sequences;
};

} // namespace tarn
