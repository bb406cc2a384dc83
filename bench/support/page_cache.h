#pragma once
// A benchmark reads an image from the disk as a recovery would, not from memory.

#include <QString>

#include <cstdint>

namespace tarn::bench {

// Writes the file's dirty pages first (their writing back would slow whichever run came first),
// then asks the kernel to forget its cached ones.
void drop_cached(const QString& path);

// Seconds a plain sequential read of bytes at offset of the file takes, in 1 MiB blocks, from a
// cold page cache: the reference an extraction is measured against.
double plain_read_seconds(const QString& path, std::uint64_t offset, std::uint64_t bytes);

} // namespace tarn::bench
