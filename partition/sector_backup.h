#pragma once
// Keeps a copy of every sector the partition table repair overwrites before it writes, so that
// a wrong repair can be undone.

#include "partition/sector_write.h"

#include <QString>

#include <span>

namespace tarn {

// The program's data folder ($XDG_DATA_HOME/TarnRecovery, by default ~/.local/share/TarnRecovery).
QString backup_folder();

// The most runs of sectors one backup file holds: what its index sector has room for.
inline constexpr std::size_t backup_max_runs = 31;

// Writes the runs' old content to a new file "<kind>-backup-<disk>-<UTC time>.bin" in
// backup_folder(), synced to storage. A backup of sector 0 alone is that sector's 512 bytes, as
// the MBR repair always kept it. Any other starts with an index sector: "TARNSECT", the number
// of runs (32 bits), then per run its first sector and its length in sectors (64 bits each), all
// little-endian; the runs' bytes follow in that order, so that run k starts at sector 1 plus the
// lengths before it. 0 and the file's path in saved_to, or -1 when the copy could not be kept.
int save_sector_backup(const QString& disk_path, const QString& kind, std::span<const sector_write_s> runs,
                       QString& saved_to);

} // namespace tarn
