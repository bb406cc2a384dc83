// The exFAT engine in the engine table.

#include "recovery/engine_table.h"
#include "recovery/exfat_tree.h"
#include "scan/exfat_recovery.h"

namespace tarn {

namespace {

bool takes_exfat(const volume_item_s& volume, bool deep)
{
    return !deep && volume.fs_name == QLatin1String("exFAT");
}

std::unique_ptr<recovery_base_c> make_exfat_engine()
{
    return std::make_unique<exfat_recovery_c>();
}

// The table pairs kind and engine; an engine of another class finds nothing.
std::unique_ptr<TreeModel> build_exfat_engine_tree(const recovery_base_c& engine, bool live)
{
    const auto* exfat = dynamic_cast<const exfat_recovery_c*>(&engine);
    return exfat != nullptr ? build_exfat_tree(exfat->findings(), exfat->lost(), live) : nullptr;
}

void list_exfat_engine_folder(const recovery_base_c&, const folder_record& record, recovery_rows& rows, bool live)
{
    rows.clear();
    if (const exfat_record_s* folder = record.get<exfat_record_s>())
        list_exfat_folder(*folder, rows, live);
}

// Where each deleted or lost file's data starts on the volume, for the deep scan to name its hits.
raw_known_names exfat_known_starts(const recovery_base_c& engine)
{
    raw_known_names names;
    const auto* exfat = dynamic_cast<const exfat_recovery_c*>(&engine);
    if (exfat == nullptr)
        return names;
    const exfat_layout_s& layout = exfat->layout();
    for (const auto& [key, record] : exfat->findings())
        if (key != 0 && !record.directory() && record.deleted != 0 && record.size != 0 && layout.in_heap(record.first_cluster))
            names.try_emplace(layout.cluster_offset(record.first_cluster), record.name);
    return names;
}

int extract_exfat_row(recovery_base_c& engine, const recovery_item_s& row, const QString& destination)
{
    return engine.recover_file(row.id, destination);
}

} // namespace

const engine_entry_s exfat_engine_entry{scanner_exfat,           takes_exfat,              make_exfat_engine,
                                        build_exfat_engine_tree, list_exfat_engine_folder, extract_exfat_row,
                                        true,                    exfat_known_starts};

} // namespace tarn
