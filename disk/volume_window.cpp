#include "disk/volume_window.h"

namespace tarn {

volume_window_c::volume_window_c(QObject* receiver) : QWidget(nullptr), receiver_(receiver)
{
    setObjectName(QStringLiteral("VolumeForm"));
}

const volume_item_s* volume_window_c::selected_volume()
{
    return nullptr;
}

void volume_window_c::show_volumes() {}

} // namespace tarn
