#pragma once
// The library's C++ side door: a scan context opened on any byte source (a buffer in memory for
// tests and fuzzers), and the step the C start-up call takes after resolving its device name.

#include "platform/byte_source.h"

#include <memory>

namespace tarn {

// As ntfs_scan_startup, on source. 0 on success, a negative NTFS_SCAN_ result on failure.
int ntfs_scan_startup_source(std::unique_ptr<byte_source_c> source, void* context);

} // namespace tarn
