#pragma once

#include <QString>

#include <cstdint>

namespace tarn {

// A byte count as a short text: "1024B", "1.50K", "12.34M", "1.00G". The thresholds are
// strict, so exactly 1024 bytes stays "1024B" and exactly 1 MiB reads "1024.00K".
QString format_size(std::uint64_t bytes);

} // namespace tarn
