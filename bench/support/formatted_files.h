#pragma once
// The files the lost-file benchmarks put on a volume before formatting it again, and what each
// recovery gives back of them.

#include "bench/support/bench_process.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace tarn::bench {

QByteArray file_digest(const QString& path);

// Real files of many types (what the deep scan can carve: what demo_files and carve_samples make),
// made in samples and copied into folders "Folder N/Part M" below root until they hold about mib
// MiB; the set of their digests, and their count in files. Empty when the tools or a copy failed.
QSet<QByteArray> copy_samples(const QString& demo_files, const QString& carve_samples, const QString& samples,
                              const QString& root, std::uint64_t mib, int& files);

// The files below dir whose contents are among digests; written counts them all.
int exact_files(const QString& dir, const QSet<QByteArray>& digests, int& written);

// The faster of two runs of the command-line tool cli on image with args and "--recover out",
// each into an empty out from a cold page cache.
bench_run_s recovering_run(const QString& cli, const QString& image, const QStringList& args, const QString& out);

// One line: the run's time, its ratio to reference, its status, and what it wrote of digests.
void report_recovery(const char* what, const bench_run_s& run, double reference, const QString& out,
                     const QSet<QByteArray>& digests);

} // namespace tarn::bench
