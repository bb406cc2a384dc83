#include "app/cli/cli_repair_plan.h"

#include "partition/partition_types.h"

#include <QStringList>

namespace tarn {

namespace {

const char* fate_text(entry_fate_e fate)
{
    switch (fate) {
    case entry_fate_e::kept:
        return "kept";
    case entry_fate_e::replaced:
        return "replaced by a found partition";
    case entry_fate_e::lost:
        return "WILL BE LOST";
    case entry_fate_e::empty:
        break;
    }
    return "";
}

QString entry_line(std::size_t slot, const QString& type, std::uint64_t first, std::uint64_t last, const QString& note)
{
    const QString line = QStringLiteral("  %1  %2  sectors %3-%4").arg(slot + 1).arg(type).arg(first).arg(last);
    return (note.isEmpty() ? line : line + QStringLiteral("  ") + note) + QLatin1Char('\n');
}

QString mbr_type(std::uint8_t code)
{
    return QStringLiteral("type 0x%1").arg(code, 2, 16, QChar(u'0'));
}

QString mbr_line(std::size_t slot, const table_entry_s& entry, const QString& note)
{
    if (!entry.used())
        return QStringLiteral("  %1  empty\n").arg(slot + 1);
    return entry_line(slot, mbr_type(entry.type()), entry.first_sector(), entry.last_sector(), note);
}

void print_mbr_plan(const partition_plan_s& plan, QTextStream& out)
{
    out << "partition table on the disk now (" << (plan.has_current ? "MBR" : "none") << "):\n";
    if (!plan.has_current)
        out << "  none\n";
    for (std::size_t i = 0; plan.has_current && i < partition_entries; ++i)
        out << mbr_line(i, plan.current[i], QString::fromLatin1(fate_text(plan.fate[i])));
    out << "partition table that would be written (MBR):\n";
    for (std::size_t i = 0; i < partition_entries; ++i) {
        const planned_slot_s& slot = plan.planned[i];
        out << mbr_line(i, slot.entry, slot.origin == slot_origin_e::kept ? QStringLiteral("kept") : slot.fs_name);
    }
}

QString row_type(const gpt_row_s& row)
{
    return row.type ? gpt_type_name(*row.type) : mbr_type(row.mbr_type);
}

const char* gpt_why(const gpt_plan_s& plan)
{
    switch (plan.reason) {
    case gpt_reason_e::protective_mbr:
        return "sector 0 protects a GPT whose two copies are both damaged";
    case gpt_reason_e::disk_over_2tib:
        return "the disk is larger than 2 TiB, beyond what an MBR can describe";
    case gpt_reason_e::find_over_32_bits:
        return "a found partition lies beyond 2^32 sectors, which an MBR entry cannot hold";
    case gpt_reason_e::gpt_on_disk:
        break;
    }
    return "the disk has a GPT";
}

const char* gpt_action_text(const gpt_plan_s& plan)
{
    switch (plan.action) {
    case gpt_action_e::none:
        return plan.protective_mbr ? "both GPT copies are sound; sector 0 gets its protective MBR back"
                                   : "both GPT copies are sound";
    case gpt_action_e::restore_primary:
        return "the primary GPT is damaged and is restored from the backup at the end of the disk";
    case gpt_action_e::restore_backup:
        return "the backup GPT at the end of the disk is damaged and is restored from the primary";
    case gpt_action_e::new_table:
        break;
    }
    return "a new GPT is written from the found partitions, with a protective MBR in sector 0";
}

void print_gpt_plan(const gpt_plan_s& plan, QTextStream& out)
{
    out << "partition table on the disk now (" << table_kind_name(plan.current_kind) << "):\n";
    if (plan.current.empty())
        out << "  none\n";
    // Only a new table changes what becomes of the entries; a restored copy keeps them all.
    const bool fates = plan.action == gpt_action_e::new_table;
    for (const gpt_row_s& row : plan.current)
        out << entry_line(row.slot, row_type(row), row.first_lba, row.last_lba,
                          fates ? QString::fromLatin1(fate_text(row.fate)) : QString());
    if (!plan.mbr_overwritten.empty())
        out << "sector 0 now (MBR):\n";
    for (const gpt_row_s& row : plan.mbr_overwritten)
        out << entry_line(row.slot, row_type(row), row.first_lba, row.last_lba,
                          QString::fromLatin1(fate_text(row.fate)));
    if (plan.action == gpt_action_e::none && !plan.protective_mbr) {
        out << gpt_action_text(plan) << '\n';
        return;
    }
    out << "partition table that would be written (GPT, as " << gpt_why(plan) << "):\n";
    for (const gpt_row_s& row : plan.planned)
        out << entry_line(row.slot, row_type(row), row.first_lba, row.last_lba,
                          row.origin == slot_origin_e::found ? row.fs_name : QStringLiteral("kept"));
    for (const partition_item_s& find : plan.left_out)
        out << "  not written: " << find.fs_name << " at sectors " << find.start_sector << '-' << find.end_sector
            << " (outside the GPT's usable sectors, or no room left)\n";
    out << gpt_action_text(plan) << '\n';
}

} // namespace

void print_repair_plan(const repair_plan_s& plan, QTextStream& out)
{
    if (plan.gpt)
        print_gpt_plan(*plan.gpt, out);
    else
        print_mbr_plan(plan.mbr, out);
}

} // namespace tarn
