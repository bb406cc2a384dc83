#include "disk/drive_window.h"

#include "disk/drive_enumeration.h"

namespace tarn {

drive_window_c::drive_window_c(QObject* receiver) : QWidget(nullptr), receiver_(receiver)
{
    setObjectName(QStringLiteral("DriveForm"));
}

const drive_item_s* drive_window_c::selected_drive()
{
    const auto& drives = drive_list();
    if (current_row_ < 0 || static_cast<std::size_t>(current_row_) >= drives.size())
        return nullptr;
    return &drives[static_cast<std::size_t>(current_row_)];
}

void drive_window_c::show_drives()
{
    current_row_ = 1;
}

void drive_window_c::refresh_drives()
{
    enumerate_drives();
    current_row_ = -1;
}

} // namespace tarn
