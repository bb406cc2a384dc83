#include "app/cli/cli_engine.h"

#include "app/cli/cli_commands.h"
#include "disk/drive_enumeration.h"
#include "disk/volume_enumeration.h"
#include "partition/found_partition_volume.h"
#include "partition/partition_repair.h"
#include "partition/partition_search.h"
#include "platform/system.h"
#include "scan/recovery_base.h"

#include <QFileInfo>

namespace tarn {

namespace {

void show_progress(cli_context_s& ctx, recovery_base_c& engine)
{
    ctx.err << QStringLiteral("\r\033[Kscanning: %1%, %2 entries read, %3 found")
                   .arg(static_cast<int>(engine.get_progress() * 100))
                   .arg(engine.get_read_count())
                   .arg(engine.get_found_count());
    ctx.err.flush();
}

// DISK:FIND: the disk is searched as 'partitions DISK' searches it, so that the index means the
// same find; nothing is written.
int found_volume(cli_context_s& ctx, const char* command, const QString& text, volume_item_s& volume)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    enumerate_drives();
    const int disk = cli_parse_row(ctx, text.left(colon), drive_list().size());
    if (disk < 0)
        return -1;
    bool ok = false;
    const qulonglong index = text.mid(colon + 1).toULongLong(&ok);
    if (!ok) {
        ctx.err << "tarnrecovery-cli " << command << ": " << text
                << " names no found partition: DISK:FIND, as 'partitions DISK' numbers them\n";
        return -1;
    }
    const drive_item_s drive = drive_list()[static_cast<std::size_t>(disk)];
    partition_repair_c search;
    const int result = search.search_partitions(drive);
    const std::vector<partition_item_s> finds = search.partitions();
    if (result < 0) {
        ctx.err << "tarnrecovery-cli " << command << ": cannot open " << drive.path << '\n';
        return -2;
    }
    if (index >= finds.size()) {
        ctx.err << "tarnrecovery-cli " << command << ": the search of " << drive.path << " found " << finds.size()
                << " partition(s); there is no index " << text.mid(colon + 1)
                << (result == search_disk_silent ? " (the disk stopped answering before its end)" : "") << '\n';
        return -2;
    }
    volume = found_partition_volume(drive, finds[index]);
    return 0;
}

} // namespace

int cli_volume_arguments(cli_context_s& ctx, const QStringList& args, const char* command, const char* usage,
                         volume_item_s& volume, QString& recover_dir, QString& name)
{
    QStringList rest = args;
    if (cli_take_option(ctx, rest, command, "--recover", recover_dir) < 0)
        return -1;
    if (rest.size() != 1) {
        ctx.err << "tarnrecovery-cli " << command << ": usage: " << usage << '\n';
        return -1;
    }
    name = rest.front();
    if (name.contains(QLatin1Char(':'))) {
        if (const int result = found_volume(ctx, command, name, volume); result != 0)
            return result;
    } else {
        enumerate_volumes();
        const auto& list = volume_list();
        const int row = cli_parse_row(ctx, name, list.size());
        if (row < 0)
            return -1;
        volume = list[static_cast<std::size_t>(row)];
    }
    return cli_target_allowed(ctx, command, recover_dir, volume) ? 0 : -2;
}

bool cli_target_allowed(cli_context_s& ctx, const char* command, const QString& dir, const volume_item_s& volume)
{
    if (dir.isEmpty())
        return true;
    // The folder may not exist yet: the nearest folder above it that does tells where it lies.
    QString existing = QFileInfo(dir).absoluteFilePath();
    while (!QFileInfo(existing).isDir() && existing != QLatin1String("/"))
        existing = QFileInfo(existing).path();
    if (!same_volume(existing, volume.device))
        return true;
    ctx.err << "tarnrecovery-cli " << command << ": " << dir
            << " lies on the volume being scanned; writing there can overwrite the very files being recovered. "
               "Choose a folder on another disk\n";
    return false;
}

int cli_run_engine(cli_context_s& ctx, recovery_base_c& engine, const char* command, const QString& name)
{
    engine.start();
    while (!engine.wait(200))
        if (ctx.err_is_terminal)
            show_progress(ctx, engine);
    const scan_failure_e failure = engine.get_failure();
    if (ctx.err_is_terminal) {
        // A scan that walked its volume to the end has done all of it, whatever its estimate said.
        if (failure == scan_failure_e::none)
            engine.set_progress(1.0);
        show_progress(ctx, engine);
        // Flushed before any result row reaches standard output.
        ctx.err << '\n' << Qt::flush;
    }
    if (failure != scan_failure_e::none) {
        ctx.err << "tarnrecovery-cli " << command << ": " << (name.contains(QLatin1Char(':')) ? "found partition " : "row ")
                << name << ": " << scan_failure_text(failure) << '\n';
        return cli_failed;
    }
    return cli_ok;
}

} // namespace tarn
