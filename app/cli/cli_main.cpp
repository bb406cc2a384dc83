// tarnrecovery-cli: the program's disk work without a window, for scripts, servers and benchmarks.

#include "app/cli/cli_commands.h"
#include "disk/drive_enumeration.h"
#include "platform/opened_images.h"
#include "platform/physical_drives.h"
#include "platform/system.h"

#include <QCoreApplication>

#include <unistd.h>

namespace {

void print_help(QTextStream& out)
{
    out << "Usage: tarnrecovery-cli [--json] [--image FILE]... COMMAND [ARGS]\n\n"
           "Rows are the numbers that 'drives' and 'volumes' print (1 = first entry).\n"
           "--image FILE adds a disk image after the machine's disks, read-only: raw (.img, .dd, .raw,\n"
           "split .001 .002 ...), E01 with its segments, VMDK, VHD, VHDX or QCOW2. Repeat it for more.\n"
           "Set TARN_DISKS=IMG1:IMG2:... to work on disk image files instead of the machine's disks.\n"
           "Rows are tab-separated; in their texts a tab, line break, carriage return or backslash is\n"
           "written \\t, \\n, \\r or \\\\, and any other control character \\xHH (--json escapes by JSON's rules).\n"
           "Exit status: 0 success, 1 failure, 2 bad usage.\n\nCommands:\n";
    for (const auto& command : tarn::cli_commands()) {
        out << "  " << command.synopsis << "\n";
        for (const auto& line : QString::fromUtf8(command.help).split(QLatin1Char('\n')))
            out << "      " << line << "\n";
    }
    out << "\nOptions:\n  --json          one JSON object per line instead of tab-separated columns\n"
           "  --image FILE    a disk image as one more disk (before the command)\n"
           "  --help          this text\n";
}

// Opens the images named by the --image options in front of the command. An image that cannot
// be read is reported and left out; the command still runs. -1 when an option has no file.
int open_images(QStringList& args, QTextStream& err, int& refused)
{
    while (!args.isEmpty() && args.front() == QLatin1String("--image")) {
        if (args.size() < 2) {
            err << "tarnrecovery-cli: --image needs a file\n";
            return -1;
        }
        QString error;
        if (tarn::open_disk_image(args[1], error) != 0) {
            err << "tarnrecovery-cli: " << error << '\n';
            ++refused;
        }
        args.remove(0, 2);
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // Standard output holds the results alone, on a terminal as into a pipe.
    tarn::detach_console();
    tarn::register_disk_meta_types();
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments().mid(1);
    const bool json = args.removeAll(QStringLiteral("--json")) > 0;
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        print_help(out);
        return tarn::cli_ok;
    }
    int refused = 0;
    if (open_images(args, err, refused) != 0)
        return tarn::cli_usage;
    // An image of TARN_DISKS that cannot be read is left out of every list alike, and said so.
    for (const QString& error : tarn::image_mode_refusals()) {
        err << "tarnrecovery-cli: " << error << " (left out of TARN_DISKS)\n";
        ++refused;
    }
    if (args.isEmpty()) {
        err << "tarnrecovery-cli: no command given; see tarnrecovery-cli --help\n";
        return tarn::cli_usage;
    }
    const QString name = args.takeFirst();
    for (const auto& command : tarn::cli_commands()) {
        if (name == QLatin1String(command.name)) {
            tarn::cli_context_s ctx{json, out, err, ::isatty(STDERR_FILENO) == 1};
            const int result = command.run(args, ctx);
            // The work on the other disks is done, but what was asked for was not all read.
            return result == tarn::cli_ok && refused > 0 ? tarn::cli_failed : result;
        }
    }
    err << "tarnrecovery-cli: unknown command '" << name << "'; see tarnrecovery-cli --help\n";
    return tarn::cli_usage;
}
