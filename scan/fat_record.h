#pragma once
// One finding of the FAT engine: a directory (live or deleted) or a deleted file, keyed by its
// start cluster.

#include <QString>

#include <cstdint>
#include <vector>

namespace tarn {

struct fat_record_s {
    std::uint32_t start_cluster = 0;
    std::uint32_t parent_cluster = 0; // 0 = root directory
    std::uint32_t size = 0;
    std::int64_t modified = 0; // seconds since 1970 UTC, 0 when not convertible
    std::int64_t created = 0;
    std::uint8_t attributes = 0; // 0x10 directory, 0x40 deleted
    std::uint8_t in_deleted_dir = 0;
    std::uint8_t has_files = 0;
    QString name; // long name or 8.3 name, at most 259 characters, "#" first when deleted
    std::vector<fat_record_s*> children;
};

inline constexpr int fat_record_name_max = 259;

} // namespace tarn
