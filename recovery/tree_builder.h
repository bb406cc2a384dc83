#pragma once
// Turns a finished scan into the folder tree, and a clicked folder into the file table's rows,
// through the engine table's rules for the scan's kind. Runs on the page's thread (or the
// command line's), after the engine's thread has finished.

#include "recovery/recovery_rows.h"
#include "recovery/tree_model.h"

#include <memory>

namespace tarn {

class recovery_base_c;

// The tree under one top folder "/": the sub-folders that hold recoverable files (or "/" alone
// when the files lie in the root). Null when there is nothing (the outcome "nothing found"), so
// the page keeps the empty tree it showed. kind is a scanner_kind_e; live: files that still exist
// are shown too.
std::unique_ptr<TreeModel> build_tree(int kind, const recovery_base_c& engine, bool live);

// Replaces rows with the files of node's folder, unchecked, in the engine's order. A node
// without a record (the root, a raw top folder) lists nothing.
void list_folder(int kind, const recovery_base_c& engine, const TreeNode* node, recovery_rows& rows, bool live);

// The name of the extra top folder in which an engine shows what it found without its folder.
QString orphan_folder_name();

} // namespace tarn
