#include "app/cli/cli_commands.h"

#include "common/visible_text.h"

#include <QJsonDocument>

#include <array>

namespace tarn {

extern const cli_command_s cli_drives_command;
extern const cli_command_s cli_volumes_command;
extern const cli_command_s cli_scan_command;
extern const cli_command_s cli_partitions_command;
extern const cli_command_s cli_carve_command;
extern const cli_command_s cli_resume_command;

std::span<const cli_command_s> cli_commands()
{
    static const std::array commands = {
        cli_drives_command,
        cli_volumes_command,
        cli_scan_command,
        cli_carve_command,
        cli_resume_command,
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
    // Names come from the disk: a tab or line break in one must not forge a column or a row, nor
    // an escape sequence reach the terminal.
    QStringList texts;
    for (const auto& value : values)
        texts << visible_text(value.toString(), true);
    ctx.out << texts.join(QLatin1Char('\t')) << '\n';
}

int cli_take_option(cli_context_s& ctx, QStringList& args, const char* command, const char* option, QString& value)
{
    const qsizetype at = args.indexOf(QLatin1String(option));
    if (at < 0)
        return 0;
    if (at + 1 >= args.size()) {
        ctx.err << "tarnrecovery-cli " << command << ": " << option << " needs a value\n";
        return -1;
    }
    value = args.at(at + 1);
    args.remove(at, 2);
    return 1;
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
