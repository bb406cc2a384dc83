#include "scan/recovery_control.h"

#include <chrono>
#include <thread>

namespace tarn {

void recovery_control_s::clear()
{
    pause = 0;
    stop = 0;
    clear_counters();
}

void recovery_control_s::clear_counters()
{
    progress = 0.0;
    read_count = 0;
    found_count = 0;
}

bool recovery_control_s::keep_running() const
{
    if (stop.load() != 0)
        return false;
    while (pause.load() != 0) {
        if (stop.load() != 0)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return stop.load() == 0;
}

} // namespace tarn
