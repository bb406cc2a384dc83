#pragma once
// A partition the lost-partition search found, addressed as a volume without writing anything:
// its name carries the disk and the sectors, so that every engine opens it as it opens a listed
// partition (the disk read through a window), in this run and in a later one that reopens a scan
// file. Such a volume is never opened for writing.

#include "platform/device_location.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace tarn {

// "\\?\Volume{found:START+SECTORS:DISK}\": 512-byte sectors from START on the disk named DISK.
QString found_volume_path(const QString& disk, std::uint64_t start_sector, std::uint64_t sectors);
bool is_found_volume_path(const QString& name);
// The window of the disk that a found-volume name gives; nothing when the name is no such name,
// its numbers do not parse or overflow, or its disk is unknown or itself a partition.
std::optional<device_location_s> locate_found_volume(const QString& name);

} // namespace tarn
