// The lost-file search against the deep scan, on the same 1 GiB NTFS volume in the same run: a
// volume of about 2,000 files (750 MiB) formatted again with mkntfs -Q, so that every old record
// lies outside the new MFT and the search reads the whole volume. Both from a cold page cache, the
// best of three each; the ratio's target is at most 1.5. The populated volume is made once and
// kept in the build folder (TARN_BENCH_CACHE); the formatted copy is made at each run.

#include "bench/support/page_cache.h"
#include "bench/support/timed_scan.h"
#include "disk/volume_enumeration.h"
#include "scan/ntfs_recovery.h"
#include "scan/raw_recovery.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>

using namespace tarn;

namespace {

constexpr int folders = 20;
constexpr int files_per_folder = 100;

QStringList populate_commands()
{
    QStringList commands;
    for (int d = 0; d < folders; ++d) {
        commands << "mkdir" << QString("/Ordner %1").arg(d);
        for (int f = 0; f < files_per_folder; ++f) // 1 KiB to 750 KiB, 375 KiB on average
            commands << "fill" << QString("/Ordner %1/Datei mit langem Namen %2.bin").arg(d).arg(f)
                     << QString::number(1024 + (f * 7919 + d * 104729) % (750 << 10)) << QString::number(d * 1000 + f);
    }
    return commands;
}

bool make_populated(const QString& image)
{
    if (QFile::exists(image))
        return true;
    const QString partial = image + ".part";
    const bool made = test::make_sparse_file(partial, 1ull << 30) == 0
                      && test::run_tool("mkntfs", {"-F", "-Q", "-q", partial}) == 0
                      && test::run_tool(TARN_NTFS_EDIT, QStringList{partial} + populate_commands()) == 0;
    return made && QFile::rename(partial, image);
}

} // namespace

int main()
{
    QDir().mkpath(TARN_BENCH_CACHE);
    const QString populated = QString(TARN_BENCH_CACHE) + "/ntfs-lost-populated.img";
    const QString image = QString(TARN_BENCH_CACHE) + "/ntfs-lost-formatted.img";
    std::printf("making (or reusing) a 1 GiB NTFS volume of %d files, then formatting a copy…\n", folders * files_per_folder);
    QFile::remove(image);
    if (!make_populated(populated) || test::run_tool("cp", {"--sparse=always", populated, image}) != 0
        || test::run_tool("mkntfs", {"-F", "-Q", "-q", image}) != 0)
        return 1;
    qputenv("TARN_DISKS", image.toUtf8());
    enumerate_volumes();
    const volume_item_s volume = volume_list().at(1);
    ntfs_recovery_c lost;
    lost.set_lost_search(true);
    raw_recovery_c deep;
    double best_lost = 1e9, best_deep = 1e9;
    for (int run = 0; run < 3; ++run) {
        best_deep = std::min(best_deep, bench::timed_scan(deep, volume, image));
        best_lost = std::min(best_lost, bench::timed_scan(lost, volume, image));
    }
    std::printf("lost-file search: %.3f s (found count %lld), deep scan: %.3f s (%zu hits), ratio %.2f (target <= 1.5)\n",
                best_lost, static_cast<long long>(lost.get_found_count()), best_deep, deep.hits().size(),
                best_lost / best_deep);
    QFile::remove(image);
    return 0;
}
