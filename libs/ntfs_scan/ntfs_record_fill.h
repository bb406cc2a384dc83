#pragma once
// One MFT entry as the library's 576-byte file record.

#include <tsk/libtsk.h>

#include <cstddef>

namespace tarn {

// Fills record (576 bytes, zeroed by the caller) from meta; false when the entry has no name
// (no $FILE_NAME), which the scan does not deliver.
bool fill_ntfs_record(const TSK_FS_META& meta, std::byte* record);

} // namespace tarn
