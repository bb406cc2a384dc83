#pragma once
// The program's window frame: no system frame, a per-pixel-alpha face that the window paints
// itself (shadowed border, title band, title, logo) and seven painted buttons: three tabs in the
// title band and close, maximize, minimize and settings in the top right corner.

#include "ui/button.h"

#include <QPixmap>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <vector>

class QMenu;

namespace tarn {

class QSkinWidgetResizeHandler;

class QSkinWidget : public QWidget {
    Q_OBJECT
    friend class QSkinWidgetResizeHandler;

public:
    using skin_button = button_c<QSkinWidget>;

    explicit QSkinWidget(QWidget* parent = nullptr);
    ~QSkinWidget() override;

    // Supplied by the window that owns the pages.
    virtual void showPage(int index) = 0;
    virtual void resetScan() = 0;

    // The painted buttons in creation order: tab 1, tab 2, tab 3, close, maximize, minimize,
    // settings.
    enum button_e { tab1, tab2, tab3, close_button, maximize_button, minimize_button, settings_button };
    const skin_button& button(button_e which) const { return *buttons_[which]; }
    // True when point (window pixels) lies on any painted button.
    bool hitsButton(const QPoint& point) const;

    bool frameStale() const { return frame_stale_; }
    const QPixmap& frameImage() const { return frame_; }
    // False while the window fills the screen's available area through the maximize button.
    bool isNormalSize() const { return normal_; }
    QMenu* settingsMenu() const { return menu_; }
    QSkinWidgetResizeHandler* resizeHandler() const { return handler_; }

signals:
    void aboutToClose();
    // The settings menu's "Open disk image…" (path empty: the user is to choose files) or one of
    // its recent images (that path).
    void imageRequested(const QString& path);

public slots:
    void updateStyle();
    void setLayered();
    void updateAlpha();
    virtual void on_click_close() = 0;
    virtual void on_click_help() = 0;
    virtual void on_click_language() = 0;

protected:
    // The tab buttons (1 to 3) of the title band.
    virtual void on_click_tab(int tab) = 0;

    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createButtons();
    void createSettingsMenu();
    // Lists the recent images in their submenu, which is disabled while there are none.
    void fillRecentImages();
    void clickTab1() { on_click_tab(1); }
    void clickTab2() { on_click_tab(2); }
    void clickTab3() { on_click_tab(3); }
    void maximize();
    void restore();
    void minimize();
    void openSettingsMenu();
    void drawButtons();

    bool frame_stale_ = true;
    bool painting_ = false;
    QPixmap frame_;
    QSkinWidgetResizeHandler* handler_ = nullptr;
    std::vector<std::unique_ptr<skin_button>> buttons_;
    QPixmap logo_;
    QMenu* menu_ = nullptr;
    QMenu* recent_ = nullptr;
    QRect saved_geometry_;
    bool normal_ = true;
    QTimer repaint_timer_;
};

} // namespace tarn
