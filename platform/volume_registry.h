#pragma once
// The names under which the last volume enumeration found each volume, so that a volume path
// or an image volume's device name can be opened later from any thread.

#include "platform/device_location.h"

#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace tarn {

void replace_volume_registry(std::vector<std::pair<QString, device_location_s>> names);
std::optional<device_location_s> find_registered_volume(const QString& name);
// The volume path ("\\?\Volume{ID}\") of partition `partition` of physical disk `disk` in the last
// enumeration, or of a found partition; empty when there is none.
QString registered_volume_path(int disk, int partition);
// Keeps a partition the search found for the rest of the run (enumerations leave it alone) under
// a number of its disk above any the system gives, so that what names volumes by disk and
// partition numbers reaches it too; the number (the same for a name kept before).
int register_found_volume(const QString& name, device_location_s location);

} // namespace tarn
