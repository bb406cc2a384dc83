// The search for lost files on a quick-formatted exFAT volume, against the deep scan of the same
// volume in the same run (each from a cold page cache, the faster of two runs each): how long it
// takes (the goal is at most 1.5 × the deep scan), and how many of the files put there before the
// format each gives back byte-exact. The files go in through the FUSE driver, so this runs as root.
//   exfat_lost_bench [MiB of files]      default 700, on a 1 GiB volume

#include "bench/carve/bench_process.h"
#include "bench/support/page_cache.h"
#include "tests/exfat/exfat_volume.h"
#include "tests/support/test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <cstdio>

using namespace tarn;

namespace {

constexpr std::uint64_t volume_mib = 1024;

QByteArray sha_of(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

// Real files of many types (what the deep scan can carve), copied into folders on the mounted
// volume until they hold about mib MiB; the set of their digests and their count.
QSet<QByteArray> fill(const QString& samples, const QString& mnt, std::uint64_t mib, int& files)
{
    QSet<QByteArray> digests;
    if (test::run_tool(TARN_DEMO_FILES, {samples}) != 0 || test::run_tool(TARN_CARVE_SAMPLES, {samples}) != 0)
        return digests;
    const QStringList names = QDir(samples).entryList(QDir::Files, QDir::Name);
    std::uint64_t bytes = 0;
    for (int copy = 0; bytes < (mib << 20) && !names.isEmpty(); ++copy) {
        const QString folder = QStringLiteral("%1/Folder %2/Part %3").arg(mnt).arg(copy / 10).arg(copy % 10);
        QDir().mkpath(folder);
        for (const QString& name : names) {
            const QString to = QStringLiteral("%1/copy %2 of %3").arg(folder).arg(copy).arg(name);
            if (!QFile::copy(samples + '/' + name, to))
                return {};
            bytes += static_cast<std::uint64_t>(QFileInfo(to).size());
            digests.insert(sha_of(samples + '/' + name));
            ++files;
        }
    }
    return digests;
}

// The written files whose contents are among the originals; written counts them all.
int exact_files(const QString& dir, const QSet<QByteArray>& digests, int& written)
{
    int exact = 0;
    written = 0;
    for (QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); ++written)
        exact += digests.contains(sha_of(it.next())) ? 1 : 0;
    return exact;
}

template <typename Run>
bench_run_s best_of_two(Run run)
{
    const bench_run_s first = run();
    bench_run_s best = run();
    best.seconds = std::min(best.seconds, first.seconds);
    return best;
}

void report(const char* what, const bench_run_s& run, double reference, const QString& dir, const QSet<QByteArray>& digests)
{
    int written = 0;
    const int exact = exact_files(dir, digests, written);
    std::printf("%-22s %7.2f s  %.2f × the deep scan  status %d  %d files written, %d of them byte-exact copies of files put there\n",
                what, run.seconds, run.seconds / reference, run.status, written, exact);
}

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
        digests = fill(dir.filePath("samples"), mnt, mib, files);
        ::sync();
        if (!mount.unmount() || digests.isEmpty())
            return std::printf("could not fill the volume\n"), 1;
    }
    // The quick format: a new boot region, bitmap, up-case table and root; every file's bytes stay.
    if (test::run_tool("mkfs.exfat", format) != 0)
        return 1;
    QDir(dir.filePath("samples")).removeRecursively();
    const QStringList env{"TARN_DISKS=" + image};
    const auto cli = [&](const QStringList& args, const QString& out) {
        return best_of_two([&] {
            QDir(out).removeRecursively();
            bench::drop_cached(image);
            return run_measured(TARN_CLI, args + QStringList{"--recover", out}, env);
        });
    };
    std::printf("%llu MiB of files (%d) on a %llu MiB exFAT volume (32 KiB clusters), formatted again\n",
                static_cast<unsigned long long>(mib), files, static_cast<unsigned long long>(volume_mib));
    const bench_run_s deep = cli({"carve", "1"}, dir.filePath("deep"));
    const bench_run_s lost = cli({"scan", "1", "--lost"}, dir.filePath("lost"));
    report("deep scan", deep, deep.seconds, dir.filePath("deep"), digests);
    report("search for lost files", lost, deep.seconds, dir.filePath("lost"), digests);
    std::printf("ratio (search / deep scan): %.2f\n", lost.seconds / deep.seconds);
    return deep.status == 0 && lost.status == 0 ? 0 : 1;
}
