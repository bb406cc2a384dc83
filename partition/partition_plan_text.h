#pragma once
// The repair's plan as the confirmation shows it: the table on the disk now, what becomes of
// each of its entries, the table that would be written, and where the overwritten sectors go.

#include "partition/repair_plan.h"

#include <QString>

namespace tarn {

// "GPT", "MBR", or the language's word for none.
QString table_kind_text(table_kind_e kind);

// Two tables as rich text, each headed with its kind (MBR, GPT or none), one line per entry:
// number, type, start and end sector, size, and for the current table what the repair does
// with the entry, for the new one where it comes from. A GPT plan first says what the repair
// does and why the disk gets a GPT; a sound GPT shows its table alone.
QString plan_tables_html(const repair_plan_s& plan);

// The line that tells which sectors the repair writes and that they are saved first.
QString written_sectors_html(const repair_plan_s& plan);

// The line that tells where the overwritten sectors were saved, as rich text; empty without a
// path. A plan that wrote sector 0 alone names it as the MBR repair always has.
QString backup_note_html(const repair_plan_s& plan, const QString& backup_path);

} // namespace tarn
