#include "scan/recovery_item.h"

namespace tarn {

int register_recovery_item_type()
{
    static const int id = qRegisterMetaType<recovery_item_s>("recovery_item_s");
    return id;
}

} // namespace tarn
