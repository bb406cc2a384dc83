#include "recovery/engine_table.h"

#include <array>

namespace tarn {

namespace {

// In the order the choice is made: a deep scan asked for wins over the file system's engine.
const std::array<const engine_entry_s*, 4> choice_order{&raw_engine_entry, &ntfs_engine_entry, &fat_engine_entry,
                                                        &exfat_engine_entry};

} // namespace

const engine_entry_s* engine_entry(int kind)
{
    for (const engine_entry_s* entry : choice_order)
        if (entry->kind == kind)
            return entry;
    return nullptr;
}

const engine_entry_s* choose_engine(const volume_item_s& volume, bool deep)
{
    for (const engine_entry_s* entry : choice_order)
        if (entry->takes(volume, deep))
            return entry;
    return nullptr;
}

} // namespace tarn
