#pragma once
// The folder tree of records found outside the MFT, rebuilt from their parent references: each
// record's parent is the folder record found with the referenced number and sequence. Children of
// the old root (record 5), and records whose folder was not found, sit at the top. Parent loops
// (damage, or two file systems' records mixed) are cut, so that every chain ends at the top, and
// so is a chain longer than an NTFS path can be.

#include "scan/ntfs_lost_search.h"

#include <cstddef>
#include <limits>
#include <vector>

namespace tarn {

inline constexpr std::size_t ntfs_lost_top = std::numeric_limits<std::size_t>::max();

// For each record, the index of its parent among records, or ntfs_lost_top. Linear in the count.
std::vector<std::size_t> ntfs_lost_parents(const std::vector<ntfs_lost_found_s>& found);

} // namespace tarn
