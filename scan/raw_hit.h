#pragma once
// One carved file of the deep scan: 32 bytes, the record of the scan file too.

#include <QString>

#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarn {

struct raw_hit_s {
    std::uint64_t sequence = 0; // position in the engine's hit list
    std::uint64_t offset = 0;   // first byte on the volume
    std::uint64_t size = 0;
    char extension[8]{};        // zero-padded; all eight in use leave no terminator
};
static_assert(sizeof(raw_hit_s) == 32, "a hit is 32 bytes");

// The hit's extension: the carver writes at most seven characters, a scan file from another
// writer may hold eight.
inline std::string_view raw_hit_extension(const raw_hit_s& hit)
{
    return {hit.extension, strnlen(hit.extension, sizeof hit.extension)};
}

// The name a hit is shown and recovered under: its sequence in eight digits and its extension
// ("00000012.jpg").
inline QString raw_hit_name(const raw_hit_s& hit)
{
    const std::string_view extension = raw_hit_extension(hit);
    return QString::asprintf("%08llu.", static_cast<unsigned long long>(hit.sequence))
           + QString::fromLatin1(extension.data(), static_cast<qsizetype>(extension.size()));
}

// Names that a file-system scan of the same volume found, by the byte on the volume where each
// file's data starts: a hit that starts there is shown and written under that name.
using raw_known_names = std::unordered_map<std::uint64_t, QString>;

// The hits of one file type, in the order they were found.
struct raw_category_s {
    QString extension;
    std::vector<std::uint64_t> sequences;
};

} // namespace tarn
