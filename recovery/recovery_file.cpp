#include "recovery/recovery_file.h"

#include "platform/shell_open.h"
#include "recovery/file_extraction.h"
#include "scan/recovery_base.h"

#include <QElapsedTimer>

namespace tarn {

namespace {

constexpr qint64 progress_interval_ms = 100;
// The summary lists this many names of failed files; a disk that fails everywhere would
// otherwise fill the box with thousands.
constexpr int failed_names_kept = 500;

} // namespace

recovery_file_c::~recovery_file_c()
{
    stop_ = true;
    wait();
}

int recovery_file_c::begin(recovery_base_c* engine, int kind, const QString& target)
{
    if (isRunning() || engine == nullptr)
        return -1;
    engine_ = engine;
    kind_ = kind;
    target_ = target;
    rows_.clear();
    branch_.clear();
    summary_ = extraction_summary_s{target, 0, 0, 0, {}, false};
    stop_ = false;
    failed_ = 0;
    return 0;
}

int recovery_file_c::start_extraction(recovery_base_c* engine, int kind, const QString& target, const recovery_rows& rows)
{
    if (begin(engine, kind, target) != 0)
        return -1;
    for (const recovery_item_s& row : rows)
        if (row.checked)
            rows_.push_back(row);
    start(QThread::InheritPriority);
    return 0;
}

int recovery_file_c::start_branch(recovery_base_c* engine, int kind, const QString& target, std::vector<branch_folder_s> branch)
{
    if (begin(engine, kind, target) != 0)
        return -1;
    branch_ = std::move(branch);
    start(QThread::InheritPriority);
    return 0;
}

void recovery_file_c::run()
{
    int files_total = 0;
    quint64 bytes_total = 0;
    const auto count = [&](const recovery_rows& rows) {
        for (const recovery_item_s& row : rows)
            if (row.checked) {
                ++files_total;
                bytes_total += row.size;
            }
    };
    count(rows_);
    for (const branch_folder_s& folder : branch_)
        count(folder.rows);
    summary_.total = files_total;

    int files_done = 0;
    quint64 bytes_done = 0;
    QElapsedTimer since;
    since.start();
    const extraction_report report = [&](const recovery_item_s& record, int result) {
        ++files_done;
        summary_.tried = files_done;
        bytes_done += record.size;
        if (result == recovery_ok)
            ++summary_.written;
        else if (summary_.failed.size() < failed_names_kept)
            summary_.failed << record.name;
        if (files_done == 1 || since.elapsed() >= progress_interval_ms || files_done == files_total) {
            since.restart();
            emit progress(files_done, files_total, bytes_done, bytes_total);
        }
    };
    failed_ = branch_.empty() ? extract_rows(*engine_, kind_, target_, rows_, &stop_, report)
                              : extract_branch(*engine_, kind_, branch_, target_, &stop_, report);
    summary_.stopped = files_done < files_total;
    emit progress(files_done, files_total, bytes_done, bytes_total);
    // The folder opens even when every file failed: the user sees what there is.
    if (!stop_)
        open_in_shell(target_);
}

} // namespace tarn
