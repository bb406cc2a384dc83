#pragma once
// What the last deep scan could not read, for the engine that ran it to log: the library's C
// interface has no room for it, and the library itself does not log.

#include "platform/read_failures.h"

namespace tarn {

// The byte ranges of the volume whose reads failed during the last carve_scan (blocks passed
// over, and reads of the files measured); emptied by the call.
read_failures_c carve_take_unreadable();

} // namespace tarn
