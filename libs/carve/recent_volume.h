#pragma once
// The volume the last recovery read, kept open for the next one. Recovering the hits of a deep
// scan opens the volume once per file; opening it probes its container format (and an E01 or
// VMDK parses its segment tables) each time, which cost as much as copying most small files.

#include "platform/device.h"

#include <sys/stat.h>

#include <memory>
#include <mutex>
#include <string>

namespace tarn {

class recent_volume_c {
public:
    // The volume of that name: the one kept while its file is still the one it opened (same
    // device, inode and times), else a fresh one, kept in its place. Null when it cannot be opened.
    std::shared_ptr<device_c> open(const std::string& name);
    // Closes the one kept (a new scan of the volume begins).
    void forget();

private:
    std::mutex mutex_;
    std::string name_;
    struct stat identity_ {};
    std::shared_ptr<device_c> device_;
};

recent_volume_c& recent_volume();

} // namespace tarn
