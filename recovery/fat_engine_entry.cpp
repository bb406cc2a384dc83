// The FAT engine in the engine table.

#include "recovery/engine_table.h"
#include "recovery/fat_tree.h"
#include "scan/fat_recovery.h"

namespace tarn {

namespace {

bool takes_fat(const volume_item_s& volume, bool deep)
{
    // "FAT12", "FAT16", "FAT32": exact case, as the volume list writes them.
    return !deep && volume.fs_name.startsWith(QLatin1String("FAT"), Qt::CaseSensitive);
}

std::unique_ptr<recovery_base_c> make_fat_engine()
{
    return std::make_unique<fat_recovery_c>();
}

// The table pairs kind and engine: an engine of another class here is a caller's mistake, and
// it finds nothing rather than reading a foreign object.
const fat_recovery_c* fat_engine(const recovery_base_c& engine)
{
    return dynamic_cast<const fat_recovery_c*>(&engine);
}

std::unique_ptr<TreeModel> build_fat_engine_tree(const recovery_base_c& engine, bool live)
{
    const fat_recovery_c* fat = fat_engine(engine);
    return fat != nullptr ? build_fat_tree(fat->findings(), fat->lost(), live) : nullptr;
}

void list_fat_engine_folder(const recovery_base_c&, const folder_record& record, recovery_rows& rows, bool live)
{
    rows.clear();
    if (const fat_record_s* folder = record.get<fat_record_s>())
        list_fat_folder(*folder, rows, live);
}

int extract_fat_row(recovery_base_c& engine, const recovery_item_s& row, const QString& destination)
{
    return engine.recover_file(row.id, destination);
}

} // namespace

const engine_entry_s fat_engine_entry{scanner_fat, takes_fat, make_fat_engine, build_fat_engine_tree,
                                      list_fat_engine_folder, extract_fat_row, true};

} // namespace tarn
