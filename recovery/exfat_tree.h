#pragma once
// How the exFAT engine's findings become the folder tree and the file table's rows.

#include "recovery/recovery_rows.h"
#include "recovery/tree_model.h"
#include "scan/exfat_record.h"

#include <memory>
#include <unordered_map>

namespace tarn {

// Row attribute bits of an exFAT file: its attribute word, and these above it.
enum : std::uint32_t {
    exfat_row_deleted = 0x10000,
    exfat_row_uncertain = 0x20000, // a damaged entry set, or clusters guessed
};

// "/" over the root folder's record (key 0), then the top folder of lost files (lost) when it
// holds files; null when nothing was found.
std::unique_ptr<TreeModel> build_exfat_tree(const std::unordered_map<std::uint64_t, exfat_record_s>& findings,
                                            const exfat_record_s& lost, bool live);
// The folder's files, unchecked, in the order they were found; files that still exist only when
// live. A lost file whose clusters the file system in place took is marked overwritten.
void list_exfat_folder(const exfat_record_s& folder, recovery_rows& rows, bool live);
// The name the tree and the table show: the disk's own, after "?" where it is uncertain.
QString exfat_shown_name(const exfat_record_s& record);

} // namespace tarn
