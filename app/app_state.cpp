#include "app/app_state.h"

namespace tarn {

std::atomic<int> init_done{0};

} // namespace tarn
