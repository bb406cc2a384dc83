#pragma once
// The found partitions as a list model, one row per partition in the order found. It refers to
// a list it does not own; a changed list gets a new model.

#include "partition/partition_item.h"
#include "widgets/record_list_model.h"

#include <vector>

namespace tarn {

class partition_model_c : public record_list_model_c<partition_item_s> {
public:
    // Views and testers that ask for the display text get the partition's file-system name.
    explicit partition_model_c(const std::vector<partition_item_s>& partitions, QObject* parent = nullptr)
        : record_list_model_c(partitions, [](const partition_item_s& p) { return p.fs_name; }, parent)
    {
    }
};

} // namespace tarn
