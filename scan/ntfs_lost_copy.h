#pragma once
// Writes out the data of a file record found outside the MFT: its resident bytes, or its runs read
// from the volume (holes and bytes past the initialised size as zeros). A run outside the volume,
// a run list shorter than the file, compressed or encrypted data: the copy stops there and is
// reported incomplete, never whole.

#include "libs/ntfs_scan/ntfs_record_decode.h"
#include "platform/byte_source.h"

#include <QFile>

#include <cstdint>

namespace tarn {

// A recovery_result_e. out is open for writing.
std::int32_t copy_lost_file(byte_source_c& volume, std::uint64_t cluster_bytes, const ntfs_decoded_record_s& record,
                            QFile& out);

} // namespace tarn
