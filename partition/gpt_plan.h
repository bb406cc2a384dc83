#pragma once
// What the repair does to a disk that has, or is to get, a GPT: nothing when both copies are
// sound, the damaged copy restored from the sound one, or a new GPT from the finds that keeps
// the entries no find overlaps.

#include "partition/disk_table.h"
#include "partition/partition_item.h"
#include "partition/partition_table_plan.h"
#include "partition/sector_write.h"

#include <QString>

#include <optional>
#include <span>
#include <vector>

namespace tarn {

enum class gpt_action_e {
    none,            // both copies sound
    restore_primary, // from the backup
    restore_backup,  // from the primary
    new_table,       // from the finds
};

// Why the disk gets a GPT and not an MBR.
enum class gpt_reason_e {
    gpt_on_disk,       // a sound copy is there
    protective_mbr,    // sector 0 protects a GPT that is gone
    disk_over_2tib,    // an MBR cannot reach the disk's end
    find_over_32_bits, // an MBR entry cannot hold a find
};

// One entry as the confirmation shows it. An entry of an MBR that the new GPT replaces has an
// MBR type code and no GPT type.
struct gpt_row_s {
    std::size_t slot = 0;
    std::optional<guid_s> type;
    std::uint8_t mbr_type = 0;
    std::uint64_t first_lba = 0;
    std::uint64_t last_lba = 0;
    entry_fate_e fate = entry_fate_e::kept;      // in the current table
    slot_origin_e origin = slot_origin_e::kept;  // in the planned one
    QString fs_name;                             // of a find
    bool operator==(const gpt_row_s&) const = default;
};

struct gpt_plan_s {
    gpt_action_e action = gpt_action_e::none;
    gpt_reason_e reason = gpt_reason_e::gpt_on_disk;
    table_kind_e current_kind = table_kind_e::none; // where the current rows come from
    bool protective_mbr = false;                    // sector 0 is written as a protective MBR
    std::vector<gpt_row_s> current;
    std::vector<gpt_row_s> planned;
    std::vector<gpt_row_s> mbr_overwritten; // entries of a sector 0 that a protective MBR replaces
    std::vector<partition_item_s> left_out; // finds no entry of the new table can hold
    std::vector<sector_write_s> writes;     // in the order written, sector 0 last; plan_repair() moves them out
    bool operator==(const gpt_plan_s&) const = default;
};

// Why this disk must have a GPT; nothing for a disk that keeps its MBR.
std::optional<gpt_reason_e> gpt_needed(const disk_table_s& disk, const std::vector<partition_item_s>& finds);

// The plan for a disk gpt_needed() chose. `fresh` supplies new GUIDs in order (the disk's, then
// one per new entry), so that the same inputs always plan the same bytes. Nothing when a new
// table would hold no entry or the disk is too small for one.
std::optional<gpt_plan_s> plan_gpt(const disk_table_s& disk, gpt_reason_e reason,
                                   const std::vector<partition_item_s>& finds, std::span<const guid_s> fresh,
                                   std::uint32_t sectors_per_track, std::uint32_t heads);

} // namespace tarn
