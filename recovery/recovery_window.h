#pragma once
// PLACEHOLDER for the recovery page: it offers only the operations the main window calls and
// does nothing else. It has no scanners yet, so it refuses every scan and every scan file. The
// real page (scanners, folder tree, file table, preview, recovery) replaces this file pair.

#include "disk/volume_item.h"

#include <QWidget>

namespace tarn {

class recovery_window_c : public QWidget {
    Q_OBJECT
public:
    // receiver: the main window, which the page's back button will reach.
    explicit recovery_window_c(QObject* receiver);

    // Scans volume (by signature when deep). 0 when the scan started, -1 when refused.
    int start_scan(const volume_item_s& volume, bool deep);
    // Asks for a scan file and shows its results. 0 on success, -1 on failure or cancel.
    int open_scan_file();
    // Stops a running scan because the page is being left.
    void abandon_scan();
    // Empties the page: results, models, progress.
    void clear();

private:
    QObject* receiver_;
};

} // namespace tarn
