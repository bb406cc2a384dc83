#pragma once
// The scan itself: the volume read once, front to back, in large blocks; at every byte offset the
// formats whose header starts with that byte are tried; a file found is reported and skipped
// whole (nothing inside a carved file is reported again). Memory stays flat whatever the size.

#include "libs/carve/carve_config.h"
#include "platform/byte_source.h"

#include <functional>

namespace tarn {

// The scan block's fields the scan reads and writes (another thread sets pause and stop).
struct carve_progress_s {
    double* progress;
    std::int32_t* pause;
    std::int32_t* stop;
};

// The marks an extension gets for a file cut at its last valid point and for a file joined from
// two fragments ("jpg~p", "zip~j").
constexpr const char* carve_partial_mark = "~p";
constexpr const char* carve_joined_mark = "~j";

// Called per file found: its extension (with its mark), its offset and what was found there (its
// size is found.total(); a joined file's second piece is in found).
using carve_sink = std::function<void(const char* extension, std::uint64_t offset, const carve_found_s& found)>;

// Scans source for the enabled types. Blocks that cannot be read are passed over. The number of
// candidates passed over because measuring them cost more than the scan's budget (see carver.cpp).
std::uint64_t carve_source(byte_source_c& source, const std::vector<carve_type_s>& types, const carve_progress_s& control,
                           const carve_sink& sink);

} // namespace tarn
