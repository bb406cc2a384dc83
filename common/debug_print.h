#pragma once

namespace tarn {

// printf-style diagnostic text for the terminal on standard output; dropped when there is none.
void debug_print(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace tarn
