#pragma once
// TIFF and the camera raw files built on it: a walk over the image file directories.

#include "libs/carve/carve_format.h"

namespace tarn {

enum class tiff_kind_e { tiff, cr2, nef, arw, dng };

// The file that starts at start when it is a TIFF of the given kind (a plain TIFF is any TIFF).
// Its end is the furthest byte any directory, value, strip, tile or embedded preview reaches.
carve_found_s tiff_measure(carve_reader_c& in, std::uint64_t start, std::uint64_t limit, tiff_kind_e kind);

} // namespace tarn
