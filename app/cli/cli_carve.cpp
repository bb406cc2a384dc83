// tarnrecovery-cli carve ROW [--recover DIR] | carve --types: the deep scan of a volume by file
// signatures, one line per carved file; its types.

#include "app/cli/cli_commands.h"
#include "app/cli/cli_engine.h"
#include "disk/volume_item.h"
#include "libs/carve/carve_config.h"
#include "recovery/engine_table.h"
#include "recovery/file_extraction.h"
#include "scan/raw_recovery.h"

#include <QDir>

namespace tarn {

namespace {

int print_types(cli_context_s& ctx)
{
    configure_carving();
    for (const carve_type_s& type : carve_types())
        cli_print_row(ctx, {"extension", "enabled", "largest"},
                      {QString::fromLatin1(type.format->extension), type.enabled, qulonglong(type.largest)});
    return cli_ok;
}

// Every hit into dir under its row name ("00000012.jpg"); how many could not be written.
int recover_hits(cli_context_s& ctx, raw_recovery_c& engine, const QString& dir)
{
    if (!QDir().mkpath(dir)) {
        ctx.err << "tarnrecovery-cli carve: cannot create " << dir << '\n';
        return static_cast<int>(engine.hits().size());
    }
    recovery_rows rows;
    for (const raw_hit_s& hit : engine.hits()) {
        recovery_item_s row;
        row.name = QString::asprintf("%08llu.%s", static_cast<unsigned long long>(hit.sequence), hit.extension);
        row.id = hit.sequence;
        row.checked = true;
        rows.push_back(row);
    }
    return extract_rows(engine, scanner_raw, dir, rows);
}

int run_carve(const QStringList& args, cli_context_s& ctx)
{
    if (args == QStringList{QStringLiteral("--types")})
        return print_types(ctx);
    volume_item_s volume;
    QString recover_dir;
    const int row = cli_volume_arguments(ctx, args, "carve", "carve ROW [--recover DIR] | carve --types", volume, recover_dir);
    if (row < 0)
        return cli_usage;
    configure_carving();
    raw_recovery_c engine;
    engine.set_volume(volume);
    if (cli_run_engine(ctx, engine, "carve", row) != cli_ok)
        return cli_failed;
    for (const raw_hit_s& hit : engine.hits())
        cli_print_row(ctx, {"sequence", "offset", "size", "extension"},
                      {qulonglong(hit.sequence), qulonglong(hit.offset), qulonglong(hit.size), QString::fromLatin1(hit.extension)});
    ctx.out.flush();
    if (recover_dir.isEmpty())
        return cli_ok;
    const int failed = recover_hits(ctx, engine, recover_dir);
    if (failed != 0)
        ctx.err << "tarnrecovery-cli carve: " << failed << " file(s) could not be written into " << recover_dir << '\n';
    return failed == 0 ? cli_ok : cli_failed;
}

} // namespace

extern const cli_command_s cli_carve_command = {
    "carve", "carve ROW [--recover DIR] | carve --types",
    "Deep scan of the volume of a row of 'volumes': files found by their signatures at any byte\n"
    "offset, their ends decided from their formats. One line per file: sequence, offset, size,\n"
    "extension. --recover writes them into DIR as 00000000.jpg, 00000001.png, ... --types lists\n"
    "the types (extension, on, largest size) as ./Tarnrecovery.conf leaves them.",
    run_carve};

} // namespace tarn
