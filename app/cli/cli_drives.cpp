// tarnrecovery-cli drives: the physical disks, one line each.

#include "app/cli/cli_commands.h"
#include "disk/drive_enumeration.h"

namespace tarn {

namespace {

int run_drives(const QStringList& args, cli_context_s& ctx)
{
    if (!args.isEmpty()) {
        ctx.err << "tarnrecovery-cli drives: unexpected argument " << args.front() << '\n';
        return cli_usage;
    }
    enumerate_drives();
    const auto& list = drive_list();
    for (std::size_t row = 1; row < list.size(); ++row)
        cli_print_row(ctx, {"row", "path", "size"},
                      {qulonglong(row), list[row].path, qulonglong(list[row].size)});
    return cli_ok;
}

} // namespace

extern const cli_command_s cli_drives_command = {
    "drives", "drives",
    "List the physical disks: row, path, size in bytes (the disk's true size).\n"
    "At most ten disks are listed, up to the first that cannot be opened; an image of TARN_DISKS\n"
    "that cannot be read is left out, and standard error says why.",
    run_drives};

} // namespace tarn
