#pragma once
// The drive selection page: the list of physical disks with back, refresh and scan buttons,
// which reach the main window's slots.

#include "disk/drive_item.h"

#include <QWidget>

#include <memory>
#include <vector>

namespace Ui {
class DriveForm;
}

class QThread;

namespace tarn {

class drive_model_c;

class drive_window_c : public QWidget {
    Q_OBJECT
public:
    // receiver: the main window, whose on_click_drive_refresh(), on_click_drive_back() and
    // on_click_drive_scan() the buttons reach.
    explicit drive_window_c(QObject* receiver);
    // Waits for a running refresh.
    ~drive_window_c() override;

    // The disk of the current row as an entry of drive_list(), nullptr without a current row.
    const drive_item_s* selected_drive();
    // Shows drive_list() with row 1, the first disk, current.
    void show_drives();
    // Lists the disks again off the user-interface thread; the list shows them when
    // drives_refreshed() is emitted. No row is current afterwards.
    void refresh_drives();

signals:
    void drives_refreshed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void on_refresh_finished();
    // Sets a new model over drive_list() and deletes the previous one.
    void set_model();

    std::unique_ptr<Ui::DriveForm> ui_;
    drive_model_c* model_ = nullptr;
    std::unique_ptr<QThread> refresh_;
    std::vector<drive_item_s> refreshed_;
};

} // namespace tarn
