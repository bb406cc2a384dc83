#include "common/app_state.h"

namespace tarn {

std::atomic<int> init_done{0};
std::atomic<bool> scan_running{false};

} // namespace tarn
