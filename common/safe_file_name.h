#pragma once
// Names read from a disk are hostile: before one becomes a file name in a folder the user chose
// (or in the temporary folder), it is made into a single plain name that cannot leave it.

#include <QString>

namespace tarn {

// Longest safe name in UTF-8 bytes: below the 255 of Linux file systems, leaving room for a
// suffix that tells two equal names apart ("~1234", " (2)").
inline constexpr int safe_file_name_max_bytes = 200;

// Path separators ("/", "\"), control characters and DEL become "_"; an empty name, "." and
// ".." get a "_" in front; a name longer than safe_file_name_max_bytes is shortened, keeping
// its extension when that is short. The result is never empty and never names a folder.
QString safe_file_name(const QString& name);

} // namespace tarn
