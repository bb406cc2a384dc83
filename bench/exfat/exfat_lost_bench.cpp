// The search for lost files on a quick-formatted exFAT volume, against the deep scan of the same
// volume in the same run (each from a cold page cache, the faster of two runs each): how long it
// takes (the goal is at most 1.5 × the deep scan), and how many of the files put there before the
// format each gives back byte-exact. The files go in through the FUSE driver, so this runs as root.
//   exfat_lost_bench [MiB of files]      default 700, on a 1 GiB volume

#include "bench/support/formatted_files.h"
#include "tests/exfat/exfat_volume.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QTemporaryDir>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

using namespace tarn;

namespace {

constexpr std::uint64_t volume_mib = 1024;

} // namespace

int main(int argc, char** argv)
{
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 700;
    if (const QString why = test::exfat_fuse_unavailable(); !why.isEmpty())
        return std::printf("exFAT through FUSE: %s\n", qUtf8Printable(why)), 1;
    QTemporaryDir dir(QDir::tempPath() + "/exfat_lost_bench-XXXXXX");
    dir.setAutoRemove(qEnvironmentVariableIsEmpty("TARN_BENCH_KEEP")); // kept for a look at what was written
    const QString image = dir.filePath("formatted.img"), mnt = dir.filePath("mnt");
    QDir().mkpath(mnt);
    const QStringList format = {"-c", "32K", "-L", "CARD", image};
    if (test::make_sparse_file(image, volume_mib << 20) != 0 || test::run_tool("mkfs.exfat", format) != 0)
        return std::printf("could not make the volume\n"), 1;
    int files = 0;
    QSet<QByteArray> digests;
    {
        test::exfat_mount_c mount(image, mnt);
        if (!mount.mounted())
            return std::printf("could not mount the volume\n"), 1;
        digests = bench::copy_samples(TARN_DEMO_FILES, TARN_CARVE_SAMPLES, dir.filePath("samples"), mnt, mib, files);
        ::sync();
        if (!mount.unmount() || digests.isEmpty())
            return std::printf("could not fill the volume\n"), 1;
    }
    // The quick format: a new boot region, bitmap, up-case table and root; every file's bytes stay.
    if (test::run_tool("mkfs.exfat", format) != 0)
        return 1;
    QDir(dir.filePath("samples")).removeRecursively();
    std::printf("%llu MiB of files (%d) on a %llu MiB exFAT volume (32 KiB clusters), formatted again\n",
                static_cast<unsigned long long>(mib), files, static_cast<unsigned long long>(volume_mib));
    const bench_run_s deep = bench::recovering_run(TARN_CLI, image, {"carve", "1"}, dir.filePath("deep"));
    const bench_run_s lost = bench::recovering_run(TARN_CLI, image, {"scan", "1", "--lost"}, dir.filePath("lost"));
    bench::report_recovery("deep scan", deep, deep.seconds, dir.filePath("deep"), digests);
    bench::report_recovery("search for lost files", lost, deep.seconds, dir.filePath("lost"), digests);
    std::printf("ratio (search / deep scan): %.2f\n", lost.seconds / deep.seconds);
    return deep.status == 0 && lost.status == 0 ? 0 : 1;
}
