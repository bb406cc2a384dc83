// The signature (deep scan) engine in the engine table. This build has no signature engine yet:
// the entry says which volumes it would take and how its rows are written out, and choosing it
// reports the engine as unavailable.

#include "recovery/engine_table.h"
#include "scan/recovery_base.h"

namespace tarn {

namespace {

bool takes_deep_scan(const volume_item_s&, bool deep)
{
    return deep;
}

int extract_raw_row(recovery_base_c& engine, const recovery_item_s& row, const QString& destination)
{
    return engine.recover_file(row.id, destination);
}

} // namespace

const engine_entry_s raw_engine_entry{scanner_raw, takes_deep_scan, nullptr, nullptr, nullptr, extract_raw_row};

} // namespace tarn
