#pragma once
// Keeps a copy of a disk's sector 0 before the partition table repair overwrites it, so that a
// wrong repair can be undone.

#include <QString>

#include <cstddef>
#include <span>

namespace tarn {

// The program's data folder ($XDG_DATA_HOME/TarnRecovery, by default ~/.local/share/TarnRecovery).
QString backup_folder();

// Writes `sector` to a new file "mbr-backup-<disk>-<UTC time>.bin" in backup_folder(), synced to
// storage. 0 and the file's path in saved_to, or -1 when the copy could not be kept.
int save_sector_backup(const QString& disk_path, std::span<const std::byte> sector, QString& saved_to);

} // namespace tarn
