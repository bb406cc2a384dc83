#include "partition/partition_item.h"

namespace tarn {

void register_partition_item_type()
{
    qRegisterMetaType<partition_item_s>("partition_item_s");
}

} // namespace tarn
