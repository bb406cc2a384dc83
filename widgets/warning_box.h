#pragma once
// Every message or question the program puts to the user: a modal box with the program's icon,
// a title, a text from the language table and the requested buttons.

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QWidget;

namespace tarn {

struct warning_request_s {
    QString title;
    std::string key;   // language key of the text
    QString text;      // the text shown, language_text(key)
    QMessageBox::StandardButtons buttons;
    QWidget* owner = nullptr;
    QString detail;    // shown below the text, rich text allowed; empty for none
    QMessageBox::StandardButton default_button = QMessageBox::NoButton; // NoButton: the box's own choice
    QString details;   // behind the box's details button (a long list); empty for none
};

// What some boxes add to the keyed text.
struct warning_extra_s {
    QString detail;
    QMessageBox::StandardButton default_button = QMessageBox::NoButton;
    QStringList arguments; // fill the text's %1, %2, …
    QString details;
    // Buttons whose captions come from the language table instead of the toolkit's.
    std::vector<std::pair<QMessageBox::StandardButton, std::string>> button_keys;
};

// Shows the box and waits for the answer: the button the user chose. With no buttons
// requested the box offers OK.
QMessageBox::StandardButton warning_box(const QString& title, std::string_view key,
                                        QMessageBox::StandardButtons buttons, QWidget* owner,
                                        const warning_extra_s& extra = {});

// Answers every box in place of the user while set; an empty function restores the real box.
// Tests use it so that no box waits for a person.
using warning_answerer = std::function<QMessageBox::StandardButton(const warning_request_s&)>;
void set_warning_answerer(warning_answerer answerer);

} // namespace tarn
