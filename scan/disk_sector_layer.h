#pragma once
// The FAT module's sector layer: the machine's physical disks 0 to 9 opened for whole-sector
// reads under one process-wide lock, plus a background watcher that notices removed media.
// It never writes to a disk.

#include "platform/byte_source.h"
#include "platform/read_failures.h"

#include <cstdint>
#include <memory>
#include <span>

namespace tarn {

// Result codes of disk_read.
enum disk_result_e : int { disk_ok = 0, disk_error = 1, disk_not_ready = 3, disk_parameter_error = 4 };

// Status bits of disk_init and disk_status.
enum : std::uint8_t { disk_status_not_ready = 0x01, disk_status_write_protected = 0x04 };

inline constexpr std::uint32_t disk_max_drives = 10;
inline constexpr std::uint32_t disk_bounce_size = 0x10000;

// Opens physical drives 0, 1, ... up to the first gap, prints one line per drive and starts the
// media watcher. Returns the number of drives opened. Calling it again starts afresh.
int disk_enumerate();
// Closes and reopens every drive; the watcher keeps running. Returns the number of drives.
int disk_rescan();
// Stops and joins the media watcher and closes every drive. The program and every test that
// enumerated call it before they end.
void disk_shutdown();

std::uint8_t disk_init(std::uint32_t drive);
std::uint8_t disk_status(std::uint32_t drive);
// Reads count whole 512-byte sectors starting at sector into out (which must hold them). A
// read that fails or comes back short is disk_error, and its byte range is noted for the drive.
int disk_read(std::uint32_t drive, std::span<std::byte> out, std::uint64_t sector, std::uint32_t count);
// The byte ranges of the drive that failed to read since the last call, merged where they touch;
// the engine that read them logs them once, so that a dying disk does not log every sector.
read_failures_c disk_take_failures(std::uint32_t drive);

int disk_drive_count();

// Puts source into drive slot `drive` (0 to 9) in place of whatever it held, read-only: tests
// and fuzzers read volumes straight from memory this way. Drives below it that were never
// opened count as not ready. 0 on success, -1 for a bad slot or no source.
int disk_attach(std::uint32_t drive, std::unique_ptr<byte_source_c> source);

struct disk_geometry_s;
// The status a drive gets from its medium and geometry answers: not ready without a medium or
// geometry, or with sectors other than 512 bytes; write-protected when not writable.
std::uint8_t disk_status_from(bool medium_present, int geometry_result, const disk_geometry_s& geometry,
                              bool writable);

} // namespace tarn
