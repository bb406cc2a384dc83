#pragma once
// The settings kept between runs: the chosen language, a recovery folder and the disk images
// opened lately, in
// "TarnRecovery.ini" (INI format): an existing one in the working directory or beside the
// program, else a new one in the working directory.

#include <QString>
#include <QStringList>

#include <optional>

class QSettings;

namespace tarn {

// Value of key recovery_folder; read at start and written back unchanged with every save.
extern QString recovery_folder;
// Value of key language: the name of the language file's section to load.
extern QString settings_language;

// The settings object, created by load_settings() and kept until the process ends.
QSettings* settings_store();

// Opens the settings file, settles the language (settings file, then the first-run value of
// the per-user store, then "English") and loads the language texts with English as the base.
// Needs no application object. Always 0.
int load_settings();
// Writes recovery_folder and settings_language and flushes the file. Always 0: a directory
// that cannot be written only loses the values.
int save_settings();
// Disk images opened lately, the newest first, at most max_recent_images; kept under key
// recent_images.
inline constexpr int max_recent_images = 8;
QStringList recent_images();
// Puts path first in recent_images() and writes the list at once. Always 0.
int remember_image(const QString& path);
// The language named by the first-run number in the per-user store (1 English … 10
// Português); nothing for a missing value or any other number.
std::optional<QString> registry_language();

} // namespace tarn
