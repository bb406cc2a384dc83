#pragma once
// Process-wide flags that the user-interface thread reads while workers run.

#include <atomic>

namespace tarn {

// 0 until the start-up worker has filled the drive and volume lists, then 1 for good.
extern std::atomic<int> init_done;

} // namespace tarn
