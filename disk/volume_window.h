#pragma once
// PLACEHOLDER for the volume selection page: it offers only the operations the main window calls
// and does nothing else. It has no list and no buttons yet, so no volume is ever selected. The
// real page (list of volumes, refresh, back and scan buttons wired to the main window's slots)
// replaces this file pair.

#include "disk/volume_item.h"

#include <QWidget>

namespace tarn {

class volume_window_c : public QWidget {
    Q_OBJECT
public:
    // receiver: the main window, which the page's buttons will reach.
    explicit volume_window_c(QObject* receiver);

    // The volume of the selected row, or nullptr when none is selected.
    const volume_item_s* selected_volume();
    // Shows the volumes of volume_list().
    void show_volumes();

private:
    QObject* receiver_;
};

} // namespace tarn
