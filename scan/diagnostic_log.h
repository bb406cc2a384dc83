#pragma once
// Error diagnostics of the engines: an append-only log file and standard error. Nothing of it
// is shown in the window.

namespace tarn {

// Appends "<time>  [unit:line] message\n" to the log file (skipped silently when the file
// cannot be opened) and writes "ERROR: [unit:line] message\n" to standard error. Never fails.
void log_error(const char* unit, int line, const char* format, ...) __attribute__((format(printf, 3, 4)));

} // namespace tarn
