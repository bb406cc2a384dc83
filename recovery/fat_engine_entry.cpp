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

raw_known_names fat_known_starts(const recovery_base_c& engine)
{
    raw_known_names names;
    const fat_recovery_c* fat = fat_engine(engine);
    if (fat == nullptr)
        return names;
    // The module's volume object still describes the volume the scan read.
    const fat_fs_s& fs = fat_volume_object();
    const std::uint64_t volume_start = fat_partition_table()[0].start_sector;
    for (const auto& [cluster, record] : fat->findings()) {
        const std::uint32_t sector = fat_detail::clust2sect(fs, cluster);
        if ((record.attributes & fat_attr_directory) || record.size == 0 || sector < volume_start)
            continue;
        names.try_emplace((sector - volume_start) * std::uint64_t{fat_sector_size}, fat_disk_name(record));
    }
    return names;
}

int extract_fat_row(recovery_base_c& engine, const recovery_item_s& row, const QString& destination)
{
    return engine.recover_file(row.id, destination);
}

} // namespace

const engine_entry_s fat_engine_entry{scanner_fat, takes_fat, make_fat_engine, build_fat_engine_tree,
                                      list_fat_engine_folder, extract_fat_row, true, fat_known_starts};

} // namespace tarn
