// tarnrecovery-cli scan ROW [--recover DIR]: runs the FAT engine on a volume, lists every file
// it found and optionally writes them all into a folder.

#include "app/cli/cli_commands.h"
#include "app/safe_file_name.h"
#include "disk/volume_enumeration.h"
#include "scan/disk_sector_layer.h"
#include "scan/fat_recovery.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace tarn {

namespace {

struct file_row_s {
    QStringList parts; // folder names from the root, then the file name, as the engine stores them
    const fat_record_s* record;
};

void collect_files(const fat_record_s& folder, QStringList& path, std::vector<file_row_s>& rows)
{
    std::vector<const fat_record_s*> children(folder.children.begin(), folder.children.end());
    std::sort(children.begin(), children.end(),
              [](const fat_record_s* a, const fat_record_s* b) {
                  return a->name != b->name ? a->name < b->name : a->start_cluster < b->start_cluster;
              });
    for (const fat_record_s* child : children) {
        if (child->attributes & fat_attr_directory) {
            path.append(child->name);
            collect_files(*child, path, rows);
            path.removeLast();
        } else {
            rows.push_back({path + QStringList{child->name}, child});
        }
    }
}

void show_progress(cli_context_s& ctx, fat_recovery_c& engine)
{
    ctx.err << QStringLiteral("\rscanning: %1%, %2 entries read, %3 found")
                   .arg(static_cast<int>(engine.get_progress() * 100))
                   .arg(engine.get_read_count())
                   .arg(engine.get_found_count());
    ctx.err.flush();
}

// Writes every file below dir, re-creating the folders; returns how many could not be written.
int recover_all(cli_context_s& ctx, fat_recovery_c& engine, const std::vector<file_row_s>& rows, const QString& dir)
{
    if (!QDir().mkpath(dir)) {
        ctx.err << "tarnrecovery-cli scan: cannot create " << dir << '\n';
        return static_cast<int>(rows.size());
    }
    const QString root = QFileInfo(dir).canonicalFilePath();
    QSet<QString> used;
    int failed = 0;
    for (const file_row_s& row : rows) {
        QStringList parts;
        for (const QString& part : row.parts)
            parts << safe_file_name(part);
        QString target = root + QLatin1Char('/') + parts.join(QLatin1Char('/'));
        if (used.contains(target) || QFileInfo::exists(target)) // deleted names often repeat
            target += QStringLiteral("~%1").arg(row.record->start_cluster);
        used.insert(target);
        const QString folder = QFileInfo(target).path();
        const QString real_folder = QDir().mkpath(folder) ? QFileInfo(folder).canonicalFilePath() : QString();
        if (real_folder.isEmpty() || !(real_folder == root || real_folder.startsWith(root + QLatin1Char('/')))
            || engine.recover_file(row.record->start_cluster, target) != 0) {
            ctx.err << "tarnrecovery-cli scan: could not write " << target << '\n';
            ++failed;
        }
    }
    return failed;
}

int run_scan(const QStringList& args, cli_context_s& ctx)
{
    QStringList rest = args;
    QString recover_dir;
    if (const qsizetype at = rest.indexOf(QStringLiteral("--recover")); at >= 0) {
        if (at + 1 >= rest.size()) {
            ctx.err << "tarnrecovery-cli scan: --recover needs a folder\n";
            return cli_usage;
        }
        recover_dir = rest.at(at + 1);
        rest.remove(at, 2);
    }
    if (rest.size() != 1) {
        ctx.err << "tarnrecovery-cli scan: usage: scan ROW [--recover DIR]\n";
        return cli_usage;
    }
    enumerate_volumes();
    const auto& list = volume_list();
    const int row = cli_parse_row(ctx, rest.front(), list.size());
    if (row < 0)
        return cli_usage;
    const volume_item_s volume = list[static_cast<std::size_t>(row)];
    if (volume.fs_name == QLatin1String("NTFS")) {
        ctx.err << "tarnrecovery-cli scan: row " << row << " holds NTFS; the NTFS engine is not available in this build\n";
        return cli_failed;
    }
    if (!volume.fs_name.startsWith(QLatin1String("FAT"))) {
        ctx.err << "tarnrecovery-cli scan: row " << row << " holds " << (volume.fs_name.isEmpty() ? "no known" : volume.fs_name)
                << " file system; only FAT volumes can be scanned\n";
        return cli_failed;
    }
    disk_enumerate();
    fat_recovery_c engine;
    engine.set_volume(volume);
    engine.start();
    while (!engine.wait(200))
        if (ctx.err_is_terminal)
            show_progress(ctx, engine);
    if (ctx.err_is_terminal) {
        show_progress(ctx, engine);
        ctx.err << '\n';
    }
    if (const scan_failure_e failure = engine.get_failure(); failure != scan_failure_e::none) {
        ctx.err << "tarnrecovery-cli scan: row " << row << ": " << scan_failure_text(failure) << '\n';
        disk_shutdown();
        return cli_failed;
    }
    std::vector<file_row_s> rows;
    QStringList path;
    collect_files(engine.findings().at(0), path, rows);
    for (const file_row_s& r : rows)
        cli_print_row(ctx, {"path", "size", "modified", "created", "id"},
                      {r.parts.join(QLatin1Char('/')), qulonglong(r.record->size), qlonglong(r.record->modified),
                       qlonglong(r.record->created), qulonglong(r.record->start_cluster)});
    ctx.out.flush();
    const int failed = recover_dir.isEmpty() ? 0 : recover_all(ctx, engine, rows, recover_dir);
    disk_shutdown();
    return failed == 0 ? cli_ok : cli_failed;
}

} // namespace

extern const cli_command_s cli_scan_command = {
    "scan", "scan ROW [--recover DIR]",
    "Scan the FAT volume of a row of 'volumes' for deleted files and folders. One line per file:\n"
    "path from the volume's root (deleted names start with \"#\"), size, modified and created\n"
    "(seconds since 1970), id. --recover writes every listed file into DIR, re-creating the\n"
    "folders, with names made safe; the exit status is 0 only when every file was written.\n"
    "A volume that cannot be read is reported with its reason and exit status 1.",
    run_scan};

} // namespace tarn
