#pragma once
// libblkid reads only from a descriptor. A disk image in a container format is handed to it as a
// sparse file in memory, as large as the disk, that holds the regions the probes read: both ends
// of the window probed, for a partition table the chain of extended boot records, for an NTFS
// volume the first records of its file table (where its label is). Everything else reads as
// zeros, which no probe takes for a signature.

#include "platform/byte_source.h"

#include <cstdint>

namespace tarn {

enum class stage_e { partition_table, filesystem };

// A descriptor of the staged copy of [offset, offset + size) of image at the same offsets, which
// the caller closes; -1 when it cannot be made or the image cannot be read.
int stage_probe_file(byte_source_c& image, std::uint64_t offset, std::uint64_t size, stage_e what);

} // namespace tarn
