#include "recovery/file_extraction.h"

#include "common/safe_file_name.h"
#include "recovery/engine_table.h"
#include "scan/recovery_base.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <mutex>
#include <vector>

namespace tarn {

namespace {

constexpr qint64 copy_step = 0x20000;

// The entry's times instead of the time of the recovery. Failing to set them costs nothing
// but the times, so it is not a failure of the recovery.
void keep_times(const QString& destination, const recovery_item_s& record)
{
    if (record.modified == 0 && record.accessed == 0)
        return;
    QFile file(destination);
    if (QFileInfo(destination).isSymLink() || !file.open(QIODevice::ReadOnly))
        return;
    if (record.modified != 0)
        file.setFileTime(QDateTime::fromSecsSinceEpoch(record.modified, Qt::UTC), QFileDevice::FileModificationTime);
    if (record.accessed != 0)
        file.setFileTime(QDateTime::fromSecsSinceEpoch(record.accessed, Qt::UTC), QFileDevice::FileAccessTime);
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
    if (wait == engine_wait_e::block)
        lock.lock();
    else if (!lock.try_lock())
        return recovery_busy;
    // A link of that name (the temporary folder is everybody's) would carry the write outside
    // the folder: it is replaced like any other file, not followed.
    if (QFileInfo(destination).isSymLink() && !QFile::remove(destination))
        return recovery_unwritable;
    const int result = entry->extract(engine, record, destination);
    if (result == recovery_ok || result == recovery_incomplete)
        keep_times(destination, record);
    return result;
}

int extract_one(recovery_base_c& engine, int kind, const QString& folder, const recovery_item_s& record,
                engine_wait_e wait)
{
    return extract_to(engine, kind, extraction_path(folder, record), record, wait);
}

int extract_rows(recovery_base_c& engine, int kind, const QString& folder, const recovery_rows& rows,
                 const std::atomic<bool>* stop, const extraction_report& report)
{
    const QDir target(folder);
    // Two deleted files often share a name; the later one gets " (2)" rather than replacing
    // the file recovered just before it, or one already in the folder from an earlier recovery
    // (a dangling link or a FIFO included).
    QSet<QString> used;
    for (const QString& present : target.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        used.insert(present.toCaseFolded());
    int failed = 0;
    for (const recovery_item_s& row : rows) {
        if (stop != nullptr && *stop)
            break;
        if (!row.checked)
            continue;
        const QString name = unique_file_name(written_name(row), used);
        const int result = extract_to(engine, kind, target.filePath(name), row);
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
