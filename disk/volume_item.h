#pragma once
// A volume the file recovery can scan, as the volume list shows it: a value, copied freely.

#include <QMetaType>
#include <QString>

#include <cstdint>

namespace tarn {

struct volume_item_s {
    QString device;      // the volume's device name; empty in the header entry
    QString volume_path; // "\\?\Volume{ID}\", ending in a backslash
    QString label;
    QString fs_name;     // "NTFS", "FAT32", ...; empty when the file system is not known
    QString mount_path;  // first mount path; empty only in the header entry
    std::uint64_t total_bytes = 0;
    std::uint64_t free_bytes = 0;
    bool free_known = false; // an unmounted volume's free space is known only where it is counted
    std::int32_t partition_number = 0;
    std::int32_t disk_number = 0;
};

} // namespace tarn

Q_DECLARE_METATYPE(tarn::volume_item_s)
