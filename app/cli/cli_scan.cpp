// tarnrecovery-cli scan ROW [--recover DIR]: runs the engine that reads a volume, lists every
// file of the folder tree it found and optionally writes them all into a folder, as the window
// would (the same tree, names and " (2)" for repeats).

#include "app/cli/cli_commands.h"
#include "app/cli/cli_engine.h"
#include "disk/volume_item.h"
#include "common/safe_file_name.h"
#include "recovery/engine_table.h"
#include "recovery/tree_extraction.h"
#include "scan/disk_sector_layer.h"
#include "scan/recovery_base.h"

#include <memory>

namespace tarn {

namespace {

struct scan_options_s {
    bool live = false;        // --all
    bool lost = false;        // --lost: rows carry a sixth column, "overwritten" or empty
    bool overwritten = false; // --overwritten: such files are written too
};

// One line per file of the branch: its path from the volume's root (prefix first, for a top folder
// other than the root), then size, times and id.
void print_files(cli_context_s& ctx, const std::vector<branch_folder_s>& branch, const QStringList& prefix,
                 const scan_options_s& options)
{
    for (std::size_t i = 0; i < branch.size(); ++i) {
        if (branch[i].rows.empty())
            continue;
        const QStringList folders = prefix + branch_path(branch, static_cast<int>(i));
        for (const recovery_item_s& row : branch[i].rows) {
            QStringList keys = {"path", "size", "modified", "created", "id"};
            QVariantList values = {(folders + QStringList{row.name}).join(QLatin1Char('/')), qulonglong(row.size),
                                   qlonglong(row.modified), qlonglong(row.created), qulonglong(row.id)};
            if (options.lost) {
                keys << QStringLiteral("state");
                values << (row.overwritten ? QStringLiteral("overwritten") : QString());
            }
            cli_print_row(ctx, keys, values);
        }
    }
    ctx.out.flush();
}


// Every top folder of the tree: "/" is the volume's root, any other (the orphans of an NTFS
// volume, the lost entries of a FAT volume) keeps its name as the first folder of its files' paths. How many files could not be
// written when recovering.
int list_and_recover(cli_context_s& ctx, const engine_entry_s& entry, recovery_base_c& engine, const QString& recover_dir,
                     const scan_options_s& options)
{
    const bool live = options.live;
    const std::unique_ptr<TreeModel> tree = entry.build_tree(engine, live);
    if (!tree)
        return 0;
    int failed = 0, left_out = 0;
    for (const auto& top : tree->root().children) {
        // The root comes first when it shows anything; without it the first top folder is
        // another (the lost entries), whose files must not land among the root's.
        const bool root = top.get() == tree->root().children.front().get() && top->name == QLatin1String("/");
        const QStringList prefix = root ? QStringList() : QStringList{top->name};
        std::vector<branch_folder_s> branch = list_branch(entry.kind, engine, *top, live);
        print_files(ctx, branch, prefix, options);
        if (!options.overwritten && !recover_dir.isEmpty())
            left_out += drop_overwritten(branch);
        if (!recover_dir.isEmpty())
            failed += extract_branch(engine, entry.kind, branch,
                                     root ? recover_dir : recover_dir + QLatin1Char('/') + safe_file_name(top->name));
    }
    if (left_out != 0)
        ctx.err << "tarnrecovery-cli scan: " << left_out
                << " overwritten file(s) not written (the file system in place uses their clusters; --overwritten "
                   "writes them too)\n";
    if (failed != 0)
        ctx.err << "tarnrecovery-cli scan: " << failed << " file(s) could not be written into " << recover_dir << '\n';
    return failed;
}

int run_scan(const QStringList& args, cli_context_s& ctx)
{
    volume_item_s volume;
    QString recover_dir, name;
    QStringList rest = args;
    // A found partition lost every file with its table: its live files are listed too.
    scan_options_s options;
    options.live = rest.removeAll(QStringLiteral("--all")) > 0;
    options.lost = rest.removeAll(QStringLiteral("--lost")) > 0;
    options.overwritten = rest.removeAll(QStringLiteral("--overwritten")) > 0;
    const int given = cli_volume_arguments(ctx, rest, "scan", "scan ROW|DISK:FIND [--all] [--lost [--overwritten]] [--recover DIR]", volume,
                                           recover_dir, name);
    if (given < 0)
        return given == -2 ? cli_failed : cli_usage;
    const QString which = name.contains(QLatin1Char(':')) ? QStringLiteral("found partition ") : QStringLiteral("row ");
    const engine_entry_s* entry = choose_engine(volume, false);
    if (entry == nullptr) {
        ctx.err << "tarnrecovery-cli scan: " << which << name << " holds "
                << (volume.fs_name.isEmpty() ? "no known" : volume.fs_name) << " file system, which no engine reads\n";
        return cli_failed;
    }
    if (entry->make_engine == nullptr) {
        ctx.err << "tarnrecovery-cli scan: " << which << name << " holds " << volume.fs_name
                << "; the engine that reads it is not available in this build\n";
        return cli_failed;
    }
    if (options.lost && !entry->lost_search) {
        ctx.err << "tarnrecovery-cli scan: " << which << name << " holds " << volume.fs_name
                << ", whose engine has no search for lost files (the deep scan reads any volume)\n";
        return cli_failed;
    }
    disk_enumerate();
    const std::unique_ptr<recovery_base_c> engine = entry->make_engine();
    engine->set_volume(volume);
    engine->set_lost_search(options.lost);
    int result = cli_run_engine(ctx, *engine, "scan", name);
    if (result == cli_ok && list_and_recover(ctx, *entry, *engine, recover_dir, options) != 0)
        result = cli_failed;
    disk_shutdown();
    return result;
}

} // namespace

extern const cli_command_s cli_scan_command = {
    "scan", "scan ROW|DISK:FIND [--all] [--lost [--overwritten]] [--recover DIR]",
    "Scan the volume of a row of 'volumes' for deleted files and folders, or DISK:FIND, a partition\n"
    "that the search of the disk at row DISK of 'drives' found (the index 'partitions DISK' prints),\n"
    "read without writing anything. --all lists the files that still exist too (what a found\n"
    "partition holds). --lost also searches the whole volume for the files and folders of an earlier\n"
    "file system (a quick format, a damaged FAT), listed under the folder of lost files; its lines\n"
    "end in a sixth column, \"overwritten\" for a file whose clusters the file system in place now\n"
    "uses (written by --recover only with --overwritten). One line per file of the\n"
    "folder tree the window would show: path from the volume's root (deleted names start with\n"
    "\"#\"), size, modified and created (seconds since 1970), id. --recover writes every listed file\n"
    "into DIR, re-creating the folders, with names made safe and \" (2)\" before the extension of a\n"
    "name already there; the exit status is 0 only when every file was written.\n"
    "A volume that cannot be read is reported with its reason and exit status 1.",
    run_scan};

} // namespace tarn
