#pragma once
// Whether a sector read from a cluster the FAT no longer links holds directory entries. A deleted
// folder's read goes on into such clusters only while they pass, and the search for folder
// clusters that no walk reached keeps only clusters that pass. File data rarely does: every
// slot up to the first never-used one must be a well-formed entry and every byte after it zero.

#include "scan/fat_volume.h"

#include <cstdint>
#include <span>

namespace tarn {

struct fat_slots_s {
    bool entries = false;      // the sector reads as directory entries (possibly none)
    bool ended = false;        // it holds a never-used slot: the folder ends here
    unsigned used = 0;         // slots before that one
    bool folder_start = false; // slots 0 and 1 are "." and "..": the first cluster of a folder
    std::uint32_t self = 0;    // the cluster "." names
    std::uint32_t parent = 0;  // the cluster ".." names (0 for the root)
    std::uint32_t first_data = 0; // start cluster of the first short entry that has one, else 0
    // One past the last cluster any short entry's data would take if it lay contiguously: the
    // allocator has written at least that far.
    std::uint32_t reach = 0;
    std::uint32_t first_folder = 0; // start cluster of the first folder it lists, else 0
};

// Whether a short entry of the sector names a folder that starts at cluster. A folder never lists
// itself: a cluster read on as part of that folder which does belongs to its parent (a root that
// grew right after the folder was made in it).
bool lists_folder(std::span<const std::byte, fat_sector_size> sector, const fat_fs_s& fs, std::uint32_t cluster);

// after_end: an earlier sector of the same cluster ended the folder, so this one must be zero.
fat_slots_s check_fat_slots(std::span<const std::byte, fat_sector_size> sector, const fat_fs_s& fs, bool after_end);

} // namespace tarn
