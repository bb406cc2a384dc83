#include "recovery/recovery_file.h"

#include "platform/shell_open.h"
#include "recovery/file_extraction.h"

namespace tarn {

recovery_file_c::~recovery_file_c()
{
    stop_ = true;
    wait();
}

int recovery_file_c::start_extraction(recovery_base_c* engine, int kind, const QString& target, const recovery_rows& rows)
{
    if (isRunning() || engine == nullptr)
        return -1;
    engine_ = engine;
    kind_ = kind;
    target_ = target;
    rows_.clear();
    for (const recovery_item_s& row : rows)
        if (row.checked)
            rows_.push_back(row);
    stop_ = false;
    failed_ = 0;
    start(QThread::InheritPriority);
    return 0;
}

void recovery_file_c::run()
{
    failed_ = extract_rows(*engine_, kind_, target_, rows_, &stop_);
    // The folder opens even when every file failed: the user sees what there is.
    if (!stop_)
        open_in_shell(target_);
}

} // namespace tarn
