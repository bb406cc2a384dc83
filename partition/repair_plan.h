#pragma once
// The whole of what a repair would write, decided from the table the disk holds: an MBR disk
// gets its MBR planned from the finds; a disk with a GPT, or one an MBR cannot describe, gets a
// GPT plan.

#include "partition/disk_table.h"
#include "partition/gpt_plan.h"
#include "partition/partition_table_plan.h"
#include "partition/sector_write.h"

#include <QString>

#include <optional>
#include <span>
#include <vector>

namespace tarn {

// New GUIDs a plan may take: the disk's and one per entry of a full array.
inline constexpr std::size_t repair_fresh_guids = 1 + gpt_new_entry_count;

struct repair_plan_s {
    table_kind_e now = table_kind_e::none;
    std::optional<gpt_plan_s> gpt; // set when the disk has or gets a GPT
    partition_plan_s mbr;          // the MBR table otherwise
    std::vector<sector_write_s> writes; // empty when the table on the disk is sound
    bool operator==(const repair_plan_s&) const = default;
};

// Nothing when there is nothing to write from: an MBR disk without finds, or a new GPT that
// would hold no entry.
std::optional<repair_plan_s> plan_repair(const disk_table_s& disk, const std::vector<partition_item_s>& finds,
                                         std::span<const guid_s> fresh, std::uint32_t sectors_per_track,
                                         std::uint32_t heads);

// The sectors the plan writes, in ascending order: "0, 1-33, 4194271-4194303".
QString written_sectors_text(const repair_plan_s& plan);

} // namespace tarn
