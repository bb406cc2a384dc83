#pragma once
// Small services of the operating system that the program needs.

#include <QString>

#include <memory>

class QLockFile;

namespace tarn {

bool is_admin();

// Held for the life of the process, in a folder only this user may write; nullptr when another
// process holds it or the lock cannot be taken at all, and why, when given, says which. The
// operating system releases it when the process dies.
std::unique_ptr<QLockFile> single_instance_lock(const QString& name, QString* why = nullptr);

// The disk tool the program starts at start-up has no counterpart here.
void launch_disk_tool();

// True when standard output is a terminal (asked once) and the console was not detached.
bool console_attached();
// Writes to standard output when the console is attached; otherwise the text is dropped.
void console_write(const QString& text);
// Drops every later console text: a program whose standard output carries its results (the
// command line's rows) keeps the window program's diagnostic lines out of them.
void detach_console();

// A per-user value kept outside the program's own settings file (the first-run language).
QString user_value(const QString& key, const QString& name);
int set_user_value(const QString& key, const QString& name, const QString& value);

// Full path of the diagnostic log file; its folder is created when missing.
QString log_file_path(const QString& name);
// Appends bytes to the file at path in one write, creating it (mode 0600) when missing; a link
// under that name is refused, never followed. 0, or -1 when it could not be written.
int append_to_file(const QString& path, const QByteArray& bytes);
QString system_root();
QString temp_dir();
// A folder only this user can enter (mode 0700), made on first use and removed with everything
// in it when the process ends; empty when it cannot be made. Previews of deleted documents go
// here, never into the shared temporary folder.
QString private_temp_dir();

// The folder of the running executable (works before any application object exists).
QString executable_dir();
// Where the program's data file name is found: the working directory first, then beside the
// executable, then the installed data folder; name itself (the working directory) when none has it.
QString data_file_path(const QString& name);

// True when folder lies on the file system of the volume named by device.
bool same_volume(const QString& folder, const QString& device);

} // namespace tarn
