#pragma once
// Turns a finished scan into the folder tree, and a clicked folder into the file table's rows.
// Runs on the page's thread, after the engine's thread has finished.

#include "recovery/recovery_rows.h"
#include "recovery/tree_model.h"
#include "scan/fat_record.h"

#include <cstdint>
#include <memory>
#include <unordered_map>

namespace tarn {

class recovery_base_c;

// The tree under one top folder "/": the sub-folders that hold recoverable files. Null when
// there is none (the outcome "nothing found"), so the page keeps the empty tree it showed.
// kind is a scanner_kind_e; the FAT rule is built here, the NTFS and raw rules arrive with
// their engines and until then those kinds find nothing.
std::unique_ptr<TreeModel> build_tree(int kind, const recovery_base_c& engine);
std::unique_ptr<TreeModel> build_fat_tree(const std::unordered_map<std::uint32_t, fat_record_s>& findings);

// Replaces rows with the files of node's folder, unchecked, in the engine's order. A node
// without a record (the root, a raw top folder) lists nothing.
void list_folder(int kind, const recovery_base_c& engine, const TreeNode* node, recovery_rows& rows);
void list_fat_folder(const fat_record_s& folder, recovery_rows& rows);

} // namespace tarn
