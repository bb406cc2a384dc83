// The search for lost files on a quick-formatted FAT32 volume, against the deep scan of the same
// volume in the same run (each from a cold page cache, the faster of two runs each): how long it
// takes (the goal is at most 1.5 × the deep scan), and how many of the files put there before the
// format each gives back byte-exact, with their names or without. PhotoRec, where installed, is
// measured the same way.
//   fat_lost_bench [MiB of files]      default 700, on a 1 GiB volume

#include "bench/support/formatted_files.h"
#include "bench/support/page_cache.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

using namespace tarn;

namespace {

constexpr std::uint64_t volume_mib = 1024;

// The volume filled through mtools, folder by folder, then formatted again: a new boot sector,
// empty FATs and root; every file's bytes stay.
bool make_formatted(const QString& image, const QString& tree)
{
    const QStringList format = {"-F", "32", "-s", "8", "--invariant", image};
    if (test::run_tool("mkfs.fat", QStringList{"-C", "-i", "1234ABCD"} + format + QStringList{QString::number(volume_mib << 10)}) != 0)
        return false;
    for (int folder = 0; QDir(tree + QStringLiteral("/Folder %1").arg(folder)).exists(); ++folder)
        if (test::run_mtools({"mcopy", "-s", "-i", image, tree + QStringLiteral("/Folder %1").arg(folder), "::/"}) != 0)
            return false;
    return test::run_tool("mkfs.fat", QStringList{"-i", "5678ABCD"} + format) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 700;
    QTemporaryDir dir(QDir::tempPath() + "/fat_lost_bench-XXXXXX");
    const QString image = dir.filePath("formatted.img");
    int files = 0;
    const QSet<QByteArray> digests = bench::copy_samples(TARN_DEMO_FILES, TARN_CARVE_SAMPLES, dir.filePath("samples"),
                                                         dir.filePath("tree"), mib, files);
    if (digests.isEmpty() || !make_formatted(image, dir.filePath("tree")))
        return std::printf("could not make the volume\n"), 1;
    QDir(dir.filePath("tree")).removeRecursively();
    QDir(dir.filePath("samples")).removeRecursively();
    std::printf("%llu MiB of files (%d) on a %llu MiB FAT32 volume, formatted again\n",
                static_cast<unsigned long long>(mib), files, static_cast<unsigned long long>(volume_mib));
    const bench_run_s deep = bench::recovering_run(TARN_CLI, image, {"carve", "1"}, dir.filePath("deep"));
    const bench_run_s lost = bench::recovering_run(TARN_CLI, image, {"scan", "1", "--lost"}, dir.filePath("lost"));
    bench::report_recovery("deep scan", deep, deep.seconds, dir.filePath("deep"), digests);
    bench::report_recovery("search for lost files", lost, deep.seconds, dir.filePath("lost"), digests);
    const QString photorec = QStandardPaths::findExecutable("photorec", {"/usr/bin", "/usr/sbin"});
    if (!photorec.isEmpty()) {
        const QString out = dir.filePath("photorec");
        const bench_run_s theirs = best_of_two([&] {
            QDir(out).removeRecursively();
            QDir().mkpath(out);
            bench::drop_cached(image);
            return run_measured(photorec, {"/d", out + "/out", "/cmd", image,
                                           "partition_none,options,paranoid,fileopt,everything,enable,wholespace,search"});
        });
        bench::report_recovery("PhotoRec", theirs, deep.seconds, out, digests);
    }
    return deep.status == 0 && lost.status == 0 ? 0 : 1;
}
