#pragma once
// The process-wide list of volumes that the file recovery can scan, sorted by mount path.
// Entry 0 is a blank header entry.

#include "disk/volume_item.h"
#include "platform/volume_facts.h"

#include <vector>

namespace tarn {

// Written by the start-up worker before it signals, afterwards only on the user-interface thread.
std::vector<volume_item_s>& volume_list();

void enumerate_volumes();

// The list's rules over given facts: filters, numbers from the volume's own handle, order.
std::vector<volume_item_s> build_volume_list(const std::vector<volume_facts_s>& facts, bool admin);

} // namespace tarn
