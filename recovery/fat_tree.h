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
// somewhere and has a start cluster, in the engine's order; then, when the engine found entries
// whose folder it could not tell, one more top folder of them (lost). Null when neither top
// folder lists a file anywhere.
std::unique_ptr<TreeModel> build_fat_tree(const std::unordered_map<std::uint32_t, fat_record_s>& findings,
                                          const fat_record_s& lost, bool live);
// The files of one folder: children that are no folder and have a start cluster, each with the
// name the disk keeps for it where "#" hides a character the disk still holds; files that still
// exist only when live.
void list_fat_folder(const fat_record_s& folder, recovery_rows& rows, bool live);

} // namespace tarn
