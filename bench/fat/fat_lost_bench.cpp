// The search for lost files on a quick-formatted FAT32 volume, against the deep scan of the same
// volume in the same run (each from a cold page cache, the faster of two runs each): how long it
// takes (the goal is at most 1.5 × the deep scan), and how many of the files put there before the
// format each gives back byte-exact, with their names or without. PhotoRec, where installed, is
// measured the same way.
//   fat_lost_bench [MiB of files]      default 700, on a 1 GiB volume

#include "bench/carve/bench_process.h"
#include "bench/support/page_cache.h"
#include "tests/support/test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>

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

// Real files of many types (what the deep scan can carve), copied into folders until the tree
// holds about mib MiB; the set of their digests.
QSet<QByteArray> make_tree(const QString& samples, const QString& tree, std::uint64_t mib)
{
    QSet<QByteArray> digests;
    if (test::run_tool(TARN_DEMO_FILES, {samples}) != 0 || test::run_tool(TARN_CARVE_SAMPLES, {samples}) != 0)
        return digests;
    const QStringList names = QDir(samples).entryList(QDir::Files, QDir::Name);
    std::uint64_t bytes = 0;
    for (int copy = 0; bytes < (mib << 20) && !names.isEmpty(); ++copy) {
        const QString folder = QStringLiteral("%1/Folder %2/Part %3").arg(tree).arg(copy / 10).arg(copy % 10);
        QDir().mkpath(folder);
        for (const QString& name : names) {
            const QString to = QStringLiteral("%1/copy %2 of %3").arg(folder).arg(copy).arg(name);
            QFile::copy(samples + '/' + name, to);
            bytes += static_cast<std::uint64_t>(QFileInfo(to).size());
            digests.insert(sha_of(to));
        }
    }
    return digests;
}

// The written files whose contents are among the originals.
int exact_files(const QString& dir, const QSet<QByteArray>& digests)
{
    int exact = 0;
    for (QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
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

void report(const char* what, const bench_run_s& run, double reference, int exact, int files)
{
    std::printf("%-22s %7.2f s  %.2f × the deep scan  status %d  %d of %d files byte-exact\n", what, run.seconds,
                run.seconds / reference, run.status, exact, files);
}

} // namespace

int main(int argc, char** argv)
{
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 700;
    QTemporaryDir dir(QDir::tempPath() + "/fat_lost_bench-XXXXXX");
    const QString image = dir.filePath("formatted.img");
    const QSet<QByteArray> digests = make_tree(dir.filePath("samples"), dir.filePath("tree"), mib);
    int files = 0;
    for (QDirIterator it(dir.filePath("tree"), QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
        ++files;
    const QStringList format = {"-F", "32", "-s", "8", "-i", "1234ABCD", "--invariant", image};
    if (digests.isEmpty() || test::run_tool("mkfs.fat", QStringList{"-C"} + format + QStringList{QString::number(volume_mib << 10)}) != 0
        || test::run_mtools({"mcopy", "-s", "-i", image, dir.filePath("tree") + "/Folder 0", "::/"}) != 0)
        return std::printf("could not make the volume\n"), 1;
    for (int folder = 1; QDir(dir.filePath("tree/Folder %1").arg(folder)).exists(); ++folder)
        if (test::run_mtools({"mcopy", "-s", "-i", image, dir.filePath("tree/Folder %1").arg(folder), "::/"}) != 0)
            return std::printf("could not copy folder %d\n", folder), 1;
    // The quick format: a new boot sector, empty FATs and root; every file's bytes stay.
    if (test::run_tool("mkfs.fat", QStringList{"-F", "32", "-s", "8", "-i", "5678ABCD", "--invariant", image}) != 0)
        return 1;
    QDir(dir.filePath("tree")).removeRecursively();
    QDir(dir.filePath("samples")).removeRecursively();
    const QStringList env{"TARN_DISKS=" + image};
    const auto cli = [&](const QStringList& args, const QString& out) {
        return best_of_two([&] {
            QDir(out).removeRecursively();
            bench::drop_cached(image);
            return run_measured(TARN_CLI, args + QStringList{"--recover", out}, env);
        });
    };
    std::printf("%llu MiB of files (%d) on a %llu MiB FAT32 volume, formatted again\n",
                static_cast<unsigned long long>(mib), files, static_cast<unsigned long long>(volume_mib));
    const bench_run_s deep = cli({"carve", "1"}, dir.filePath("deep"));
    const bench_run_s lost = cli({"scan", "1", "--lost"}, dir.filePath("lost"));
    report("deep scan", deep, deep.seconds, exact_files(dir.filePath("deep"), digests), files);
    report("search for lost files", lost, deep.seconds, exact_files(dir.filePath("lost"), digests), files);
    const QString photorec = QStandardPaths::findExecutable("photorec", {"/usr/bin", "/usr/sbin"});
    if (!photorec.isEmpty()) {
        const bench_run_s theirs = best_of_two([&] {
            QDir(dir.filePath("photorec")).removeRecursively();
            QDir().mkpath(dir.filePath("photorec"));
            bench::drop_cached(image);
            return run_measured(photorec, {"/d", dir.filePath("photorec/out"), "/cmd", image,
                                           "partition_none,options,paranoid,fileopt,everything,enable,wholespace,search"});
        });
        report("PhotoRec", theirs, deep.seconds, exact_files(dir.filePath("photorec"), digests), files);
    }
    return deep.status == 0 && lost.status == 0 ? 0 : 1;
}
