#pragma once
// The control block an engine shares with the page that drives it: written and read from two
// threads without a lock, so every field is atomic.

#include <atomic>
#include <cstdint>

namespace tarn {

// Stop codes: 0 keep running, 1 idle engine, 2 abandon (findings dropped), 3 stop button
// (findings kept). The engine loop does not tell 2 from 3; only the page does.
enum stop_code_e : std::int32_t { stop_none = 0, stop_idle = 1, stop_abandon = 2, stop_keep = 3 };

struct recovery_control_s {
    std::atomic<double> progress{0.0};
    std::atomic<std::int32_t> pause{0};
    std::atomic<std::int32_t> stop{0};
    std::atomic<std::int64_t> read_count{0};
    std::atomic<std::int64_t> found_count{0};

    void clear();
    // Progress and counts only: a pause or stop requested before a scan's thread begins must
    // still count when it does.
    void clear_counters();
    // Called by the engine before each entry: false when the loop must end. While paused it
    // looks at the stop code every 100 ms, so a stop ends even a paused scan.
    bool keep_running() const;
};

} // namespace tarn
