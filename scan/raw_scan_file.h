#pragma once
// The scan file of a deep scan: a 256-byte header holding the scanned volume's path (zero-
// terminated, zero-padded), then one 32-byte record per hit (sequence, offset, size as
// little-endian 64-bit numbers, the extension zero-padded to 8 bytes). No magic, no version:
// files written this way by any version stay readable.

#include "scan/raw_hit.h"

#include <QString>

#include <vector>

namespace tarn {

inline constexpr std::size_t scan_file_header_bytes = 256;
inline constexpr std::size_t scan_file_record_bytes = 32;

// Writes the hits of a scan of device_path to path. 0, or -1 when there are no hits, the path is
// too long for the header, or the file cannot be written whole.
int save_scan_file(const QString& path, const QString& device_path, const std::vector<raw_hit_s>& hits);

// Reads path: the volume path of its header, and its hits. Empty when the file cannot be read,
// its length is not 256 + 32 N with N at least 1, or its sequence numbers are not 0, 1, 2, ...
// (a reader must never list a hit by a number it does not hold).
QString load_scan_file(const QString& path, std::vector<raw_hit_s>& hits);

// Whether a volume is the one a scan file names (its header keeps the path without the last
// backslash). Whole paths only: "img#1" does not name "img#10".
inline bool scan_file_names_volume(const QString& saved, const QString& volume_path)
{
    return !saved.isEmpty() && (volume_path == saved || volume_path == saved + QLatin1Char('\\'));
}

} // namespace tarn
