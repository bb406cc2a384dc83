#pragma once
// A program run to its end with its wall time and peak resident memory, as the kernel counts
// them for that child alone.

#include <QString>
#include <QStringList>

#include <algorithm>

struct bench_run_s {
    int status = -1;      // exit status, -1 when it did not run or did not exit
    double seconds = 0;     // wall time
    double cpu_seconds = 0; // user and system time of the child and its threads
    long peak_kib = 0;
};

// Runs program with args, extra environment entries ("NAME=value") and its output discarded.
bench_run_s run_measured(const QString& program, const QStringList& args, const QStringList& environment = {});

// The faster of two runs, each from a cold page cache as the caller makes it: the first read of a
// freshly written image costs far more than any later one (0.97 s against 0.65 s for the same
// scan), which would otherwise fall on whichever tool ran first. The outputs of the second run
// are left for checking.
template <typename Run>
bench_run_s best_of_two(Run run)
{
    const bench_run_s first = run();
    bench_run_s best = run();
    if (first.seconds < best.seconds) {
        best.seconds = first.seconds;
        best.cpu_seconds = first.cpu_seconds;
    }
    best.peak_kib = std::max(best.peak_kib, first.peak_kib);
    best.status = std::max(best.status, first.status);
    return best;
}
