// exFAT engine speed: the scan of a volume of 12,000 files against The Sleuth Kit's `fls -r -d`
// on the same image, and the extraction of a deleted file against a plain sequential read of the
// same bytes. Both in the same run; the figures are ratios.

#include "bench/support/page_cache.h"
#include "scan/exfat_recovery.h"
#include "tests/exfat/exfat_volume.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

using namespace tarn;
using namespace tarn::test;

namespace {

constexpr std::uint32_t folders = 200;
constexpr std::uint32_t files_per_folder = 60;
constexpr std::uint32_t cluster = 4096;
constexpr std::uint64_t extract_bytes = 200ull << 20;

double seconds(QElapsedTimer& t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

// 200 folders of 60 files of one cluster each; a third of the files deleted, and
// every tenth folder deleted whole.
int make_many(const QString& scratch, const QString& path)
{
    exfat_image_c image(scratch, 96 << 20);
    if (image.bytes().empty())
        return -1;
    // One live folder holds the others: its clusters follow one another, as its sets do.
    const std::uint32_t top_clusters = (folders * 3 * 32 + cluster - 1) / cluster;
    const std::uint32_t top = image.free_cluster(2);
    image.allocate(top, top_clusters, true);
    image.put_set(image.root_cluster(), static_cast<std::size_t>(image.root_slot(0x00)),
                  {u"All", 0x10, top, std::uint64_t{top_clusters} * cluster, UINT64_MAX, false, false});
    std::uint32_t next = top + top_clusters;
    for (std::uint32_t d = 0; d < folders; ++d) {
        const bool gone = d % 10 == 0;
        const std::uint32_t folder = next;
        next += 2;
        if (!gone)
            image.allocate(folder, 2, true);
        std::size_t slot = 0;
        for (std::uint32_t f = 0; f < files_per_folder; ++f) {
            const std::uint32_t data = next++;
            const bool deleted = gone || f % 3 == 0;
            if (!deleted)
                image.allocate(data, 1, false);
            std::memset(image.bytes().data() + image.cluster_offset(data), static_cast<int>('a' + f % 26), 1000);
            char name[16];
            std::snprintf(name, sizeof name, "f%05u.bin", d * files_per_folder + f);
            slot += image.put_set(folder, slot, {QString::fromLatin1(name).toStdU16String(), 0x20, data, 1000,
                                                 UINT64_MAX, true, deleted});
        }
        char name[16];
        std::snprintf(name, sizeof name, "D%04u", d);
        image.put_set(top, d * 3, {QString::fromLatin1(name).toStdU16String(), 0x10, folder, 2 * cluster, UINT64_MAX, false, gone});
    }
    return image.save(path);
}

int bench_scan(const QString& image)
{
    QElapsedTimer t;
    t.start();
    QProcess fls;
    fls.start(QStringLiteral("fls"), {"-r", "-d", "-p", "-f", "exfat", image});
    fls.waitForFinished(-1);
    const QByteArray listing = fls.readAllStandardOutput();
    const double fls_time = seconds(t);
    if (fls.exitCode() != 0)
        return std::printf("fls failed\n"), 1;
    t.restart();
    exfat_recovery_c engine;
    volume_item_s volume;
    volume.volume_path = image;
    engine.set_volume(volume);
    engine.start();
    engine.wait();
    const double ours = seconds(t);
    std::size_t files = 0;
    for (const auto& [key, record] : engine.findings())
        files += record.directory() ? 0 : 1;
    std::printf("scan: %lld entry sets read, %zu deleted files found; ours %.3f s, fls -r -d %.3f s (%lld lines); "
                "ratio %.2f\n",
                static_cast<long long>(engine.get_read_count()), files, ours, fls_time,
                static_cast<long long>(listing.count('\n')), ours / fls_time);
    return engine.get_failure() == scan_failure_e::none ? 0 : 1;
}

int bench_extract(const QTemporaryDir& dir)
{
    exfat_image_c image(dir.path(), extract_bytes + (16 << 20));
    if (image.bytes().empty())
        return 1;
    const std::uint32_t first = image.free_cluster(2);
    const std::size_t start = image.cluster_offset(first);
    for (std::size_t i = 0; i < extract_bytes; i += cluster)
        std::memset(image.bytes().data() + start + i, static_cast<int>((i / cluster) & 0xFF), cluster);
    image.put_set(image.root_cluster(), static_cast<std::size_t>(image.root_slot(0x00)),
                  {u"big.bin", 0x20, first, extract_bytes});
    const QString path = dir.filePath("extract.img");
    if (image.save(path) != 0)
        return 1;
    exfat_recovery_c engine;
    volume_item_s volume;
    volume.volume_path = path;
    engine.set_volume(volume);
    engine.start();
    engine.wait();
    std::uint64_t id = 0;
    for (const auto& [key, record] : engine.findings())
        if (record.name == QLatin1String("big.bin"))
            id = key;

    // Reference: the same bytes read sequentially from the image. Both runs start with the image
    // out of the page cache, so both read the disk as a recovery would.
    const double read_time = bench::plain_read_seconds(path, start, extract_bytes);
    // The copy goes to memory where there is a memory file system, so that the destination
    // disk's write speed does not hide the reading.
    QTemporaryDir out_dir(QFile::exists("/dev/shm") ? QStringLiteral("/dev/shm/exfat_bench-XXXXXX") : dir.filePath("o"));
    bench::drop_cached(path);
    QElapsedTimer t;
    t.start();
    const int result = engine.recover_file(id, out_dir.filePath("out.bin"));
    const double ours = seconds(t);
    const double mib = static_cast<double>(extract_bytes) / (1 << 20);
    std::printf("extract: result %d; recover_file %.0f MiB/s, sequential read %.0f MiB/s; ratio %.2f\n", result,
                mib / ours, mib / read_time, read_time / ours);
    return result == 0 ? 0 : 1;
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const QString scan_image = dir.filePath("many.img");
    if (make_many(dir.path(), scan_image) != 0)
        return 1;
    const int scan_rc = bench_scan(scan_image);
    return scan_rc != 0 ? scan_rc : bench_extract(dir);
}
