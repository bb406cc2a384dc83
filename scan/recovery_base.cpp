#include "scan/recovery_base.h"

#include "scan/recovery_control.h"

namespace tarn {

std::int32_t recovery_base_c::get_stop()
{
    return stop_idle;
}

std::int32_t recovery_base_c::get_file_path(std::uint64_t, QString&)
{
    return 0;
}

std::int64_t recovery_base_c::get_found_count()
{
    return 0;
}

} // namespace tarn
