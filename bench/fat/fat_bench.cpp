// FAT engine speed: the scan against The Sleuth Kit's `fls -r -d` on the same image (with the
// share the search for unreached folder clusters takes), and the extraction of a deleted file
// against a plain sequential read of the same bytes. Both in the same run; the figures are ratios.

#include "bench/support/page_cache.h"
#include "scan/disk_sector_layer.h"
#include "scan/fat_recovery.h"
#include "tests/fat/fat_builder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <malloc.h>

#include <cstdio>
#include <string>

using namespace tarn;
using namespace tarn::test;

namespace {

constexpr std::uint32_t folders = 1000;
constexpr std::uint32_t files_per_folder = 100;
constexpr std::uint32_t root_clusters = 63;   // 1000 entries at 512-byte clusters
constexpr std::uint32_t folder_clusters = 7;  // 102 entries each
constexpr std::uint32_t deleted_every = 10;   // every tenth folder is deleted, its later clusters elsewhere
constexpr std::uint64_t extract_bytes = 200ull << 20;

void chain(fat_builder_c& image, std::uint32_t first, std::uint32_t count)
{
    for (std::uint32_t c = first; c < first + count; ++c)
        image.set_fat(c, c + 1 < first + count ? c + 1 : 0x0FFFFFFF);
}

std::string name11(const char* base, std::uint32_t n, bool deleted)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%s%05u   ", base, n);
    std::string s(buf, 8);
    s += std::string(base[0] == 'D' ? "   " : "BIN");
    if (deleted)
        s[0] = '\xE5';
    return s;
}

// Where entry k of folder d lies: its cluster and slot. A deleted folder keeps its first cluster
// in place; its other clusters lie after the files, as when the folder grew after them, so only
// the search for unreached folder clusters finds them.
std::pair<std::uint32_t, std::uint32_t> entry_place(std::uint32_t d, std::uint32_t k, std::uint32_t moved_base)
{
    const std::uint32_t cluster = k / 16;
    const std::uint32_t first = 2 + root_clusters + d * folder_clusters;
    if (d % deleted_every != 0 || cluster == 0)
        return {first + cluster, k % 16};
    return {moved_base + d / deleted_every * (folder_clusters - 1) + cluster - 1, k % 16};
}

// 1,000 folders of 100 files, a third of the files deleted, and every tenth folder deleted
// whole: 103,000 directory entries.
fat_builder_c many_entries()
{
    const std::uint32_t file_base = 2 + root_clusters + folders * folder_clusters;
    const std::uint32_t moved_base = file_base + folders * files_per_folder;
    fat_builder_c image(moved_base + folders / deleted_every * (folder_clusters - 1), 1);
    chain(image, 2, root_clusters);
    for (std::uint32_t d = 0; d < folders; ++d) {
        const std::uint32_t dir = 2 + root_clusters + d * folder_clusters;
        const bool deleted_dir = d % deleted_every == 0;
        if (!deleted_dir)
            chain(image, dir, folder_clusters);
        const std::string dname = name11("DIR", d, deleted_dir);
        image.put_entry(0, d, {dname, 0x10, dir});
        image.put_entry(dir, 0, {".          ", 0x10, dir});
        image.put_entry(dir, 1, {"..         ", 0x10, 0});
        for (std::uint32_t f = 0; f < files_per_folder; ++f) {
            const std::uint32_t cluster = file_base + d * files_per_folder + f;
            const bool deleted = deleted_dir || f % 3 == 0;
            if (!deleted)
                image.set_fat(cluster, 0x0FFFFFFF);
            const std::string fname = name11("F", d * files_per_folder + f, deleted);
            const auto [at, slot] = entry_place(d, 2 + f, moved_base);
            image.put_entry(at, slot, {fname, 0x20, cluster, 100});
        }
    }
    return image;
}

double seconds(QElapsedTimer& t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

int bench_scan(const QString& image_path)
{
    QElapsedTimer t;
    t.start();
    QProcess fls;
    fls.start(QStringLiteral("fls"), {"-r", "-d", "-p", image_path});
    fls.waitForFinished(-1);
    const QByteArray listing = fls.readAllStandardOutput();
    const double fls_time = seconds(t);
    if (fls.exitCode() != 0)
        return std::printf("fls failed\n"), 1;

    const std::size_t heap_before = mallinfo2().uordblks;
    t.restart();
    fat_recovery_c engine;
    volume_item_s volume;
    volume.volume_path = image_path;
    engine.set_volume(volume);
    engine.start();
    engine.wait();
    const double our_time = seconds(t);
    const std::size_t heap_after = mallinfo2().uordblks;
    const auto found = engine.findings().size();
    std::printf("scan: %lld entries read, %zu findings; ours %.3f s, fls -r -d %.3f s (%lld lines); ratio %.2f\n",
                static_cast<long long>(engine.get_read_count()), found, our_time, fls_time,
                static_cast<long long>(listing.count('\n')), our_time / fls_time);
    const fat_orphan_stats_s& orphans = engine.orphan_stats();
    const double orphan_time = static_cast<double>(orphans.nanoseconds) / 1e9;
    std::printf("orphan search: %llu free clusters looked at, %llu read as folder clusters, %llu runs placed; "
                "%.3f s, %.0f%% of the scan\n",
                static_cast<unsigned long long>(orphans.free_clusters), static_cast<unsigned long long>(orphans.folder_clusters),
                static_cast<unsigned long long>(orphans.runs), orphan_time, 100.0 * orphan_time / our_time);
    std::printf("memory: %.0f bytes per finding\n",
                static_cast<double>(heap_after - heap_before) / static_cast<double>(found));
    return 0;
}

int bench_extract(const QTemporaryDir& dir)
{
    const std::uint32_t clusters = static_cast<std::uint32_t>(extract_bytes / 4096);
    fat_builder_c image(clusters + 70000, 8);
    auto& bytes = image.bytes();
    const std::size_t start = image.cluster_offset(3);
    for (std::size_t i = 0; i < extract_bytes; i += 4096)
        std::memset(bytes.data() + start + i, static_cast<int>((i / 4096) & 0xFF), 4096);
    image.put_entry(0, 0, {"\xE5" "IG     BIN", 0x20, 3, static_cast<std::uint32_t>(extract_bytes)});
    const QString path = dir.filePath("extract.img");
    if (image.save(path) != 0)
        return 1;
    qputenv("TARN_DISKS", path.toUtf8());
    disk_enumerate();
    fat_recovery_c engine;
    volume_item_s volume;
    volume.volume_path = path;
    engine.set_volume(volume);
    engine.start();
    engine.wait();

    // Reference: the same bytes read sequentially from the image. Both runs start with the image
    // out of the page cache, so both read the disk as a recovery would.
    const double read_time = bench::plain_read_seconds(path, start, extract_bytes);
    // The copy goes to memory where there is a memory file system, so that the destination
    // disk's write speed does not hide the reading.
    QTemporaryDir out_dir(QFile::exists("/dev/shm") ? QStringLiteral("/dev/shm/fat_bench-XXXXXX") : dir.filePath("o"));
    bench::drop_cached(path);
    QElapsedTimer t;
    t.start();
    const int result = engine.recover_file(3, out_dir.filePath("out.bin"));
    const double ours = seconds(t);
    const double mib = static_cast<double>(extract_bytes) / (1 << 20);
    std::printf("extract: result %d; recover_file %.0f MiB/s, sequential read %.0f MiB/s; ratio %.2f\n", result,
                mib / ours, mib / read_time, read_time / ours);
    disk_shutdown();
    return result == 0 ? 0 : 1;
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const QString scan_image = dir.filePath("many.img");
    if (many_entries().save(scan_image) != 0)
        return 1;
    qputenv("TARN_DISKS", scan_image.toUtf8());
    disk_enumerate();
    const int scan_rc = bench_scan(scan_image);
    disk_shutdown();
    return scan_rc != 0 ? scan_rc : bench_extract(dir);
}
