#pragma once
// The process-wide list of physical disks. Entry 0 is a blank header entry; a disk's row is its
// device number plus one.

#include "disk/drive_item.h"

#include <vector>

namespace tarn {

// Written by the start-up worker before it signals, afterwards only on the user-interface thread.
std::vector<drive_item_s>& drive_list();

// Refills drive_list() with the disks 0, 1, ... 9 up to the first that cannot be opened or
// measured. Returns 0.
int enumerate_drives();

void register_disk_meta_types();

} // namespace tarn
