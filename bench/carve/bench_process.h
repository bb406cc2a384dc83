#pragma once
// A program run to its end with its wall time and peak resident memory, as the kernel counts
// them for that child alone.

#include <QString>
#include <QStringList>

struct bench_run_s {
    int status = -1;      // exit status, -1 when it did not run or did not exit
    double seconds = 0;     // wall time
    double cpu_seconds = 0; // user and system time of the child and its threads
    long peak_kib = 0;
};

// Runs program with args, extra environment entries ("NAME=value") and its output discarded.
bench_run_s run_measured(const QString& program, const QStringList& args, const QStringList& environment = {});
