#pragma once
// The extraction thread: writes every checked file of the folder shown into the chosen folder,
// then opens that folder in the desktop shell.

#include "recovery/recovery_rows.h"

#include <QString>
#include <QThread>

#include <atomic>

namespace tarn {

class recovery_base_c;

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

    // After the thread has finished: how many of the last run's files could not be written.
    int failed_count() const { return failed_; }

protected:
    void run() override;

private:
    recovery_base_c* engine_ = nullptr;
    int kind_ = -1;
    QString target_;
    recovery_rows rows_;
    std::atomic<bool> stop_{false};
    std::atomic<int> failed_{0};
};

} // namespace tarn
