// tarnrecovery-cli: the program's disk work without a window, for scripts, servers and benchmarks.

#include "app/cli/cli_commands.h"
#include "disk/drive_enumeration.h"

#include <QCoreApplication>

#include <unistd.h>

namespace {

void print_help(QTextStream& out)
{
    out << "Usage: tarnrecovery-cli [--json] COMMAND [ARGS]\n\n"
           "Rows are the numbers that 'drives' and 'volumes' print (1 = first entry).\n"
           "Set TARN_DISKS=IMG1:IMG2:... to work on disk image files instead of the machine's disks.\n"
           "Exit status: 0 success, 1 failure, 2 bad usage.\n\nCommands:\n";
    for (const auto& command : tarn::cli_commands()) {
        out << "  " << command.synopsis << "\n";
        for (const auto& line : QString::fromUtf8(command.help).split(QLatin1Char('\n')))
            out << "      " << line << "\n";
    }
    out << "\nOptions:\n  --json    one JSON object per line instead of tab-separated columns\n"
           "  --help    this text\n";
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    tarn::register_disk_meta_types();
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments().mid(1);
    const bool json = args.removeAll(QStringLiteral("--json")) > 0;
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        print_help(out);
        return tarn::cli_ok;
    }
    if (args.isEmpty()) {
        err << "tarnrecovery-cli: no command given; see tarnrecovery-cli --help\n";
        return tarn::cli_usage;
    }
    const QString name = args.takeFirst();
    for (const auto& command : tarn::cli_commands()) {
        if (name == QLatin1String(command.name)) {
            tarn::cli_context_s ctx{json, out, err, ::isatty(STDERR_FILENO) == 1};
            return command.run(args, ctx);
        }
    }
    err << "tarnrecovery-cli: unknown command '" << name << "'; see tarnrecovery-cli --help\n";
    return tarn::cli_usage;
}
