#include "app/cli/cli_commands.h"

#include <QJsonDocument>

#include <array>

namespace tarn {

extern const cli_command_s cli_drives_command;
extern const cli_command_s cli_volumes_command;
extern const cli_command_s cli_scan_command;
extern const cli_command_s cli_partitions_command;

std::span<const cli_command_s> cli_commands()
{
    static const std::array commands = {
        cli_drives_command,
        cli_volumes_command,
        cli_scan_command,
        cli_partitions_command,
    };
    return commands;
}

void cli_print_row(cli_context_s& ctx, const QStringList& keys, const QVariantList& values)
{
    if (ctx.json) {
        QJsonObject object;
        for (qsizetype i = 0; i < keys.size() && i < values.size(); ++i)
            object.insert(keys[i], QJsonValue::fromVariant(values[i]));
        ctx.out << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
        return;
    }
    QStringList texts;
    for (const auto& value : values)
        texts << value.toString();
    ctx.out << texts.join(QLatin1Char('\t')) << '\n';
}

int cli_parse_row(cli_context_s& ctx, const QString& text, std::size_t list_size)
{
    bool ok = false;
    const int row = text.toInt(&ok);
    if (!ok || row < 1 || static_cast<std::size_t>(row) >= list_size) {
        ctx.err << "tarnrecovery-cli: no row " << text << " (the list has " << (list_size > 0 ? list_size - 1 : 0)
                << " entries)\n";
        return -1;
    }
    return row;
}

} // namespace tarn
