#include "recovery/file_extraction.h"

#include "app/safe_file_name.h"
#include "recovery/scanner_kind.h"
#include "scan/recovery_base.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace tarn {

// One lock per engine, made on first use and kept: engines live as long as the page, and a
// few stale entries after that cost nothing.
std::mutex& engine_lock(const recovery_base_c* engine)
{
    static std::mutex table_lock;
    static std::map<const recovery_base_c*, std::unique_ptr<std::mutex>> locks;
    const std::lock_guard guard(table_lock);
    auto& slot = locks[engine];
    if (!slot)
        slot = std::make_unique<std::mutex>();
    return *slot;
}

namespace {

// Deleted-entry mark of the NTFS engine's attribute word: clear for a file that still exists.
constexpr std::uint32_t ntfs_deleted_mark = 0x80;
constexpr qint64 copy_step = 0x20000;

int extract_locked(recovery_base_c& engine, int kind, const QString& destination, const recovery_item_s& record)
{
    switch (kind) {
    case scanner_fat:
    case scanner_raw:
        return engine.recover_file(record.id, destination);
    case scanner_ntfs: {
        if (record.attributes & ntfs_deleted_mark)
            return engine.recover_file(record.id, destination);
        QString source;
        if (engine.get_file_path(record.id, source) < 0)
            return -1;
        return copy_live_file(source, destination);
    }
    default:
        return -1;
    }
}

} // namespace

QString extraction_path(const QString& folder, const recovery_item_s& record)
{
    return QDir(folder).filePath(safe_file_name(record.name));
}

int extract_to(recovery_base_c& engine, int kind, const QString& destination, const recovery_item_s& record,
               engine_wait_e wait)
{
    std::unique_lock lock(engine_lock(&engine), std::defer_lock);
    if (wait == engine_wait_e::block)
        lock.lock();
    else if (!lock.try_lock())
        return extract_busy;
    // A link of that name (the temporary folder is everybody's) would carry the write outside
    // the folder: it is replaced like any other file, not followed.
    if (QFileInfo(destination).isSymLink() && !QFile::remove(destination))
        return -1;
    return extract_locked(engine, kind, destination, record);
}

int extract_one(recovery_base_c& engine, int kind, const QString& folder, const recovery_item_s& record,
                engine_wait_e wait)
{
    return extract_to(engine, kind, extraction_path(folder, record), record, wait);
}

int copy_live_file(const QString& source, const QString& destination)
{
    QFile in(source);
    if (!in.exists() || !in.open(QIODevice::ReadOnly))
        return -1;
    QFile out(destination);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return -1;
    std::vector<char> buffer(copy_step);
    for (;;) {
        const qint64 got = in.read(buffer.data(), copy_step);
        if (got < 0)
            return -2;
        if (got == 0)
            break;
        if (out.write(buffer.data(), got) != got)
            return -2;
    }
    return out.flush() ? 0 : -2;
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
