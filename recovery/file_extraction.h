#pragma once
// Writing one found file out of the scanned volume into a folder: through the engine that found
// it, or, for a file that still exists on the volume, by an ordinary copy. Calls into one engine
// are serialised, so the preview and the extraction thread can use the same engine at once.

#include "scan/recovery_item.h"

#include <QSet>
#include <QString>

#include <mutex>

namespace tarn {

class recovery_base_c;

// The lock that serialises calls into one engine; whoever holds it has the engine to itself.
std::mutex& engine_lock(const recovery_base_c* engine);

// What extraction does when another extraction is using the same engine.
enum class engine_wait_e { block, skip_if_busy };

inline constexpr int extract_busy = -3; // skip_if_busy and the engine was in use

// The path inside folder that extract_one writes record to: its name made safe.
QString extraction_path(const QString& folder, const recovery_item_s& record);

// Extract one: writes the file of record (found by engine of the given scanner kind) to
// extraction_path(folder, record). 0 on success, negative on failure.
int extract_one(recovery_base_c& engine, int kind, const QString& folder, const recovery_item_s& record,
                engine_wait_e wait = engine_wait_e::block);
// The same to a destination path the caller has made safe.
int extract_to(recovery_base_c& engine, int kind, const QString& destination, const recovery_item_s& record,
               engine_wait_e wait = engine_wait_e::block);

// Copies a live file in 128 KiB steps, replacing any file at destination. 0 when the whole
// file was copied, -1 when either side cannot be opened, -2 when a read or write failed on the
// way (the shorter copy stays).
int copy_live_file(const QString& source, const QString& destination);

// A name not yet in used (compared without case, as a FAT or NTFS target would): name itself,
// else "stem (2).ext", "stem (3).ext", …; the result is added to used.
QString unique_file_name(const QString& name, QSet<QString>& used);

} // namespace tarn
