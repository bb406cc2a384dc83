#pragma once
// One scan of an engine, timed from a cold page cache, as the benchmarks compare them.

#include "disk/volume_item.h"

#include <QString>

namespace tarn {
class recovery_base_c;
}

namespace tarn::bench {

// Seconds engine takes to reset, scan volume (whose bytes are image's) and end.
double timed_scan(recovery_base_c& engine, const volume_item_s& volume, const QString& image);

} // namespace tarn::bench
