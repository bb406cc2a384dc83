// tarnrecovery-cli partitions: the lost-partition search on one disk, and on request the
// partition table repair.

#include "app/cli/cli_commands.h"
#include "app/cli/cli_repair_plan.h"
#include "disk/drive_enumeration.h"
#include "partition/partition_repair.h"
#include "partition/partition_search.h"

#include <QTextStream>

#include <cstdio>

namespace tarn {

namespace {

struct partitions_options_s {
    QString row;
    bool repair = false;
    bool yes = false;
};

int parse_options(const QStringList& args, cli_context_s& ctx, partitions_options_s& options)
{
    for (const auto& arg : args) {
        if (arg == QLatin1String("--repair")) {
            options.repair = true;
        } else if (arg == QLatin1String("--yes")) {
            options.yes = true;
        } else if (options.row.isEmpty() && !arg.startsWith(QLatin1Char('-'))) {
            options.row = arg;
        } else {
            ctx.err << "tarnrecovery-cli partitions: unexpected argument " << arg << '\n';
            return -1;
        }
    }
    if (options.row.isEmpty()) {
        ctx.err << "tarnrecovery-cli partitions: which disk? Give its row as 'drives' prints it\n";
        return -1;
    }
    if (options.yes && !options.repair) {
        ctx.err << "tarnrecovery-cli partitions: --yes only goes with --repair\n";
        return -1;
    }
    return 0;
}

void print_find(cli_context_s& ctx, std::size_t index, const partition_item_s& p)
{
    cli_print_row(ctx, {"index", "fs", "start_sector", "end_sector", "size", "label"},
                  {qulonglong(index), p.fs_name, qulonglong(p.start_sector), qulonglong(p.end_sector),
                   qulonglong(p.size_bytes()), p.label});
}

// Runs the search on its thread, printing finds as they come and a progress line on a terminal.
void run_search(partition_repair_c& worker, cli_context_s& ctx)
{
    std::size_t printed = 0;
    auto print_new = [&] {
        const auto found = worker.partitions();
        if (found.size() > printed && ctx.err_is_terminal)
            ctx.err << "\r\033[K" << Qt::flush; // the finds go under a cleared progress line
        for (; printed < found.size(); ++printed)
            print_find(ctx, printed, found[printed]);
        ctx.out.flush();
    };
    worker.start_search();
    while (!worker.wait(200)) {
        print_new();
        if (ctx.err_is_terminal)
            ctx.err << QStringLiteral("\rsearching: %1%").arg(worker.progress() * 100.0, 0, 'f', 1) << Qt::flush;
    }
    print_new();
    if (ctx.err_is_terminal)
        ctx.err << "\r\033[K" << Qt::flush;
}

bool confirmed(const drive_item_s& drive, const repair_preview_s& preview, cli_context_s& ctx)
{
    print_repair_plan(preview.plan, ctx.err);
    if (preview.plan.gpt)
        ctx.err << "Write sectors " << written_sectors_text(preview.plan) << " of " << drive.path
                << "? Their current content is saved first. [y/N] " << Qt::flush;
    else
        ctx.err << "Rewrite sector 0 of " << drive.path << " with this table? Its current content is saved first. [y/N] "
                << Qt::flush;
    QTextStream in(stdin);
    const QString answer = in.readLine().trimmed().toLower();
    return answer == QLatin1String("y") || answer == QLatin1String("yes");
}

int repair(partition_repair_c& worker, const drive_item_s& drive, bool yes, cli_context_s& ctx)
{
    const std::optional<repair_preview_s> preview = worker.preview_repair();
    if (!preview && worker.partition_count() == 0) {
        ctx.err << "tarnrecovery-cli partitions: nothing found; the partition table is left as it is\n";
        return cli_failed;
    }
    if (!preview) {
        ctx.err << "tarnrecovery-cli partitions: the partition table of " << drive.path
                << " could not be read, the disk's sectors are not 512 bytes, or no found partition fits in a new"
                   " table; nothing written\n";
        return cli_failed;
    }
    if (preview->plan.writes.empty()) {
        print_repair_plan(preview->plan, ctx.err);
        if (ctx.json)
            cli_print_row(ctx, {"written", "sound"}, {false, true});
        else
            ctx.out << "the partition table of " << drive.path << " is sound; nothing written\n";
        return cli_ok;
    }
    if (!yes && !confirmed(drive, *preview, ctx)) {
        ctx.err << "nothing written\n";
        return cli_failed;
    }
    const int result = worker.write_partition_table(*preview);
    if (ctx.json) {
        cli_print_row(ctx, {"written", "backup"}, {result == 0, worker.backup_path()});
    } else {
        if (!worker.backup_path().isEmpty())
            ctx.out << (preview->plan.gpt ? "old sectors " + written_sectors_text(preview->plan)
                                          : QStringLiteral("old sector 0"))
                    << " saved to " << worker.backup_path() << '\n';
        if (result == 0)
            ctx.out << "partition table written to " << drive.path << '\n';
    }
    if (result != 0) {
        ctx.err << "tarnrecovery-cli partitions: the partition table could not be written to " << drive.path << '\n';
        return cli_failed;
    }
    return cli_ok;
}

int run_partitions(const QStringList& args, cli_context_s& ctx)
{
    partitions_options_s options;
    if (parse_options(args, ctx, options) != 0)
        return cli_usage;
    enumerate_drives();
    const int row = cli_parse_row(ctx, options.row, drive_list().size());
    if (row < 0)
        return cli_usage;
    const drive_item_s drive = drive_list()[static_cast<std::size_t>(row)];

    // The table first: what the disk holds now frames the finds below it. A disk whose first
    // sectors cannot be read is still searched.
    const auto kind = read_table_kind(drive.path);
    const QString table = QString::fromLatin1(kind ? table_kind_name(*kind) : "unknown");
    if (ctx.json)
        cli_print_row(ctx, {"table"}, {table});
    else
        ctx.out << "table\t" << table << '\n';
    partition_repair_c worker;
    worker.set_drive(drive);
    run_search(worker, ctx);
    if (worker.last_search_result() == search_disk_silent) {
        // The finds listed stand, but the disk past them was never searched: no repair from them.
        ctx.err << "tarnrecovery-cli partitions: " << drive.path
                << " stopped answering before its end; the search is incomplete (the log has the offsets)\n";
        return cli_failed;
    }
    if (worker.last_search_result() != 0) {
        ctx.err << "tarnrecovery-cli partitions: cannot open " << drive.path << '\n';
        return cli_failed;
    }
    return options.repair ? repair(worker, drive, options.yes, ctx) : cli_ok;
}

} // namespace

extern const cli_command_s cli_partitions_command = {
    "partitions", "partitions ROW [--repair [--yes]]",
    "Search the disk at ROW for lost partitions (NTFS, FAT12/16/32, exFAT, ext2/3/4, also from an\n"
    "NTFS or exFAT boot sector's copy or an ext superblock's). The first line names the disk's\n"
    "partition table (table, then GPT, MBR, none, or unknown when it cannot be read); then one line\n"
    "per find: index, file system, start sector, end sector, size in bytes, label. A progress line\n"
    "goes to standard error when it is a terminal. The index addresses the find as DISK:FIND for\n"
    "'scan' and 'carve', which read it without writing.\n"
    "--repair then writes the table, after a confirmation that shows the table on the disk now\n"
    "and the one that would be written (--yes skips it), saving every sector it overwrites in\n"
    "the program's data folder first. An MBR disk gets sector 0 rewritten with the first four\n"
    "finds (the first one active), keeping entries that no find overlaps. A GPT disk keeps its\n"
    "GPT: nothing is written when both copies are sound, a damaged copy is restored from the\n"
    "sound one, and when both are gone a new GPT is written from the finds. A disk larger than\n"
    "2 TiB, or with a find beyond 2^32 sectors, gets a GPT, as an MBR cannot describe it.",
    run_partitions};

} // namespace tarn
