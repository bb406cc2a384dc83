#pragma once
// The top-level boxes of an ISO base media file (MP4, QuickTime, HEIF and AVIF share the layout).

#include "libs/carve/carve_format.h"

namespace tarn {

struct iso_walk_s {
    std::uint64_t end = 0; // where the walk stopped: past the last top-level box
    bool movie = false;    // a "moov" box was seen
    bool media = false;    // an "mdat" box
    bool meta = false;     // a "meta" box
};

// Walks the top-level boxes from start (32-bit sizes, or 64-bit ones when the size says 1). The
// walk ends where the next box is not a known top-level box, is cut off by stop, or is another
// file's "ftyp".
iso_walk_s iso_walk(carve_reader_c& in, std::uint64_t start, std::uint64_t stop);

// The major brand of the "ftyp" box at start, when that box is of sane size; 0 otherwise.
std::uint32_t iso_major_brand(carve_reader_c& in, std::uint64_t start);
// Whether brand is the major brand or one of the compatible brands of the "ftyp" box at start.
bool iso_has_brand(carve_reader_c& in, std::uint64_t start, std::uint32_t brand);

} // namespace tarn
