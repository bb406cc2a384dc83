#include "libs/ntfs_scan/ntfs_record_fill.h"

#include "libs/ntfs_scan/ntfs_scan.h"

#include <QString>

#include <cstdint>
#include <cstring>

namespace tarn {

namespace {

constexpr std::size_t name_at = 56;
constexpr std::size_t name_chars = 259; // and the terminating zero

template <class T>
void put(std::byte* record, std::size_t at, T value)
{
    std::memcpy(record + at, &value, sizeof value);
}

// The name a user knows the entry by: of its $FILE_NAME names (a long name, its DOS alias, hard
// links) the longest, which is the long one where both exist.
const TSK_FS_META_NAME_LIST* best_name(const TSK_FS_META& meta)
{
    const TSK_FS_META_NAME_LIST* best = nullptr;
    std::size_t best_length = 0;
    for (const TSK_FS_META_NAME_LIST* n = meta.name2; n != nullptr; n = n->next) {
        const std::size_t length = strnlen(n->name, sizeof n->name);
        if (length > best_length) {
            best = n;
            best_length = length;
        }
    }
    return best;
}

std::uint32_t flags_of(const TSK_FS_META& meta)
{
    std::uint32_t flags = 0;
    // The reader's virtual entries (its folder of orphans) are neither: no record holds them.
    if (meta.type == TSK_FS_META_TYPE_DIR)
        flags |= NTFS_SCAN_FLAG_DIRECTORY;
    else if (meta.type != TSK_FS_META_TYPE_UNDEF && meta.type != TSK_FS_META_TYPE_VIRT && meta.type != TSK_FS_META_TYPE_VIRT_DIR)
        flags |= NTFS_SCAN_FLAG_FILE;
    if (meta.flags & TSK_FS_META_FLAG_UNALLOC)
        flags |= NTFS_SCAN_FLAG_DELETED;
    return flags;
}

} // namespace

bool fill_ntfs_record(const TSK_FS_META& meta, std::byte* record)
{
    // An entry without a $FILE_NAME (the reserved entries, one whose names were wiped) has no
    // name to show and no folder to sit in.
    const TSK_FS_META_NAME_LIST* name = best_name(meta);
    if (name == nullptr)
        return false;
    const std::uint32_t flags = flags_of(meta);
    put<std::uint64_t>(record, 0, meta.addr);
    put<std::uint64_t>(record, 8, name->par_inode);
    put<std::uint64_t>(record, 16, meta.size > 0 ? static_cast<std::uint64_t>(meta.size) : 0);
    put<std::int64_t>(record, 24, meta.crtime);
    put<std::int64_t>(record, 40, meta.mtime);
    put<std::uint32_t>(record, 48, flags);
    // The sequence numbers tell this entry from an earlier file that had the same record number.
    put<std::uint16_t>(record, 52, meta.seq);
    put<std::uint16_t>(record, 54, name->par_seq);
    const QString text = QString::fromUtf8(name->name, static_cast<qsizetype>(strnlen(name->name, sizeof name->name)));
    const auto count = static_cast<std::size_t>(std::min<qsizetype>(text.size(), name_chars));
    std::memcpy(record + name_at, text.utf16(), count * sizeof(char16_t));
    return true;
}

} // namespace tarn
