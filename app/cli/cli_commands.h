#pragma once

#include "app/cli/cli_command.h"

#include <QJsonObject>

#include <span>

namespace tarn {

std::span<const cli_command_s> cli_commands();

// Writes one result line: the values tab-separated, or with --json one JSON object per line.
void cli_print_row(cli_context_s& ctx, const QStringList& keys, const QVariantList& values);

// The entry at a 1-based row of a list whose entry 0 is the header; -1 and a message on err
// when the text is not such a row.
int cli_parse_row(cli_context_s& ctx, const QString& text, std::size_t list_size);

// Takes "option VALUE" out of args into value: 1 when taken, 0 when absent, -1 (and a message
// on err) when the option has no value.
int cli_take_option(cli_context_s& ctx, QStringList& args, const char* command, const char* option, QString& value);

} // namespace tarn
