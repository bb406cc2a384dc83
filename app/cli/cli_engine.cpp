#include "app/cli/cli_engine.h"

#include "app/cli/cli_commands.h"
#include "disk/volume_enumeration.h"
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

} // namespace

int cli_volume_arguments(cli_context_s& ctx, const QStringList& args, const char* command, const char* usage,
                         volume_item_s& volume, QString& recover_dir)
{
    QStringList rest = args;
    if (cli_take_option(ctx, rest, command, "--recover", recover_dir) < 0)
        return -1;
    if (rest.size() != 1) {
        ctx.err << "tarnrecovery-cli " << command << ": usage: " << usage << '\n';
        return -1;
    }
    enumerate_volumes();
    const auto& list = volume_list();
    const int row = cli_parse_row(ctx, rest.front(), list.size());
    if (row >= 0)
        volume = list[static_cast<std::size_t>(row)];
    if (row >= 0 && !cli_target_allowed(ctx, command, recover_dir, volume))
        return -2;
    return row;
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

int cli_run_engine(cli_context_s& ctx, recovery_base_c& engine, const char* command, int row)
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
        ctx.err << "tarnrecovery-cli " << command << ": row " << row << ": " << scan_failure_text(failure) << '\n';
        return cli_failed;
    }
    return cli_ok;
}

} // namespace tarn
