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
    std::uint8_t has_files = 0;      // deleted files somewhere below
    std::uint8_t has_live_files = 0; // files that still exist somewhere below
    // Found in a folder cluster that no walk reached and no folder could be told for: its
    // parent is the folder of lost entries, whatever parent_cluster says.
    std::uint8_t lost = 0;
    std::uint16_t access_date = 0; // FAT date of the last access, 0 when none was kept
    // The name's true first character where "#" hides one the disk still holds (a long name,
    // or the entry of a live file inside a deleted folder); 0 when the deletion took it.
    char16_t kept_first = 0;
    // An entry never marked deleted that the file system in place no longer lists (found in a
    // folder cluster no walk reached, or in a folder the FAT no longer allocates): its name is
    // whole, and it is recovered like a deleted file.
    std::uint8_t unlisted = 0;
    // Its clusters: along its FAT chain, which still describes exactly this file; else assumed
    // to follow one another.
    std::uint8_t by_chain = 0;
    // Some of those clusters now belong to the file system in place: the copy holds new bytes.
    std::uint8_t overwritten = 0;
    // A folder known only from its "." and "..": named by its cluster until its entry is found.
    std::uint8_t unnamed = 0;
    QString name; // long name or 8.3 name, at most 259 characters, "#" first when deleted
    std::vector<fat_record_s*> children;
};

inline constexpr int fat_record_name_max = 259;
// Marks the id of a file that still exists: it may share its start cluster with a deleted file.
inline constexpr std::uint64_t fat_live_id = std::uint64_t{1} << 32;

// The name as the disk keeps it: the shown name with its true first character where that is
// known, else the shown name itself.
inline QString fat_disk_name(const fat_record_s& record)
{
    if (record.kept_first == 0 || record.name.isEmpty())
        return record.name;
    return QChar(record.kept_first) + record.name.mid(1);
}

} // namespace tarn
