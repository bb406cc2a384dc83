#pragma once
// The program's only top-level window: the skinned frame around five pages that share one
// place (home, volume selection, drive selection, partition search, file recovery). It decides
// every move between pages and every confirmation that guards one.

#include "disk/volume_item.h"
#include "ui/skin_widget.h"

#include <QPointer>

#include <memory>

namespace Ui {
class MainForm;
}

namespace tarn {

class home_window_c;
class volume_window_c;
class drive_window_c;
class partition_window_c;
class recovery_window_c;
class help_window_c;
class image_opener_c;

class main_window_c : public QSkinWidget {
    Q_OBJECT
public:
    enum page_e { home_page = 0, volume_page = 1, drive_page = 2, partition_page = 3, recovery_page = 4 };

    explicit main_window_c(QWidget* parent = nullptr);
    ~main_window_c() override;

    // Hides the current page and shows the page of that index (page_e); other indexes show
    // nothing new.
    void showPage(int index) override;
    // Stops a running scan of the recovery page and empties it.
    void resetScan() override;

    QWidget* currentPage() const { return current_; }
    // The page of that index, nullptr outside 0..4.
    QWidget* page(int index) const;
    // When set, the next file scan from the volume page carves by signature whatever the file
    // system.
    bool rawScan() const { return raw_scan_; }

public slots:
    void on_click_home_start();
    void on_click_home_resume();
    void on_click_volume_back();
    void on_click_recovery_back();
    void on_click_volume_refresh();
    void on_click_volume_scan();
    void on_click_drive_scan();
    void on_click_drive_refresh();
    void on_click_drive_back();
    void on_click_partition_back();
    void on_scan_find(const tarn::volume_item_s& volume, bool deep);
    // The drive and volume pages' "Open image…" buttons and the settings menu's entry.
    void on_click_open_image();
    // Reached on the user-interface thread once the start-up worker has filled the lists.
    void on_init_finished();

    void on_click_close() override;
    void on_click_help() override;
    void on_click_language() override;

protected:
    void on_click_tab(int tab) override;

private:
    // Opens the chosen image files, or path when one is given, as disks; the pages list them
    // once they are open.
    void openImages(const QString& path);
    void onImagesOpened(int count);
    // False, after telling the user, while start-up is still reading the disks.
    bool startupDone();
    // False when a scan is running and the user chose not to leave it.
    bool leaveScanConfirmed();

    std::unique_ptr<Ui::MainForm> ui_;
    QWidget* current_ = nullptr;
    home_window_c* home_ = nullptr;
    volume_window_c* volume_ = nullptr;
    drive_window_c* drive_ = nullptr;
    partition_window_c* partition_ = nullptr;
    recovery_window_c* recovery_ = nullptr;
    // The program's own help window, while it is open.
    QPointer<help_window_c> help_;
    image_opener_c* opener_ = nullptr;
    bool raw_scan_ = false;
    // The recovery page scans a partition the search found: Back returns to the search's page.
    bool scanning_find_ = false;
};

// Where the help page that ships with the program lies.
QString help_page_path();

} // namespace tarn
