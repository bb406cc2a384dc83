#pragma once
// What the window tests share: a temporary working directory with a small language file, the
// settings loaded from it, message boxes answered in place of a person and a desktop shell that
// only records what it was asked to open.

#include "widgets/warning_box.h"

#include <QMessageBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <deque>
#include <string>
#include <vector>

namespace tarn::test {

class shell_fixture {
public:
    // Writes the language file, points the per-user store into the temporary directory and runs
    // load_settings() there.
    shell_fixture();
    ~shell_fixture();
    shell_fixture(const shell_fixture&) = delete;
    shell_fixture& operator=(const shell_fixture&) = delete;

    // Every box asked for since the last call, oldest first.
    std::vector<warning_request_s> take_boxes();
    // The answers the next boxes get, in order; OK once they run out.
    void answer_next(QMessageBox::StandardButton answer) { answers_.push_back(answer); }
    const std::vector<QUrl>& opened() const { return opened_; }
    QString path(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
    QString previous_dir_;
    std::vector<warning_request_s> boxes_;
    std::deque<QMessageBox::StandardButton> answers_;
    std::vector<QUrl> opened_;
};

// Answers the next folder dialog with folder as soon as it is shown.
void answer_folder_dialog(const QString& folder);

// The keys of the boxes, for short comparisons.
QStringList keys_of(const std::vector<warning_request_s>& boxes);

} // namespace tarn::test
