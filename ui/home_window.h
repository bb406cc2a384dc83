#pragma once
// The first page of the main window: a button towards a new file scan, one that resumes a saved
// scan, and three lines of advice above a picture.

#include <QString>
#include <QWidget>

#include <memory>

namespace Ui {
class HomeForm;
}

namespace tarn {

class main_window_c;

class home_window_c : public QWidget {
    Q_OBJECT
public:
    // Built without a parent: the main window's layout adopts the page.
    explicit home_window_c(main_window_c* main_window);
    ~home_window_c() override;

    // Style sheet of a push button with three border images (normal, hover, pressed); the
    // paths are resource paths without their leading colon.
    static QString button_style(const QString& normal, const QString& hover, const QString& pressed);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The left edge of something width wide placed x from the left edge of a page laid out left
    // to right: the same when the page is, mirrored when it is laid out right to left.
    int visual_x(int x, int width) const;

    std::unique_ptr<Ui::HomeForm> ui_;
    main_window_c* main_window_;
};

} // namespace tarn
