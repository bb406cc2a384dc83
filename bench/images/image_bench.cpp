// The image layer's cost: a FAT scan and a deep scan of an E01 image against the same work on
// its raw image, in the same run, through the command-line tool. The disk is a FAT32 volume of
// 512 MiB holding 3,000 small files (a third of them deleted) and 320 MiB of photos, text and
// random bytes; the E01 is compressed (deflate, fast) in 100 MiB segments, as acquisitions
// usually are. Reports the best of three runs of each and their ratio.

#include "bench/support/bench_process.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace tarn::test;

namespace {

constexpr int small_files = 3000;
constexpr int runs = 3;

bool write_file(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Text compresses well, random bytes not at all: an acquisition holds both.
bool make_sources(const QString& dir)
{
    QRandomGenerator random(11);
    QDir().mkpath(dir + "/small");
    for (int n = 0; n < small_files; ++n) {
        const QByteArray text = QByteArray("line of a letter ").repeated(static_cast<int>(random.bounded(20, 400)));
        if (!write_file(QStringLiteral("%1/small/f%2.txt").arg(dir).arg(n, 4, 10, QLatin1Char('0')), text))
            return false;
    }
    for (int n = 0; n < 4; ++n) {
        QByteArray bytes(40 << 20, '\0');
        random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
        if (!write_file(QStringLiteral("%1/random%2.bin").arg(dir).arg(n), bytes))
            return false;
    }
    for (int n = 0; n < 4; ++n)
        if (!write_file(QStringLiteral("%1/book%2.txt").arg(dir).arg(n), QByteArray("chapter and verse, ").repeated((40 << 20) / 19)))
            return false;
    return true;
}

int make_disk(const QDir& dir, const QString& raw)
{
    const QString at = raw;
    if (!make_sources(dir.filePath("src")) || format_fat(raw, 0, 1u << 20, 32, "BENCH") != 0
        || run_mtools({"mcopy", "-s", "-i", at, dir.filePath("src/small"), "::/"}) != 0)
        return -1;
    for (const char* name : {"random0.bin", "random1.bin", "random2.bin", "random3.bin", "book0.txt", "book1.txt",
                             "book2.txt", "book3.txt"})
        if (run_mtools({"mcopy", "-i", at, dir.filePath(QString("src/") + name), "::/"}) != 0)
            return -1;
    if (run_mtools({"mdel", "-i", at, "::/small/f1*.txt"}) != 0 || run_mtools({"mdel", "-i", at, "::/random1.bin"}) != 0)
        return -1;
    QString log;
    return run_tool("ewfacquire", {"-u", "-q", "-t", dir.filePath("disk"), "-S", "100MiB", "-c", "deflate:fast", raw}, &log);
}

double best_of(const QStringList& args, const QStringList& env)
{
    double best = 1e30;
    for (int n = 0; n < runs; ++n) {
        const bench_run_s run = run_measured(TARN_CLI, args, env);
        if (run.status != 0)
            return -1;
        best = std::min(best, run.seconds);
    }
    return best;
}

// The rows of the volume on each disk: the raw image is disk 1 (TARN_DISKS), the E01 disk 2.
bool volume_rows(const QStringList& env, const QString& e01, QString& raw_row, QString& e01_row)
{
    QString output;
    if (run_tool(TARN_CLI, {"--json", "--image", e01, "volumes"}, &output, env) != 0)
        return false;
    for (const QString& line : output.split('\n', Qt::SkipEmptyParts)) {
        const QJsonObject row = QJsonDocument::fromJson(line.toUtf8()).object();
        (row["mount_path"].toString().startsWith(e01) ? e01_row : raw_row) = QString::number(row["row"].toInt());
    }
    return !raw_row.isEmpty() && !e01_row.isEmpty();
}

void report(const char* work, double raw, double e01)
{
    std::printf("%-10s raw %7.3f s   E01 %7.3f s   ratio %.2f\n", work, raw, e01, e01 / raw);
}

} // namespace

int main()
{
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    const QString raw = dir.filePath("disk.img");
    const QString e01 = dir.filePath("disk.E01");
    std::printf("making a 512 MiB FAT32 disk and its E01 copy...\n");
    if (make_disk(dir, raw) != 0) {
        std::fprintf(stderr, "image_bench: the disk or its E01 copy could not be made\n");
        return 1;
    }
    const QStringList env = {"TARN_DISKS=" + raw};
    QString raw_row, e01_row;
    if (!volume_rows(env, e01, raw_row, e01_row)) {
        std::fprintf(stderr, "image_bench: the volumes were not listed\n");
        return 1;
    }
    const QStringList image = {"--image", e01};
    for (const char* work : {"scan", "carve"}) {
        const double raw_time = best_of(image + QStringList{work, raw_row}, env);
        const double e01_time = best_of(image + QStringList{work, e01_row}, env);
        if (raw_time <= 0 || e01_time <= 0) {
            std::fprintf(stderr, "image_bench: %s failed\n", work);
            return 1;
        }
        report(work, raw_time, e01_time);
    }
    return 0;
}
