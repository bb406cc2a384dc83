#pragma once
// One description per scanner kind: which volumes its engine takes, how the engine is made, how
// its findings become tree folders and file rows, and how a row is written out. The page, the
// tree builder, extraction and the command-line tool all ask this table. A new engine is its own
// files with its entry, a kind in scanner_kind.h, the entry's declaration below and its place in
// the choice order (engine_table.cpp); nothing else switches on the kind.

#include "disk/volume_item.h"
#include "recovery/recovery_rows.h"
#include "recovery/scanner_kind.h"
#include "recovery/tree_model.h"
#include "scan/raw_hit.h"

#include <QString>

#include <memory>

namespace tarn {

class recovery_base_c;

struct engine_entry_s {
    scanner_kind_e kind;
    // Whether this kind scans the volume; deep: a signature scan was asked for.
    bool (*takes)(const volume_item_s& volume, bool deep);
    // A new engine of this kind; null while this build has none.
    std::unique_ptr<recovery_base_c> (*make_engine)();
    // Build tree: the folders of a finished scan under "/", null for "nothing found"; live: the
    // files that still exist count too (a found partition lost them all with its table).
    std::unique_ptr<TreeModel> (*build_tree)(const recovery_base_c& engine, bool live);
    // List folder: the files of one folder record, unchecked, in the engine's order; live as above.
    void (*list_folder)(const recovery_base_c& engine, const folder_record& record, recovery_rows& rows, bool live);
    // Writes the file of row to destination (a recovery_result_e); the caller holds the
    // engine's file lock.
    int (*extract)(recovery_base_c& engine, const recovery_item_s& row, const QString& destination);
    // Whether the engine can search the whole volume for the files of an earlier file system
    // (recovery_base_c::set_lost_search).
    bool lost_search = false;
    // The names of the files a finished scan found, by the byte on the volume where each one's
    // data starts, for the deep scan of the same volume to name its hits; null when the engine
    // cannot tell.
    raw_known_names (*known_starts)(const recovery_base_c& engine) = nullptr;
};

// The entry of a scanner kind; null for a number that names none.
const engine_entry_s* engine_entry(int kind);
// The entry that scans volume, first match wins (signatures when deep, then the file system's
// own engine); null when none reads its file system.
const engine_entry_s* choose_engine(const volume_item_s& volume, bool deep);

// The entries, each defined in the files of its own engine.
extern const engine_entry_s fat_engine_entry;
extern const engine_entry_s ntfs_engine_entry;
extern const engine_entry_s raw_engine_entry;
extern const engine_entry_s exfat_engine_entry;

} // namespace tarn
