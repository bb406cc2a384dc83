// tarnrecovery-cli carve ROW [--recover DIR] | carve --types: the deep scan of a volume by file
// signatures, one line per carved file; its types.

#include "app/cli/cli_commands.h"
#include "app/cli/cli_engine.h"
#include "common/visible_text.h"
#include "disk/volume_enumeration.h"
#include "partition/found_partition_volume.h"
#include "libs/carve/carve_config.h"
#include "recovery/engine_table.h"
#include "recovery/file_extraction.h"
#include "scan/raw_recovery.h"
#include "scan/raw_scan_file.h"

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
        row.name = raw_hit_name(hit);
        row.id = hit.sequence;
        row.checked = true;
        rows.push_back(row);
    }
    return extract_rows(engine, scanner_raw, dir, rows);
}

void print_hits(cli_context_s& ctx, const raw_recovery_c& engine)
{
    for (const raw_hit_s& hit : engine.hits())
        cli_print_row(ctx, {"sequence", "offset", "size", "extension"},
                      {qulonglong(hit.sequence), qulonglong(hit.offset), qulonglong(hit.size), QString::fromLatin1(raw_hit_extension(hit))});
    ctx.out.flush();
}

int finish(cli_context_s& ctx, raw_recovery_c& engine, const char* command, const QString& recover_dir)
{
    print_hits(ctx, engine);
    if (recover_dir.isEmpty())
        return cli_ok;
    const int failed = recover_hits(ctx, engine, recover_dir);
    if (failed != 0)
        ctx.err << "tarnrecovery-cli " << command << ": " << failed << " file(s) could not be written into " << recover_dir << '\n';
    return failed == 0 ? cli_ok : cli_failed;
}

int run_carve(const QStringList& args, cli_context_s& ctx)
{
    if (args == QStringList{QStringLiteral("--types")})
        return print_types(ctx);
    QStringList rest = args;
    QString save;
    if (cli_take_option(ctx, rest, "carve", "--save", save) < 0)
        return cli_usage;
    volume_item_s volume;
    QString recover_dir;
    QString name;
    const int given = cli_volume_arguments(ctx, rest, "carve",
                                           "carve ROW|DISK:FIND [--recover DIR] [--save FILE] | carve --types", volume,
                                           recover_dir, name);
    if (given < 0)
        return given == -2 ? cli_failed : cli_usage;
    configure_carving();
    raw_recovery_c engine;
    engine.set_volume(volume);
    if (cli_run_engine(ctx, engine, "carve", name) != cli_ok)
        return cli_failed;
    if (!save.isEmpty() && engine.save_results(save) != 0) {
        ctx.err << "tarnrecovery-cli carve: the results could not be saved to " << save
                << (engine.hits().empty() ? " (nothing was found)" : "") << '\n';
        print_hits(ctx, engine);
        return cli_failed;
    }
    return finish(ctx, engine, "carve", recover_dir);
}

// The hits of a scan file, printed as the carve that saved them printed them, and recovered from
// the volume the file names when it is here.
int run_resume(const QStringList& args, cli_context_s& ctx)
{
    QStringList rest = args;
    QString recover_dir;
    if (cli_take_option(ctx, rest, "resume", "--recover", recover_dir) < 0 || rest.size() != 1) {
        ctx.err << "tarnrecovery-cli resume: usage: resume FILE [--recover DIR]\n";
        return cli_usage;
    }
    raw_recovery_c engine;
    const QString device = engine.load_results(rest.front());
    if (device.isEmpty()) {
        ctx.err << "tarnrecovery-cli resume: " << rest.front() << " is no scan file that can be read\n";
        return cli_failed;
    }
    enumerate_volumes();
    std::vector<volume_item_s> volumes = volume_list();
    if (const auto found = found_partition_volume(device))
        volumes.push_back(*found);
    for (const volume_item_s& volume : volumes)
        if (scan_file_names_volume(device, volume.volume_path)) {
            if (!cli_target_allowed(ctx, "resume", recover_dir, volume))
                return cli_failed;
            engine.set_volume(volume);
            return finish(ctx, engine, "resume", recover_dir);
        }
    ctx.err << "tarnrecovery-cli resume: the volume " << visible_text(device, true) << " of " << rest.front() << " is not here\n";
    return cli_failed;
}

} // namespace

extern const cli_command_s cli_resume_command = {
    "resume", "resume FILE [--recover DIR]",
    "The hits of a scan file saved by 'carve --save' (or the window), printed as carve printed them;\n"
    "--recover writes them from the volume the file names, which must be here.",
    run_resume};

extern const cli_command_s cli_carve_command = {
    "carve", "carve ROW|DISK:FIND [--recover DIR] [--save FILE] | carve --types",
    "Deep scan of the volume of a row of 'volumes', or of DISK:FIND, a partition that the search of\n"
    "the disk at row DISK of 'drives' found (the index 'partitions DISK' prints), read without\n"
    "writing anything: files found by their signatures at any byte\n"
    "offset, their ends decided from their formats. One line per file: sequence, offset, size,\n"
    "extension. --recover writes them into DIR as 00000000.jpg, 00000001.png, ... --save keeps the\n"
    "results in a scan file for 'resume'. --types lists\n"
    "the types (extension, on, largest size) as ./Tarnrecovery.conf leaves them.",
    run_carve};

} // namespace tarn
