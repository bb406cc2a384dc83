#pragma once
// Turns any name the program uses for a disk or volume (a whole-disk path, a partition's
// device node, a volume path "\\?\Volume{ID}\", or an image volume "IMAGE.img#N") into the
// file to open and the byte window inside it.

#include <QString>

#include <cstdint>
#include <optional>

namespace tarn {

struct device_location_s {
    QString file;                 // what open(2) is given
    std::uint64_t offset = 0;     // start of the window in bytes
    std::optional<std::uint64_t> length; // window length; absent = to the end of the file
    std::int32_t partition_number = 0;   // 0 for a whole disk
    std::uint64_t start_on_disk = 0;     // where the volume begins on its disk, in bytes
    std::int32_t disk_number = -1;       // index in the physical drive order, -1 when not listed
    bool removable = false;
};

// Returns nothing when the name names no disk or volume that the platform knows.
std::optional<device_location_s> locate_device(const QString& name);

} // namespace tarn
