#include "partition/partition_window.h"

namespace tarn {

partition_window_c::partition_window_c(QObject* receiver) : QWidget(nullptr), receiver_(receiver)
{
    setObjectName(QStringLiteral("PartitionForm"));
}

int partition_window_c::start_search(const drive_item_s&)
{
    return 0;
}

void partition_window_c::stop_search() {}

} // namespace tarn
