#pragma once
// The drive list as a list model: row r is entry r of the list it refers to (row 0 the header
// entry). It does not copy the list; a changed list gets a new model.

#include "disk/drive_item.h"
#include "widgets/record_list_model.h"

#include <vector>

namespace tarn {

class drive_model_c : public record_list_model_c<drive_item_s> {
public:
    // Views and testers that ask for the display text get the drive's path.
    explicit drive_model_c(const std::vector<drive_item_s>& drives, QObject* parent = nullptr)
        : record_list_model_c(drives, [](const drive_item_s& d) { return d.path; }, parent)
    {
    }
};

} // namespace tarn
