// NTFS engine speed: the scan of a 1 GiB volume with 11,000 files (2,400 deleted) against The
// Sleuth Kit's `fls -r -d` on the same image, and the recovery of a deleted 200 MiB file against a
// plain sequential read of as many bytes of the image, both from a cold page cache. Ratios, in
// the same run; and the memory per finding.

#include "bench/support/page_cache.h"
#include "bench/support/timed_scan.h"
#include "disk/volume_enumeration.h"
#include "scan/ntfs_recovery.h"
#include "tests/support/test_support.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <malloc.h>

#include <cstdio>
#include <vector>

using namespace tarn;

namespace {

constexpr int folders = 110;
constexpr int files_per_folder = 100;
constexpr int deleted_per_folder = 22; // and the big file: about 2,400 deleted
constexpr qint64 big_bytes = 200ll << 20;

bool make_volume(const QString& image)
{
    QStringList commands;
    for (int d = 0; d < folders; ++d) {
        commands << "mkdir" << QString("/Ordner %1").arg(d);
        for (int f = 0; f < files_per_folder; ++f)
            commands << "fill" << QString("/Ordner %1/Datei %2.bin").arg(d).arg(f) << QString::number(900 + 37 * f)
                     << QString::number(d * 1000 + f);
    }
    commands << "fill" << "/gross.bin" << QString::number(big_bytes) << "7";
    for (int d = 0; d < folders; ++d)
        for (int f = 0; f < deleted_per_folder; ++f)
            commands << "rm" << QString("/Ordner %1/Datei %2.bin").arg(d).arg(f * 4);
    commands << "rm" << "/gross.bin";
    return test::make_sparse_file(image, 1ull << 30) == 0
           && test::run_tool("mkntfs", {"-F", "-Q", "-q", image}) == 0
           && test::run_tool(TARN_NTFS_EDIT, QStringList{image} + commands) == 0;
}

double fls_seconds(const QString& image)
{
    bench::drop_cached(image);
    QElapsedTimer t;
    t.start();
    test::run_tool("sh", {"-c", QString("fls -r -d '%1' > /dev/null").arg(image)});
    return t.nsecsElapsed() / 1e9;
}

// A plain sequential read of as many bytes of the image, written to copy when it is given (the
// cost of the output alone shows against a read from a warm host cache).
double plain_read_seconds(const QString& image, qint64 bytes, const QString& copy = {})
{
    bench::drop_cached(image);
    QElapsedTimer t;
    t.start();
    QFile in(image);
    in.open(QIODevice::ReadOnly);
    QFile out(copy);
    if (!copy.isEmpty())
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
    std::vector<char> buffer(1 << 20);
    for (qint64 done = 0; done < bytes;) {
        const qint64 got = in.read(buffer.data(), static_cast<qint64>(buffer.size()));
        if (got <= 0)
            break;
        if (!copy.isEmpty())
            out.write(buffer.data(), got);
        done += got;
    }
    out.close();
    QFile::remove(copy);
    return t.nsecsElapsed() / 1e9;
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const QString image = dir.filePath("ntfs.img");
    std::printf("making a 1 GiB NTFS volume of %d files…\n", folders * files_per_folder + 1);
    if (!make_volume(image))
        return 1;
    qputenv("TARN_DISKS", image.toUtf8());
    enumerate_volumes();
    const volume_item_s volume = volume_list().at(1);
    ntfs_recovery_c engine;
    double best_scan = 1e9, best_fls = 1e9;
    for (int run = 0; run < 3; ++run) {
        best_fls = std::min(best_fls, fls_seconds(image));
        best_scan = std::min(best_scan, bench::timed_scan(engine, volume, image));
    }
    const std::size_t heap_before = mallinfo2().uordblks;
    engine.reset();
    const std::size_t heap_empty = mallinfo2().uordblks;
    bench::timed_scan(engine, volume, image);
    const std::size_t heap_full = mallinfo2().uordblks;
    std::printf("scan: %.3f s, fls -r -d: %.3f s, ratio %.2f (target <= 1.2); %lld records read, %lld kept, "
                "%.0f bytes per finding\n",
                best_scan, best_fls, best_scan / best_fls, static_cast<long long>(engine.get_read_count()),
                static_cast<long long>(engine.get_found_count()),
                static_cast<double>(heap_full - std::min(heap_full, heap_empty)) / engine.get_found_count());
    (void)heap_before;
    std::uint64_t big = 0;
    for (const auto& [number, record] : engine.findings())
        if (record.size() == static_cast<std::uint64_t>(big_bytes))
            big = number;
    const QString out = "/dev/shm/tarn-ntfs-bench.bin";
    double best_recover = 1e9, best_read = 1e9, best_copy = 1e9;
    for (int run = 0; run < 3; ++run) {
        best_read = std::min(best_read, plain_read_seconds(image, big_bytes));
        best_copy = std::min(best_copy, plain_read_seconds(image, big_bytes, out));
        bench::drop_cached(image);
        QElapsedTimer t;
        t.start();
        const int result = engine.recover_file(big, out);
        best_recover = std::min(best_recover, t.nsecsElapsed() / 1e9);
        if (result != 0 || QFile(out).size() != big_bytes)
            std::printf("recovery failed (%d)\n", result);
        QFile::remove(out);
    }
    std::printf("recovery of %lld MiB: %.3f s, plain read: %.3f s, throughput ratio %.2f (target >= 0.7); "
                "plain read and write to the same output: %.3f s, ratio %.2f\n",
                big_bytes >> 20, best_recover, best_read, best_read / best_recover, best_copy, best_copy / best_recover);
    return 0;
}
