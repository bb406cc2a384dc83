#pragma once
// One row of the file table: the record that leaves the engines and travels through the
// table, the check boxes, the preview and the extraction.

#include <QMetaType>
#include <QString>

#include <cstdint>

namespace tarn {

struct recovery_item_s {
    QString name;             // shown, and used unchanged as the extracted copy's file name
    std::uint64_t size = 0;
    std::int64_t modified = 0; // seconds since 1970 UTC, 0 = unknown
    std::int64_t created = 0;
    std::uint64_t id = 0;      // the engine's key, handed back to recover_file / get_file_path
    std::uint32_t attributes = 0;
    bool checked = false;
};

// Registers the type under the name "recovery_item_s" so that rows travel inside QVariant.
// Safe to call any number of times from any thread.
int register_recovery_item_type();

} // namespace tarn

Q_DECLARE_METATYPE(tarn::recovery_item_s)
