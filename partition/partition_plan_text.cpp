#include "partition/partition_plan_text.h"

#include "common/format_size.h"
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

// Slot number, then either the entry's values and its note, or "empty" across the rest.
QString entry_row(std::size_t slot, const table_entry_s& entry, const QString& note)
{
    const QString number = QString::number(slot + 1);
    if (!entry.used())
        return QStringLiteral("<tr><td>%1</td><td colspan=\"5\">%2</td></tr>").arg(number, text_of("partition_entry_empty"));
    const QString type = QStringLiteral("0x") + QStringLiteral("%1").arg(entry.type(), 2, 16, QChar(u'0')).toUpper();
    const std::uint64_t bytes = std::uint64_t{entry.sector_count()} * sector_bytes;
    return cells({number, type, QString::number(entry.first_sector()), QString::number(entry.last_sector()),
                  format_size(bytes), note},
                 "td");
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

} // namespace

QString plan_tables_html(const partition_plan_s& plan)
{
    return QStringLiteral("<p><b>%1</b></p>").arg(text_of("partition_table_now")) + current_table_html(plan)
         + QStringLiteral("<p><b>%1</b></p>").arg(text_of("partition_table_new")) + planned_table_html(plan);
}

QString backup_note_html(const QString& backup_path)
{
    if (backup_path.isEmpty())
        return {};
    return QStringLiteral("<p>%1</p>").arg(text_of("partition_backup").arg(backup_path.toHtmlEscaped()));
}

} // namespace tarn
