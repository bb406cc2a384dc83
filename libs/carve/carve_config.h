#pragma once
// Which formats a scan looks for and how large each may be: every built-in format on at its
// default size, changed by the lines of the configuration file.

#include "libs/carve/carve_format.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace tarn {

struct carve_type_s {
    const carve_format_s* format;
    bool enabled = true;
    std::uint64_t largest = 0;
};

// The types in force for the next scan.
std::vector<carve_type_s>& carve_types();
// Reads path: lines "extension on|off [largest-bytes]", "#" starts a comment. A missing file
// leaves every type on at its default size; a bad line is reported on standard error and
// skipped. 0, or -1 when the file exists but cannot be read.
int load_carve_config(const QString& path);

} // namespace tarn
