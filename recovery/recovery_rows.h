#pragma once
// The page's row list: the files of the folder shown, in display order. The file table reads
// and reorders it in place; extraction works on its own copy.

#include "scan/recovery_item.h"

#include <vector>

namespace tarn {

using recovery_rows = std::vector<recovery_item_s>;

} // namespace tarn
