#pragma once
// The process-wide list of physical disks. Entry 0 is a blank header entry; a disk's row is its
// device number plus one.

#include "disk/drive_item.h"

#include <QStringList>

#include <vector>

namespace tarn {

// Written by the start-up worker before it signals, afterwards only on the user-interface thread.
std::vector<drive_item_s>& drive_list();

// The header entry, then the disks of paths 0, 1, ... 9 up to the first that cannot be opened or
// measured. Touches no shared state, so it may run on any thread.
std::vector<drive_item_s> list_drives(const QStringList& paths);

// Refills drive_list() with list_drives() of the platform's disks. Returns 0.
int enumerate_drives();

void register_disk_meta_types();

} // namespace tarn
