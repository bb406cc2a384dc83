#include "recovery/file_extraction.h"

#include "common/safe_file_name.h"
#include "platform/target_folder.h"
#include "recovery/engine_table.h"
#include "scan/recovery_base.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <memory>
#include <mutex>
#include <vector>

namespace tarn {

namespace {

constexpr qint64 copy_step = 0x20000;
// Names tried for one file when others keep taking them (another recovery into the same folder).
constexpr int most_name_tries = 10000;

// Takes the engine's file lock as asked: false when it is busy and the caller would not wait.
bool lock_engine(std::unique_lock<std::mutex>& lock, engine_wait_e wait)
{
    if (wait == engine_wait_e::block) {
        lock.lock();
        return true;
    }
    return lock.try_lock();
}

// Writes record's file under name in folder, through its engine, into a file made there and
// then (never over anything, never through a link). A name taken meanwhile moves on to the next
// " (n)" when used is given. A file written whole gets the entry's times; one the engine wrote
// nothing to is removed again, so that no empty file passes for a recovered one.
int extract_into(recovery_base_c& engine, const engine_entry_s& entry, const target_folder_c& folder, QString name,
                 const recovery_item_s& record, QSet<QString>* used)
{
    int error = 0;
    std::unique_ptr<target_file_c> file = folder.create_file(name, error);
    for (int tries = 0; !file && error == EEXIST && used != nullptr && tries < most_name_tries; ++tries)
        file = folder.create_file(unique_file_name(written_name(record), *used), error);
    if (!file)
        return recovery_unwritable;
    const int result = entry.extract(engine, record, file->path());
    if (result == recovery_ok)
        file->set_times(record.modified, record.accessed);
    else if (result != recovery_incomplete)
        file->discard();
    return result;
}

} // namespace

QString written_name(const recovery_item_s& record)
{
    return written_folder_name(record.name, record.disk_name);
}

QString written_folder_name(const QString& name, const QString& disk_name)
{
    return safe_file_name(disk_name.isEmpty() ? name : disk_name);
}

QString extraction_path(const QString& folder, const recovery_item_s& record)
{
    return QDir(folder).filePath(written_name(record));
}

int extract_to(recovery_base_c& engine, int kind, const QString& destination, const recovery_item_s& record,
               engine_wait_e wait)
{
    const engine_entry_s* entry = engine_entry(kind);
    if (entry == nullptr)
        return recovery_not_found;
    std::unique_lock lock(engine.file_lock(), std::defer_lock);
    if (!lock_engine(lock, wait))
        return recovery_busy;
    const QFileInfo place(destination);
    const std::unique_ptr<target_folder_c> folder = target_folder_c::open(place.path());
    // What the name holds (an earlier preview, a link planted in the temporary folder, which is
    // everybody's) is replaced, never written through.
    if (!folder || !folder->remove(place.fileName()))
        return recovery_unwritable;
    return extract_into(engine, *entry, *folder, place.fileName(), record, nullptr);
}

int extract_one(recovery_base_c& engine, int kind, const QString& folder, const recovery_item_s& record,
                engine_wait_e wait)
{
    return extract_to(engine, kind, extraction_path(folder, record), record, wait);
}

int extract_rows(recovery_base_c& engine, int kind, const QString& folder, const recovery_rows& rows,
                 const std::atomic<bool>* stop, const extraction_report& report)
{
    const std::unique_ptr<target_folder_c> target = target_folder_c::open(folder);
    if (!target) {
        int failed = 0;
        for (const recovery_item_s& row : rows)
            if (row.checked && (stop == nullptr || !*stop)) {
                ++failed;
                if (report)
                    report(row, recovery_unwritable);
            }
        return failed;
    }
    return extract_rows_into(engine, kind, *target, folder, rows, stop, report);
}

int extract_rows_into(recovery_base_c& engine, int kind, const target_folder_c& target, const QString& folder,
                      const recovery_rows& rows, const std::atomic<bool>* stop, const extraction_report& report)
{
    const engine_entry_s* entry = engine_entry(kind);
    // Two deleted files often share a name; the later one gets " (2)" rather than replacing
    // the file recovered just before it, or one already in the folder from an earlier recovery
    // (a dangling link or a FIFO included). A name another recovery takes meanwhile is passed
    // over when the file is made.
    QSet<QString> used;
    for (const QString& present : QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        used.insert(present.toCaseFolded());
    int failed = 0;
    for (const recovery_item_s& row : rows) {
        if (stop != nullptr && *stop)
            break;
        if (!row.checked)
            continue;
        int result = recovery_not_found;
        if (entry != nullptr) {
            const std::lock_guard lock(engine.file_lock());
            result = extract_into(engine, *entry, target, unique_file_name(written_name(row), used), row, &used);
        }
        if (result != recovery_ok)
            ++failed;
        if (report)
            report(row, result);
    }
    return failed;
}

bool folder_writable(const QString& folder)
{
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".tarn-write-test-XXXXXX")));
    return probe.open();
}

int copy_live_file(const QString& source, const QString& destination)
{
    QFile in(source);
    if (!in.exists() || !in.open(QIODevice::ReadOnly))
        return recovery_not_found;
    QFile out(destination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return recovery_unwritable;
    std::vector<char> buffer(copy_step);
    for (;;) {
        const qint64 got = in.read(buffer.data(), copy_step);
        if (got < 0)
            return recovery_incomplete;
        if (got == 0)
            break;
        if (out.write(buffer.data(), got) != got)
            return recovery_incomplete;
    }
    return out.flush() ? recovery_ok : recovery_incomplete;
}

QString unique_file_name(const QString& name, QSet<QString>& used)
{
    QString candidate = name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    for (int n = 2; used.contains(candidate.toCaseFolded()); ++n)
        candidate = QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(extension);
    used.insert(candidate.toCaseFolded());
    return candidate;
}

} // namespace tarn
