// The NTFS engine in the engine table.

#include "recovery/engine_table.h"
#include "recovery/file_extraction.h"
#include "recovery/ntfs_tree.h"
#include "scan/ntfs_recovery.h"

#include <QFileInfo>

namespace tarn {

namespace {

// Deleted-entry mark of the NTFS engine's attribute word: clear for a file that still exists.
constexpr std::uint32_t ntfs_deleted_mark = 0x80;

bool takes_ntfs(const volume_item_s& volume, bool deep)
{
    return !deep && volume.fs_name == QLatin1String("NTFS");
}

std::unique_ptr<recovery_base_c> make_ntfs_engine()
{
    return std::make_unique<ntfs_recovery_c>();
}

// The table pairs kind and engine; an engine of another class finds nothing.
std::unique_ptr<TreeModel> build_ntfs_engine_tree(const recovery_base_c& engine, bool live)
{
    const auto* ntfs = dynamic_cast<const ntfs_recovery_c*>(&engine);
    return ntfs != nullptr ? build_ntfs_tree(ntfs->findings(), ntfs->orphans(), live) : nullptr;
}

void list_ntfs_engine_folder(const recovery_base_c&, const folder_record& record, recovery_rows& rows, bool live)
{
    rows.clear();
    if (const ntfs_record_s* folder = record.get<ntfs_record_s>())
        list_ntfs_folder(*folder, rows, live);
}

// A file that still exists is copied from its live path where the volume is mounted; a deleted
// one, or one of a volume nobody mounted (a partition only the search found), comes from the
// engine, which reads it from the volume's own records.
int extract_ntfs_row(recovery_base_c& engine, const recovery_item_s& row, const QString& destination)
{
    QString source;
    if ((row.attributes & ntfs_deleted_mark) || engine.get_file_path(row.id, source) < 0 || !QFileInfo(source).isFile())
        return engine.recover_file(row.id, destination);
    return copy_live_file(source, destination);
}

} // namespace

// The engine also searches the volume for the file records of an earlier file system.
const engine_entry_s ntfs_engine_entry{scanner_ntfs,           takes_ntfs,           make_ntfs_engine,
                                       build_ntfs_engine_tree, list_ntfs_engine_folder, extract_ntfs_row,
                                       true};

} // namespace tarn
