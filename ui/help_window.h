#pragma once
// The help page in a window of the program's own, for a desktop that has no program to show a
// web page.

#include <QDialog>

#include <memory>

class QTextBrowser;

namespace Ui {
class HelpForm;
}

namespace tarn {

class help_window_c : public QDialog {
    Q_OBJECT
public:
    // Shows page (a local HTML file); the copy compiled into the program when page is missing.
    help_window_c(const QString& page, QWidget* parent);
    ~help_window_c() override;

    QTextBrowser* browser() const;

private:
    std::unique_ptr<Ui::HelpForm> ui_;
};

} // namespace tarn
