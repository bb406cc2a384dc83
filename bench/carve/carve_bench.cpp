// Deep-scan speed and fidelity: an image of real files of many types, planted at sector starts
// and at odd offsets between random bytes, some split in two around another file, carved by our
// command line and by PhotoRec in the same run (cold page cache for each). Reports the throughput
// ratio, the files recovered byte-exact by each, the outputs that match no planted file (junk),
// and our peak memory, on the image and on a larger one that holds it three times.
//   carve_bench [MiB [large-GiB]]      defaults: 512 and 4; 0 GiB skips the large image

#include "bench/support/bench_process.h"
#include "bench/support/page_cache.h"
#include "tests/support/test_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tarn;

namespace {

struct sample_s {
    QString name;
    QByteArray bytes;
};

// The real files planted: what the sample tool makes, pictures ImageMagick makes, and the
// archives, databases, media and programs the deep-scan tests make.
std::vector<sample_s> make_samples(const QString& dir)
{
    std::vector<sample_s> samples;
    if (test::run_tool(TARN_DEMO_FILES, {dir}) != 0 || test::run_tool(TARN_CARVE_SAMPLES, {dir}) != 0)
        return samples;
    test::run_tool("convert", {"-size", "320x200", "gradient:red-blue", dir + "/gradient.gif"});
    test::run_tool("convert", {"-seed", "3", "-size", "200x150", "plasma:fractal", dir + "/plasma.bmp"});
    for (const QString& name : QDir(dir).entryList(QDir::Files, QDir::Name)) {
        if (name.endsWith(".txt") || name.endsWith(".log"))
            continue; // text has no signature to carve by
        QFile f(dir + "/" + name);
        if (f.open(QIODevice::ReadOnly))
            samples.push_back({name, f.readAll()});
    }
    return samples;
}

class filler_c {
public:
    QByteArray bytes(qsizetype n)
    {
        QByteArray out(n, Qt::Uninitialized);
        for (char& c : out)
            c = static_cast<char>(next() >> 56);
        return out;
    }
    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

private:
    std::uint64_t state_ = 12345;
};

QByteArray sha(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

// Whether a sample is split in two when planted (every tenth file of the types whose fragments
// the deep scan can join), as a file system leaves a fragmented file: its first half on whole
// sectors at a cluster start, the next sample whole right after it, that cluster's slack zeroed,
// then its second half.
bool split_here(std::size_t i, const sample_s& s)
{
    return i % 10 == 9 && s.bytes.size() >= 4096
           && (s.name.endsWith(".jpg") || s.name.endsWith(".png") || s.name.endsWith(".zip"));
}

void write_split(QFile& out, const sample_s& split, const sample_s& between)
{
    const auto cluster_end = [&out] { return QByteArray(static_cast<qsizetype>((4096 - out.pos() % 4096) % 4096), '\0'); };
    out.write(cluster_end());
    const qsizetype first = split.bytes.size() / 2 / 512 * 512;
    out.write(split.bytes.left(first));
    out.write(between.bytes);
    out.write(cluster_end());
    out.write(split.bytes.mid(first));
}

// Writes an image of about mib MiB: random filler of 2 to 64 KiB, then a sample, alternately at
// a sector start and at an odd offset, every tenth of some types split in two around the next
// sample. The planted files' hashes with their counts; split counts the split ones.
QHash<QByteArray, int> make_image(const QString& path, qint64 mib, const std::vector<sample_s>& samples, int& planted,
                                  int& split)
{
    QHash<QByteArray, int> expected;
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || samples.empty())
        return expected;
    filler_c random;
    const qint64 total = mib << 20;
    planted = 0;
    split = 0;
    for (std::size_t i = 0; out.pos() < total; ++i) {
        out.write(random.bytes(2048 + static_cast<qsizetype>(random.next() % (62 * 1024))));
        const qint64 misalign = out.pos() % 512;
        if (i % 2 == 0 && misalign != 0)
            out.write(random.bytes(512 - misalign));
        else if (i % 2 == 1 && misalign == 0)
            out.write(random.bytes(1 + static_cast<qsizetype>(random.next() % 511)));
        const sample_s& s = samples[i % samples.size()];
        const sample_s& next = samples[(i + 1) % samples.size()];
        if (out.pos() + s.bytes.size() + next.bytes.size() + 8192 > total)
            break;
        if (split_here(i, s)) {
            write_split(out, s, next);
            ++expected[sha(next.bytes)];
            ++planted;
            ++split;
            ++i;
        } else {
            out.write(s.bytes);
        }
        ++expected[sha(s.bytes)];
        ++planted;
    }
    // Exactly mib MiB, so that the larger image's copies stay on sector starts: the filler
    // written before the loop ended may run past the end, planted files never do.
    if (out.pos() < total)
        out.write(random.bytes(total - out.pos()));
    else
        out.resize(total);
    return expected;
}

struct outcome_s {
    int exact = 0;
    int junk = 0;
};

outcome_s compare(const QString& dir, QHash<QByteArray, int> expected)
{
    outcome_s outcome;
    for (QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        if (path.endsWith("report.xml"))
            continue;
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        int& left = expected[sha(f.readAll())];
        if (left > 0) {
            --left;
            ++outcome.exact;
        } else {
            ++outcome.junk;
        }
    }
    return outcome;
}

void report(const char* who, qint64 mib, const bench_run_s& run, const outcome_s& found)
{
    std::printf("%-10s %6.2f s wall %7.2f s cpu  %7.1f MB/s  exact %5d  junk %4d  peak %ld KiB  (exit %d)\n", who,
                run.seconds, run.cpu_seconds, static_cast<double>(mib << 20) / 1e6 / run.seconds, found.exact,
                found.junk, run.peak_kib, run.status);
}

// Our deep scan from a cold page cache, writing the files into out (the scan alone when out is empty).
bench_run_s run_ours(const QString& image, const QString& out)
{
    bench::drop_cached(image);
    QStringList args{"carve", "1"};
    if (!out.isEmpty())
        args << "--recover" << out;
    return run_measured(TARN_CLI, args, {"TARN_DISKS=" + image});
}

// A larger image: the first one copied to its start, middle and end, sparse between.
bool make_large(const QString& path, const QString& from, qint64 gib)
{
    QFile in(from);
    QFile out(path);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly) || !out.resize(gib << 30))
        return false;
    for (const qint64 at : {qint64{0}, (gib << 30) / 2, (gib << 30) - in.size()}) {
        in.seek(0);
        out.seek(at);
        while (!in.atEnd())
            if (out.write(in.read(8 << 20)) < 0)
                return false;
    }
    return true;
}

// Carves image with our command line and with PhotoRec, one after the other from a cold page
// cache (the faster of two runs each), and reports each one's figures and the ratio; our run. Our
// scan alone, without writing the files, is reported too: in the window the scan comes first and
// the user picks what to write.
bench_run_s run_both(const QString& image, qint64 mib, const QHash<QByteArray, int>& expected, const QString& outputs)
{
    const bench_run_s scan = best_of_two([&] { return run_ours(image, {}); });
    report("ours-scan", mib, scan, {});
    const bench_run_s ours = best_of_two([&] {
        QDir(outputs + "/ours").removeRecursively();
        return run_ours(image, outputs + "/ours");
    });
    report("ours", mib, ours, compare(outputs + "/ours", expected));
    QDir(outputs + "/ours").removeRecursively();
    const QString photorec = QStandardPaths::findExecutable("photorec");
    if (photorec.isEmpty()) {
        std::printf("photorec: not installed (package testdisk), no comparison\n");
        return ours;
    }
    const bench_run_s theirs = best_of_two([&] {
        QDir(outputs + "/photorec").removeRecursively();
        QDir().mkpath(outputs + "/photorec");
        bench::drop_cached(image);
        return run_measured(photorec, {"/d", outputs + "/photorec/out", "/cmd", image,
                                       "partition_none,options,paranoid,fileopt,everything,enable,wholespace,search"});
    });
    report("photorec", mib, theirs, compare(outputs + "/photorec", expected));
    QDir(outputs + "/photorec").removeRecursively();
    std::printf("throughput ratio (ours / photorec): %.2f x wall, %.2f x cpu; the scan alone %.2f x wall\n",
                theirs.seconds / ours.seconds, theirs.cpu_seconds / ours.cpu_seconds, theirs.seconds / scan.seconds);
    return ours;
}

} // namespace

int main(int argc, char** argv)
{
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 512;
    const qint64 large_gib = argc > 2 ? QByteArray(argv[2]).toLongLong() : 4;
    QTemporaryDir dir(QDir::tempPath() + "/carve-bench-XXXXXX");
    // The recovered files go to memory where there is some: both tools' writes then cost what
    // the tools do, not what this machine's disk does.
    QTemporaryDir outputs(QDir("/dev/shm").exists() ? "/dev/shm/carve-bench-XXXXXX" : dir.filePath("out-XXXXXX"));
    const std::vector<sample_s> samples = make_samples(dir.filePath("samples"));
    int planted = 0;
    int split = 0;
    const QString image = dir.filePath("carve.img");
    const QHash<QByteArray, int> expected = make_image(image, mib, samples, planted, split);
    if (expected.isEmpty()) {
        std::fprintf(stderr, "could not make the image\n");
        return 1;
    }
    std::printf("image: %lld MiB, %d files of %zu kinds planted (half at odd offsets, %d split in two)\n", mib, planted,
                samples.size(), split);
    const bench_run_s ours = run_both(image, mib, expected, outputs.path());

    if (large_gib > 0) {
        const QString large = dir.filePath("large.img");
        if (!make_large(large, image, large_gib)) {
            std::fprintf(stderr, "could not make the %lld GiB image\n", large_gib);
            return 1;
        }
        QFile::remove(image);
        QHash<QByteArray, int> thrice = expected;
        for (int& count : thrice)
            count *= 3;
        std::printf("image: %lld GiB, the first one's files three times over, zeros between\n", large_gib);
        const bench_run_s big = run_both(large, large_gib << 10, thrice, outputs.path());
        std::printf("our peak memory: %ld KiB on %lld GiB, %ld KiB on %lld MiB\n", big.peak_kib, large_gib, ours.peak_kib, mib);
    }
    return 0;
}
