#pragma once
// Which engine scans a volume: signatures when a deep scan was asked for, else the engine of the
// volume's file system. Other file systems cannot be scanned.

#include "disk/volume_item.h"

namespace tarn {

// A scanner_kind_e, or -1 when no engine reads the volume's file system.
int choose_scanner_kind(const volume_item_s& volume, bool deep);
// Whether this build has an engine of that kind: a kind without one is said to be unavailable,
// never run as an empty scan.
bool scanner_available(int kind);

} // namespace tarn
