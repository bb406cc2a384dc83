// The NTFS engine in the engine table. This build has no NTFS engine yet: the entry says which
// volumes it would take and how its rows are written out, and choosing it reports the engine as
// unavailable.

#include "recovery/engine_table.h"
#include "recovery/file_extraction.h"
#include "scan/recovery_base.h"

namespace tarn {

namespace {

// Deleted-entry mark of the NTFS engine's attribute word: clear for a file that still exists.
constexpr std::uint32_t ntfs_deleted_mark = 0x80;

bool takes_ntfs(const volume_item_s& volume, bool deep)
{
    return !deep && volume.fs_name == QLatin1String("NTFS");
}

// A file that still exists is copied from its live path; a deleted one comes from the engine.
int extract_ntfs_row(recovery_base_c& engine, const recovery_item_s& row, const QString& destination)
{
    if (row.attributes & ntfs_deleted_mark)
        return engine.recover_file(row.id, destination);
    QString source;
    if (engine.get_file_path(row.id, source) < 0)
        return recovery_not_found;
    return copy_live_file(source, destination);
}

} // namespace

const engine_entry_s ntfs_engine_entry{scanner_ntfs, takes_ntfs, nullptr, nullptr, nullptr, extract_ntfs_row};

} // namespace tarn
