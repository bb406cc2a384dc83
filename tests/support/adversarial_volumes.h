#pragma once
// Volumes built to make a carver slow or noisy: records that are each a file's valid start and
// chain on to the volume's end without ever making a whole file, and text that repeats one small
// record. Each fills exactly size bytes (a multiple of 4 KiB); random_volume is the reference.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarn {

std::vector<std::byte> random_volume(std::size_t size);
// Empty TAR member headers, one per 512 bytes, with no end blocks.
std::vector<std::byte> tar_headers_volume(std::size_t size);
// 7z signature headers every 33 bytes, each naming an end header in the volume's last quarter.
std::vector<std::byte> sevenzip_signatures_volume(std::size_t size);
// RAR 4 blocks of 32 bytes chained from one signature and its main header to the end, each
// ending with a signature whose first block is the next one.
std::vector<std::byte> rar4_blocks_volume(std::size_t size);
// ZIP local headers every 64 bytes, each one's data reaching the next, the last past the end.
std::vector<std::byte> zip_locals_volume(std::size_t size);
// The text {"aaaaaaaaaa":1} over and over.
std::vector<std::byte> repeated_json_volume(std::size_t size);

} // namespace tarn
