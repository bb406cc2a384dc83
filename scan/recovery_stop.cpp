#include "scan/recovery_stop.h"

#include "scan/recovery_control.h"

namespace tarn {

std::int32_t recovery_stop_c::get_stop()
{
    return stop_idle;
}

} // namespace tarn
