#pragma once
// What the last deep scan could not read or passed over, for the engine that ran it to log: the library's C
// interface has no room for it, and the library itself does not log.

#include "platform/read_failures.h"

namespace tarn {

// The byte ranges of the volume whose reads failed during the last carve_scan (blocks passed
// over, and reads of the files measured); emptied by the call.
read_failures_c carve_take_unreadable();

// How many candidates the last carve_scan passed over because measuring them would have cost more
// than the scan's budget (a volume built to slow the scan); emptied by the call.
std::uint64_t carve_take_cut_off();

} // namespace tarn
