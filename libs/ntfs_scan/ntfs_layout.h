#pragma once
// What a search of the whole volume for file records outside the MFT needs to know of the file
// system in place: its clusters, which of them are in use, and where the MFT has room it has not
// filled yet.

#include <cstdint>
#include <utility>
#include <vector>

struct TSK_FS_INFO; // the reader's open file system, inside the library only

namespace tarn {

struct ntfs_layout_s {
    std::uint64_t cluster_bytes = 0;
    std::uint64_t clusters = 0;
    std::vector<std::uint8_t> bitmap; // $Bitmap: bit c of byte c / 8 set = cluster c in use
    // Byte ranges (offset, length) of the volume inside the MFT's clusters but past its end: room
    // the MFT holds for records it has not written, where an earlier MFT's records may remain.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> mft_tail;
};

// Reads the layout of the file system fs. 0, or a negative NTFS_SCAN_ result.
int read_ntfs_layout(TSK_FS_INFO* fs, ntfs_layout_s& out);

} // namespace tarn
