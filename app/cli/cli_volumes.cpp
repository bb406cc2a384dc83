// tarnrecovery-cli volumes: the volumes the file recovery can scan, one line each.

#include "app/cli/cli_commands.h"
#include "disk/volume_enumeration.h"

namespace tarn {

namespace {

int run_volumes(const QStringList& args, cli_context_s& ctx)
{
    if (!args.isEmpty()) {
        ctx.err << "tarnrecovery-cli volumes: unexpected argument " << args.front() << '\n';
        return cli_usage;
    }
    enumerate_volumes();
    const auto& list = volume_list();
    for (std::size_t row = 1; row < list.size(); ++row) {
        const auto& v = list[row];
        cli_print_row(ctx,
                      {"row", "mount_path", "fs_name", "label", "total_bytes", "free_bytes", "partition_number",
                       "disk_number", "volume_path"},
                      {qulonglong(row), v.mount_path, v.fs_name, v.label, qulonglong(v.total_bytes),
                       v.free_known ? QVariant(qulonglong(v.free_bytes)) : QVariant(), v.partition_number, v.disk_number, v.volume_path});
    }
    return cli_ok;
}

} // namespace

extern const cli_command_s cli_volumes_command = {
    "volumes", "volumes",
    "List the volumes that can be scanned: row, mount path, file system, label, total bytes,\n"
    "free bytes (empty when the file system keeps no count), partition number, disk number, volume path. Fixed disks need root.",
    run_volumes};

} // namespace tarn
