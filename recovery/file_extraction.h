#pragma once
// Writing found files out of the scanned volume into a folder: through the engine that found
// them (by the engine table's rule for their kind), or, for a file that still exists on the
// volume, by an ordinary copy. Calls into one engine are serialised by its file lock, so the
// preview, the extraction thread and the command line can share an engine.

#include "recovery/recovery_rows.h"
#include "scan/recovery_item.h"

#include <QSet>
#include <QString>

#include <atomic>
#include <functional>

namespace tarn {

class recovery_base_c;
class target_folder_c;

// What extraction does when another extraction is using the same engine.
enum class engine_wait_e { block, skip_if_busy };

// The file name a recovered copy of record gets: the name as the disk keeps it (the shown name
// marks a deleted entry with "#" even where the disk kept the whole long name), made safe.
QString written_name(const recovery_item_s& record);
// The same rule for a folder re-created from a shown name and the disk's (empty: the same).
QString written_folder_name(const QString& name, const QString& disk_name);

// The path inside folder that extract_one writes record to: its written name.
QString extraction_path(const QString& folder, const recovery_item_s& record);

// Extract one: writes the file of record (found by engine of the given scanner kind) to
// extraction_path(folder, record). A recovery_result_e.
int extract_one(recovery_base_c& engine, int kind, const QString& folder, const recovery_item_s& record,
                engine_wait_e wait = engine_wait_e::block);
// The same to a destination path the caller has made safe. Whatever the name holds (an earlier
// copy, a link) is replaced, never written through. A file written whole gets the record's
// modification and access times where they are known; one the engine wrote nothing to is
// removed again.
int extract_to(recovery_base_c& engine, int kind, const QString& destination, const recovery_item_s& record,
               engine_wait_e wait = engine_wait_e::block);

// Told after each file an extraction tried: its record and its recovery_result_e.
using extraction_report = std::function<void(const recovery_item_s& record, int result)>;

// Writes every checked row into folder, each under its safe name made unique against the
// names already there (" (2)" before the extension, compared without case), so nothing present
// is ever replaced. Ends early when stop is set. How many rows could not be written.
int extract_rows(recovery_base_c& engine, int kind, const QString& folder, const recovery_rows& rows,
                 const std::atomic<bool>* stop = nullptr, const extraction_report& report = {});
// The same into a folder already open (folder is its path, to see what is there).
int extract_rows_into(recovery_base_c& engine, int kind, const target_folder_c& target, const QString& folder,
                      const recovery_rows& rows, const std::atomic<bool>* stop, const extraction_report& report);

// Whether a file can be made in folder (tried with a temporary file that is removed again).
bool folder_writable(const QString& folder);

// Copies a live file in 128 KiB steps, replacing any file at destination. recovery_ok when the
// whole file was copied, recovery_not_found or recovery_unwritable when a side cannot be opened,
// recovery_incomplete when a read or write failed on the way (the shorter copy stays).
int copy_live_file(const QString& source, const QString& destination);

// A name not yet in used (compared without case, as a FAT or NTFS target would): name itself,
// else "stem (2).ext", "stem (3).ext", …; the result is added to used.
QString unique_file_name(const QString& name, QSet<QString>& used);

} // namespace tarn
