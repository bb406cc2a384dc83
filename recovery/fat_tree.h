#pragma once
// The FAT engine's rules for the folder tree and the file rows.

#include "recovery/recovery_rows.h"
#include "recovery/tree_model.h"
#include "scan/fat_record.h"

#include <cstdint>
#include <memory>
#include <unordered_map>

namespace tarn {

// The tree of FAT findings: "/" for the root (key 0), below it every folder that holds files
// somewhere and has a start cluster, in the engine's order. Null when the root is missing or
// neither a folder nor the root itself lists a file.
std::unique_ptr<TreeModel> build_fat_tree(const std::unordered_map<std::uint32_t, fat_record_s>& findings);
// The files of one folder: children that are no folder and have a start cluster.
void list_fat_folder(const fat_record_s& folder, recovery_rows& rows);

} // namespace tarn
