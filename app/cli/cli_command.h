#pragma once
// One command of the command-line tool: its name, its one-line synopsis, its help text and the
// routine that runs it.

#include <QStringList>
#include <QTextStream>

namespace tarn {

enum cli_exit_e : int { cli_ok = 0, cli_failed = 1, cli_usage = 2 };

struct cli_context_s {
    bool json;            // JSON lines instead of tab-separated lines
    QTextStream& out;
    QTextStream& err;
    bool err_is_terminal; // progress lines only go to a terminal
};

struct cli_command_s {
    const char* name;
    const char* synopsis;
    const char* help;
    int (*run)(const QStringList& args, cli_context_s& ctx);
};

} // namespace tarn
