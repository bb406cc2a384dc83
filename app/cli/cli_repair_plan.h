#pragma once
// The repair's confirmation on the command line: the table on the disk now, what becomes of
// each entry, the table that would be written, and which sectors the repair writes.

#include "partition/repair_plan.h"

#include <QString>
#include <QTextStream>

namespace tarn {

// Both tables with their kinds, and for a GPT what is restored or why a GPT is written.
void print_repair_plan(const repair_plan_s& plan, QTextStream& out);

} // namespace tarn
