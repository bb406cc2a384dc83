#include "partition/repair_plan.h"

#include <QStringList>

#include <algorithm>
#include <utility>

namespace tarn {

std::optional<repair_plan_s> plan_repair(const disk_table_s& disk, const std::vector<partition_item_s>& finds,
                                         std::span<const guid_s> fresh, std::uint32_t sectors_per_track,
                                         std::uint32_t heads)
{
    repair_plan_s plan;
    plan.now = table_kind(disk);
    if (const auto reason = gpt_needed(disk, finds)) {
        plan.gpt = plan_gpt(disk, *reason, finds, fresh, sectors_per_track, heads);
        if (!plan.gpt)
            return std::nullopt;
        plan.writes = std::move(plan.gpt->writes); // kept in one place
        return plan;
    }
    // With nothing found there is nothing to write back, and the boot code on the disk stays.
    if (finds.empty())
        return std::nullopt;
    plan.mbr = plan_partition_table(disk.sector0, finds, sectors_per_track, heads);
    const sector_s record = build_master_boot_record(disk.sector0, plan.mbr.entries());
    plan.writes.push_back({0, std::vector<std::byte>(record.begin(), record.end())});
    return plan;
}

QString written_sectors_text(const repair_plan_s& plan)
{
    std::vector<std::pair<std::uint64_t, std::uint64_t>> runs;
    for (const sector_write_s& run : plan.writes)
        runs.emplace_back(run.lba, run.lba + run.bytes.size() / sector_bytes - 1);
    std::ranges::sort(runs);
    QStringList texts;
    for (const auto& [first, last] : runs)
        texts << (first == last ? QString::number(first) : QStringLiteral("%1-%2").arg(first).arg(last));
    return texts.join(QStringLiteral(", "));
}

} // namespace tarn
