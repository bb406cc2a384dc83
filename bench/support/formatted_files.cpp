#include "bench/support/formatted_files.h"

#include "bench/support/page_cache.h"
#include "tests/support/test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace tarn::bench {

QByteArray file_digest(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

QSet<QByteArray> copy_samples(const QString& demo_files, const QString& carve_samples, const QString& samples,
                              const QString& root, std::uint64_t mib, int& files)
{
    files = 0;
    if (test::run_tool(demo_files, {samples}) != 0 || test::run_tool(carve_samples, {samples}) != 0)
        return {};
    const QStringList names = QDir(samples).entryList(QDir::Files, QDir::Name);
    QSet<QByteArray> digests;
    for (const QString& name : names)
        digests.insert(file_digest(samples + '/' + name));
    std::uint64_t bytes = 0;
    for (int copy = 0; bytes < (mib << 20) && !names.isEmpty(); ++copy) {
        const QString folder = QStringLiteral("%1/Folder %2/Part %3").arg(root).arg(copy / 10).arg(copy % 10);
        QDir().mkpath(folder);
        for (const QString& name : names) {
            const QString to = QStringLiteral("%1/copy %2 of %3").arg(folder).arg(copy).arg(name);
            if (!QFile::copy(samples + '/' + name, to))
                return {};
            bytes += static_cast<std::uint64_t>(QFileInfo(to).size());
            ++files;
        }
    }
    return digests;
}

int exact_files(const QString& dir, const QSet<QByteArray>& digests, int& written)
{
    int exact = 0;
    written = 0;
    for (QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); ++written)
        exact += digests.contains(file_digest(it.next())) ? 1 : 0;
    return exact;
}

bench_run_s recovering_run(const QString& cli, const QString& image, const QStringList& args, const QString& out)
{
    return best_of_two([&] {
        QDir(out).removeRecursively();
        drop_cached(image);
        return run_measured(cli, args + QStringList{"--recover", out}, {"TARN_DISKS=" + image});
    });
}

void report_recovery(const char* what, const bench_run_s& run, double reference, const QString& out,
                     const QSet<QByteArray>& digests)
{
    int written = 0;
    const int exact = exact_files(out, digests, written);
    std::printf("%-22s %7.2f s  %.2f × the deep scan  status %d  %d files written, %d of them byte-exact copies of "
                "files put there\n",
                what, run.seconds, run.seconds / reference, run.status, written, exact);
}

} // namespace tarn::bench
