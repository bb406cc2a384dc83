#pragma once
// The library's C++ side door: a scan context opened on any byte source (a buffer in memory for
// tests and fuzzers), and the step the C start-up call takes after resolving its device name;
// and what the open context could not read, for the engine to log.

#include "libs/ntfs_scan/ntfs_layout.h"
#include "platform/byte_source.h"
#include "platform/read_failures.h"

#include <cstdint>
#include <memory>

namespace tarn {

// As ntfs_scan_startup, on source. 0 on success, a negative NTFS_SCAN_ result on failure.
int ntfs_scan_startup_source(std::unique_ptr<byte_source_c> source, void* context);

// The byte ranges of the volume whose reads failed since the last call on this open scan
// context (MFT entries skipped by ntfs_scan_next, data of a file ntfs_scan_recover could not
// copy); nothing when no context is open.
read_failures_c ntfs_scan_take_failures(void* context);

// The free space of the NTFS volume on source, counted from its cluster bitmap ($Bitmap): 0 and
// free_bytes set, or a negative NTFS_SCAN_ result.
int ntfs_count_free(std::unique_ptr<byte_source_c> source, std::uint64_t& free_bytes);

// The layout of the volume of an open scan context (cluster size and count, $Bitmap, the room past
// the MFT's end): 0, or a negative NTFS_SCAN_ result.
int ntfs_scan_layout(void* context, ntfs_layout_s& out);

// The volume under an open scan context, for reads the library's calls do not make (the search
// for file records outside the MFT, the copy of a file found there); null when none is open.
// Valid until the context is closed.
byte_source_c* ntfs_scan_volume(void* context);

} // namespace tarn
