#pragma once
// PLACEHOLDER for the partition search page: it offers only the operations the main window calls
// and does nothing else. It does not search yet. The real page (search thread, progress, list of
// found partitions, stop, repair and back buttons) replaces this file pair.

#include "disk/drive_item.h"

#include <QWidget>

namespace tarn {

class partition_window_c : public QWidget {
    Q_OBJECT
public:
    // receiver: the main window, which the page's back button will reach.
    explicit partition_window_c(QObject* receiver);

    // Starts searching drive for lost partitions. 0 when started.
    int start_search(const drive_item_s& drive);
    // Stops a running search at once.
    void stop_search();

private:
    QObject* receiver_;
};

} // namespace tarn
