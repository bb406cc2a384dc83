#pragma once
// The NTFS engine's rules for the folder tree and the file rows.

#include "recovery/recovery_rows.h"
#include "recovery/tree_builder.h"
#include "recovery/tree_model.h"
#include "scan/ntfs_record.h"

#include <cstdint>
#include <memory>
#include <unordered_map>

namespace tarn {

// "/" for the root folder (record 5) with every folder below it that holds a file and is no
// system record (0 to 11), in the engine's order; then, when deleted files lost their folder, one
// more top-level folder of orphans. Null when the root is missing and there are no orphans.
std::unique_ptr<TreeModel> build_ntfs_tree(const std::unordered_map<std::uint64_t, ntfs_record_s>& findings,
                                           const ntfs_record_s& orphans, bool live);
// The files of one folder: children with the file flag and a record number above 11.
void list_ntfs_folder(const ntfs_record_s& folder, recovery_rows& rows, bool live);

} // namespace tarn
