#include "partition/partition_plan_text.h"

#include "common/format_size.h"
#include "partition/partition_types.h"
#include "settings/language.h"

#include <QStringList>

namespace tarn {

namespace {

QString text_of(std::string_view key)
{
    return language_text(key).toHtmlEscaped();
}

QString cells(const QStringList& values, const char* tag)
{
    QString row = QStringLiteral("<tr>");
    for (const QString& value : values)
        row += QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), value);
    return row + QStringLiteral("</tr>");
}

QString cells_row(std::size_t slot, const QString& type, std::uint64_t first, std::uint64_t last, const QString& note)
{
    const std::uint64_t bytes = (last - first + 1) * sector_bytes;
    return cells(
        {QString::number(slot + 1), type, QString::number(first), QString::number(last), format_size(bytes), note}, "td");
}

QString mbr_type_text(std::uint8_t type)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(type, 2, 16, QChar(u'0')).toUpper();
}

// Slot number, then either the entry's values and its note, or "empty" across the rest.
QString entry_row(std::size_t slot, const table_entry_s& entry, const QString& note)
{
    const QString number = QString::number(slot + 1);
    if (!entry.used())
        return QStringLiteral("<tr><td>%1</td><td colspan=\"5\">%2</td></tr>")
            .arg(number, text_of("partition_entry_empty"));
    return cells_row(slot, mbr_type_text(entry.type()), entry.first_sector(), entry.last_sector(), note);
}

QString table_html(const QString& rows)
{
    const QString header = cells({text_of("partition_number"), text_of("partition_type"), text_of("partition_ss"),
                                  text_of("partition_es"), text_of("drive_size"), QString()},
                                 "th");
    return QStringLiteral("<table cellspacing=\"0\" cellpadding=\"3\">") + header + rows + QStringLiteral("</table>");
}

QString fate_note(entry_fate_e fate)
{
    switch (fate) {
    case entry_fate_e::kept:
        return text_of("partition_entry_kept");
    case entry_fate_e::replaced:
        return text_of("partition_entry_replaced");
    case entry_fate_e::lost:
        return QStringLiteral("<b>%1</b>").arg(text_of("partition_entry_lost"));
    case entry_fate_e::empty:
        break;
    }
    return {};
}

QString current_table_html(const partition_plan_s& plan)
{
    if (!plan.has_current)
        return QStringLiteral("<p>%1</p>").arg(text_of("partition_table_none"));
    QString rows;
    for (std::size_t i = 0; i < partition_entries; ++i)
        rows += entry_row(i, plan.current[i], fate_note(plan.fate[i]));
    return table_html(rows);
}

QString planned_table_html(const partition_plan_s& plan)
{
    QString rows;
    for (std::size_t i = 0; i < partition_entries; ++i) {
        const planned_slot_s& slot = plan.planned[i];
        const QString note =
            slot.origin == slot_origin_e::kept ? text_of("partition_entry_kept") : slot.fs_name.toHtmlEscaped();
        rows += entry_row(i, slot.entry, note);
    }
    return table_html(rows);
}

QString heading(std::string_view key, table_kind_e kind)
{
    return QStringLiteral("<p><b>%1 %2</b></p>").arg(text_of(key), table_kind_text(kind).toHtmlEscaped());
}

QString gpt_type_text(const gpt_row_s& row)
{
    if (!row.type)
        return mbr_type_text(row.mbr_type);
    const std::string_view key = gpt_type_key(*row.type);
    return key.empty() ? guid_text(*row.type) : text_of(key);
}

QString gpt_rows_html(const std::vector<gpt_row_s>& rows, bool planned, bool with_fates)
{
    QString out;
    for (const gpt_row_s& row : rows) {
        QString note;
        if (planned)
            note = row.origin == slot_origin_e::found ? row.fs_name.toHtmlEscaped() : text_of("partition_entry_kept");
        else if (with_fates)
            note = fate_note(row.fate);
        out += cells_row(row.slot, gpt_type_text(row), row.first_lba, row.last_lba, note);
    }
    return out;
}

std::string_view gpt_action_key(const gpt_plan_s& plan)
{
    switch (plan.action) {
    case gpt_action_e::restore_primary:
        return "partition_gpt_restore_primary";
    case gpt_action_e::restore_backup:
        return "partition_gpt_restore_backup";
    case gpt_action_e::new_table:
        break;
    case gpt_action_e::none:
        return "partition_gpt_protective";
    }
    switch (plan.reason) {
    case gpt_reason_e::disk_over_2tib:
        return "partition_gpt_why_large";
    case gpt_reason_e::find_over_32_bits:
        return "partition_gpt_why_find";
    case gpt_reason_e::protective_mbr:
    case gpt_reason_e::gpt_on_disk:
        break;
    }
    return "partition_gpt_new";
}

QString left_out_html(const std::vector<partition_item_s>& finds)
{
    QStringList items;
    for (const partition_item_s& f : finds)
        items << QStringLiteral("%1 %2–%3").arg(f.fs_name.toHtmlEscaped()).arg(f.start_sector).arg(f.end_sector);
    if (items.isEmpty())
        return {};
    return QStringLiteral("<p>%1</p>").arg(text_of("partition_gpt_left_out").arg(items.join(QStringLiteral(", "))));
}

QString gpt_tables_html(const gpt_plan_s& plan)
{
    const bool fates = plan.action == gpt_action_e::new_table;
    const QString now = heading("partition_table_now", plan.current_kind)
                      + (plan.current.empty() ? QStringLiteral("<p>%1</p>").arg(text_of("partition_entry_empty"))
                                              : table_html(gpt_rows_html(plan.current, false, fates)));
    // A sound table is shown as it is: the box's own text says that nothing is written.
    if (plan.action == gpt_action_e::none && !plan.protective_mbr)
        return now;
    const QString overwritten = plan.mbr_overwritten.empty()
                                    ? QString()
                                    : heading("partition_table_now", table_kind_e::mbr)
                                          + table_html(gpt_rows_html(plan.mbr_overwritten, false, true));
    return QStringLiteral("<p>%1</p>").arg(text_of(gpt_action_key(plan))) + now + overwritten
         + heading("partition_table_new", table_kind_e::gpt) + table_html(gpt_rows_html(plan.planned, true, false))
         + left_out_html(plan.left_out);
}

} // namespace

QString table_kind_text(table_kind_e kind)
{
    return kind == table_kind_e::none ? language_text("partition_table_kind_none")
                                      : QString::fromLatin1(table_kind_name(kind));
}

QString plan_tables_html(const repair_plan_s& plan)
{
    if (plan.gpt)
        return gpt_tables_html(*plan.gpt);
    const table_kind_e now = plan.mbr.has_current ? table_kind_e::mbr : table_kind_e::none;
    return heading("partition_table_now", now) + current_table_html(plan.mbr)
         + heading("partition_table_new", table_kind_e::mbr) + planned_table_html(plan.mbr);
}

QString written_sectors_html(const repair_plan_s& plan)
{
    return QStringLiteral("<p>%1</p>").arg(text_of("partition_sectors_written").arg(written_sectors_text(plan)));
}

QString backup_note_html(const repair_plan_s& plan, const QString& backup_path)
{
    if (backup_path.isEmpty())
        return {};
    if (!plan.gpt)
        return QStringLiteral("<p>%1</p>").arg(text_of("partition_backup").arg(backup_path.toHtmlEscaped()));
    return QStringLiteral("<p>%1</p>").arg(
        text_of("partition_backup_sectors").arg(written_sectors_text(plan), backup_path.toHtmlEscaped()));
}

} // namespace tarn
