#pragma once
// A physical disk as the drive list shows it: a value, copied freely.

#include "platform/disk_geometry.h"

#include <QMetaType>
#include <QString>

#include <cstdint>
#include <optional>

namespace tarn {

struct drive_item_s {
    QString path;            // the platform's name of the disk; empty in the header entry
    std::uint64_t size = 0;  // bytes, the whole disk; 0 in the header entry
    std::optional<disk_geometry_s> geometry; // absent only in the header entry
};

} // namespace tarn

Q_DECLARE_METATYPE(tarn::drive_item_s)
