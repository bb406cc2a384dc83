#pragma once
// One row of the file table: the record that leaves the engines and travels through the
// table, the check boxes, the preview and the extraction.

#include <QMetaType>
#include <QString>

#include <cstdint>

namespace tarn {

struct recovery_item_s {
    QString name;             // shown; the extracted copy's file name unless disk_name is set
    std::uint64_t size = 0;
    std::int64_t modified = 0; // seconds since 1970 UTC, 0 = unknown
    std::int64_t created = 0;
    std::uint64_t id = 0;      // the engine's key, handed back to recover_file / get_file_path
    std::uint32_t attributes = 0;
    bool checked = false;
    std::int64_t accessed = 0; // seconds since 1970 UTC, 0 = unknown
    // The name as the disk keeps it, where it differs from the shown one: a deleted FAT entry
    // shows "#" first but may still hold its whole long name. Empty: the shown name.
    QString disk_name;
    // Some of the file's clusters now belong to the file system in place (files written after a
    // format): the copy would hold their new bytes. Shown in the table; such rows are written
    // only when asked for one by one.
    bool overwritten = false;
};

// Registers the type under the name "recovery_item_s" so that rows travel inside QVariant.
// Safe to call any number of times from any thread.
int register_recovery_item_type();

} // namespace tarn

Q_DECLARE_METATYPE(tarn::recovery_item_s)
