#pragma once
// The extraction thread: writes the checked files the page gathered, or a whole folder of the
// tree with everything below it, into the chosen folder; tells its progress as it goes, keeps
// what failed, and opens the folder in the desktop shell at the end.

#include "recovery/recovery_rows.h"
#include "recovery/tree_extraction.h"

#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <vector>

namespace tarn {

class recovery_base_c;

// What the last extraction did; read after the thread has finished.
struct extraction_summary_s {
    QString target;
    int total = 0;
    int tried = 0;
    int written = 0;
    QStringList failed; // the names of the files that could not be written (the first 500)
    bool stopped = false;
};

class recovery_file_c : public QThread {
    Q_OBJECT
public:
    using QThread::QThread;
    // Asks a running extraction to end after the current file and waits for it.
    ~recovery_file_c() override;

    // Starts writing the checked records of rows (found by engine, a scanner_kind_e kind) into
    // target. The thread works on its own copy of those records, so the page may list, sort or
    // check rows while it runs. -1 (and nothing happens) while a previous extraction runs.
    int start_extraction(recovery_base_c* engine, int kind, const QString& target, const recovery_rows& rows);
    // The same for a branch of the tree, re-creating its folders under target.
    int start_branch(recovery_base_c* engine, int kind, const QString& target, std::vector<branch_folder_s> branch);
    // Asks the thread to end after the file it is writing.
    void stop() { stop_ = true; }

    // After the thread has finished: how many of the last run's files could not be written.
    int failed_count() const { return failed_; }
    const extraction_summary_s& summary() const { return summary_; }

signals:
    // Files and bytes done so far of the run's whole: after the first file, then at most ten
    // times a second, and once at the end.
    void progress(int files_done, int files_total, quint64 bytes_done, quint64 bytes_total);

protected:
    void run() override;

private:
    int begin(recovery_base_c* engine, int kind, const QString& target);

    recovery_base_c* engine_ = nullptr;
    int kind_ = -1;
    QString target_;
    recovery_rows rows_;
    std::vector<branch_folder_s> branch_;
    extraction_summary_s summary_;
    std::atomic<bool> stop_{false};
    std::atomic<int> failed_{0};
};

} // namespace tarn
