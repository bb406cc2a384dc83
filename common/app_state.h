#pragma once
// Process-wide flags that the user-interface thread reads while workers run.

#include <atomic>

namespace tarn {

// 0 until the start-up worker has filled the drive and volume lists, then 1 for good.
extern std::atomic<int> init_done;
// True from the start of a file scan until the recovery page has handled its end; leaving the
// recovery flow or quitting asks first while it is set.
extern std::atomic<bool> scan_running;

} // namespace tarn
