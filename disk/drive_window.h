#pragma once
// PLACEHOLDER for the drive selection page: it offers only the operations the main window calls
// and does nothing else. It has no list and no buttons yet; it only keeps the row the real page
// would make current. The real page (list of disks, refresh, back and scan buttons wired to the
// main window's slots) replaces this file pair.

#include "disk/drive_item.h"

#include <QWidget>

namespace tarn {

class drive_window_c : public QWidget {
    Q_OBJECT
public:
    // receiver: the main window, which the page's buttons will reach.
    explicit drive_window_c(QObject* receiver);

    // The disk of the current row as an entry of drive_list(), nullptr without a current row.
    const drive_item_s* selected_drive();
    // Shows drive_list() with row 1, the first disk, current.
    void show_drives();
    // Lists the disks again; no row is current afterwards.
    void refresh_drives();

private:
    QObject* receiver_;
    int current_row_ = -1;
};

} // namespace tarn
