// Throughput of the lost-partition search against a plain sequential read of the same disk
// image, block for block the same size, measured in the same run.
//
// Usage: partition_search_bench [GIB]  (default 16: a sparse image of that size with small NTFS,
// FAT32, FAT16, exFAT and ext4 volumes near its start, so that the search crosses mostly
// unpartitioned space)

#include "partition/partition_repair.h"
#include "partition/partition_search.h"
#include "platform/aligned_buffer.h"
#include "platform/device.h"
#include "tests/partition/partition_fixtures.h"
#include "tests/support/test_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

// Peak resident memory in KiB, from the kernel's account of this process.
long peak_kib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    return -1;
}

double plain_read_seconds(const QString& image, std::uint64_t size)
{
    const auto device = tarn::device_c::open(image, tarn::access_e::read, /*uncached*/ true);
    tarn::aligned_buffer_c buffer(tarn::search_read_bytes);
    if (!device || !buffer.valid())
        return -1;
    QElapsedTimer timer;
    timer.start();
    for (std::uint64_t at = 0; at < size; at += tarn::search_read_bytes)
        if (device->read_at(at, buffer.span()) <= 0)
            return -1;
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

double search_seconds(const tarn::drive_item_s& drive, std::size_t& finds)
{
    tarn::partition_repair_c worker;
    QElapsedTimer timer;
    timer.start();
    if (worker.search_partitions(drive) != 0)
        return -1;
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    finds = worker.partition_count();
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::uint64_t gib = argc > 1 ? std::max(1, std::atoi(argv[1])) : 16;
    const std::uint64_t size = gib << 30;
    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("bench.img"));
    // Every file system the search knows, near the start.
    if (tarn::test::make_sparse_file(image, size) != 0 || tarn::test::make_ntfs_in_image(image, 2048, 16384) != 0
        || tarn::test::make_fat32_in_image(image, 18432, 81900) != 0
        || tarn::test::format_fat(image, 102400, 40960, 16, QStringLiteral("BENCH16")) != 0
        || tarn::test::make_volume_in_image(image, 143360, 65536, QStringLiteral("mkfs.exfat"), {}) != 0
        || tarn::test::make_volume_in_image(image, 208896, 65536, QStringLiteral("mkfs.ext4"),
                                            {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-b"),
                                             QStringLiteral("1024")}) != 0) {
        std::fprintf(stderr, "partition_search_bench: cannot make the image in %s\n", qPrintable(dir.path()));
        return 1;
    }
    const tarn::drive_item_s drive{image, size, tarn::disk_geometry_s{0, tarn::media_fixed, 255, 63, 512}};

    // Alternate the two and keep each one's best round, so that neither profits from going second.
    double plain = 1e300, search = 1e300;
    std::size_t finds = 0;
    const long peak_before = peak_kib();
    for (int round = 0; round < 5; ++round) {
        const double p = plain_read_seconds(image, size);
        const double s = search_seconds(drive, finds);
        if (p < 0 || s < 0) {
            std::fprintf(stderr, "partition_search_bench: reading the image failed\n");
            return 1;
        }
        plain = std::min(plain, p);
        search = std::min(search, s);
    }
    const double mib = static_cast<double>(size) / (1 << 20);
    std::printf("image: %llu GiB sparse, %zu partitions found\n", static_cast<unsigned long long>(gib), finds);
    std::printf("plain sequential read (128 KiB blocks): %.3f s, %.0f MiB/s\n", plain, mib / plain);
    std::printf("partition search:                       %.3f s, %.0f MiB/s\n", search, mib / search);
    std::printf("peak memory: %ld KiB before the runs, %ld KiB after\n", peak_before, peak_kib());
    std::printf("ratio (search throughput / plain read throughput): %.3f\n", plain / search);
    return 0;
}
