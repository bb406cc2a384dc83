#pragma once
// The dialogs that ask for a scan file to save or to open. Tests put a chooser in place of the
// dialogs, as they answer message boxes in place of a person.

#include <QString>

#include <functional>

class QWidget;

namespace tarn {

enum class file_choice_e { save, open };

// The file the user chose, empty when the dialog was cancelled. Caption "Save", starting in the
// working directory, for TarnRecovery scan files (*.sav) or any file.
QString choose_scan_file(QWidget* owner, file_choice_e choice);

using file_chooser = std::function<QString(file_choice_e)>;
// Replaces the dialogs (an empty function restores them).
void set_file_chooser(file_chooser chooser);

} // namespace tarn
