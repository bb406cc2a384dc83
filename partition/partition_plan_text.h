#pragma once
// The repair's plan as the confirmation shows it: the table on the disk now, what becomes of
// each of its entries, and the table that would be written.

#include "partition/partition_table_plan.h"

#include <QString>

namespace tarn {

// Two tables as rich text, one line per slot: number, type, start and end sector, size, and
// for the current table what the repair does with the entry, for the new one where it comes
// from.
QString plan_tables_html(const partition_plan_s& plan);

// The line that tells where the old sector 0 was saved, as rich text; empty without a path.
QString backup_note_html(const QString& backup_path);

} // namespace tarn
