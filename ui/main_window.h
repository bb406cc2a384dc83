#pragma once
// The main window. For now a plain window that lists what start-up found; the skinned shell
// with its pages takes its place.

#include <QWidget>

class QPlainTextEdit;

namespace tarn {

class main_window_c : public QWidget {
    Q_OBJECT
public:
    explicit main_window_c(QWidget* parent = nullptr);

public slots:
    // Reached on the user-interface thread once the start-up worker has filled the lists.
    void on_init_finished();

private:
    QPlainTextEdit* summary_;
};

} // namespace tarn
