#pragma once
// The library's C++ side door: a scan context opened on any byte source (a buffer in memory for
// tests and fuzzers), and the step the C start-up call takes after resolving its device name;
// and what the open context could not read, for the engine to log.

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

} // namespace tarn
