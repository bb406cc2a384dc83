#include "recovery/recovery_file.h"

#include "app/safe_file_name.h"
#include "platform/shell_open.h"
#include "recovery/file_extraction.h"

#include <QDir>
#include <QSet>

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
    const QDir folder(target_);
    // Two deleted files often share a name; the later one gets " (2)" rather than replacing
    // the file recovered just before it, or one already in the folder from an earlier recovery.
    QSet<QString> used;
    for (const QString& present : folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        used.insert(present.toCaseFolded());
    for (const recovery_item_s& row : rows_) {
        if (stop_)
            return;
        const QString name = unique_file_name(safe_file_name(row.name), used);
        if (extract_to(*engine_, kind_, folder.filePath(name), row) != 0)
            ++failed_;
    }
    // The folder opens even when every file failed: the user sees what there is.
    open_in_shell(target_);
}

} // namespace tarn
