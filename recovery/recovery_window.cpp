#include "recovery/recovery_window.h"

namespace tarn {

recovery_window_c::recovery_window_c(QObject* receiver) : QWidget(nullptr), receiver_(receiver)
{
    setObjectName(QStringLiteral("RecoveryForm"));
}

int recovery_window_c::start_scan(const volume_item_s&, bool)
{
    return -1;
}

int recovery_window_c::open_scan_file()
{
    return -1;
}

void recovery_window_c::abandon_scan() {}

void recovery_window_c::clear() {}

} // namespace tarn
