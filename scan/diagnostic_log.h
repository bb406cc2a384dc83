#pragma once
// Error diagnostics of the engines: an append-only log file and standard error. Nothing of it
// is shown in the window.

namespace tarn {

class read_failures_c;

// Appends "<time>  [unit:line] message\n" to the log file (skipped silently when the file
// cannot be opened) and writes "ERROR: [unit:line] message\n" to standard error. Never fails.
void log_error(const char* unit, int line, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Logs what a pass over a disk could not read: one line per unreadable range, with its byte
// offset and length, then one line with the number of failed reads (and of ranges not listed).
// Nothing when every read succeeded.
void log_unreadable(const char* unit, int line, const char* what, const read_failures_c& failures);

} // namespace tarn
