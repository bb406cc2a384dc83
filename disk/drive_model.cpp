#include "disk/drive_model.h"

namespace tarn {

drive_model_c::drive_model_c(const std::vector<drive_item_s>& drives, QObject* parent)
    : QAbstractListModel(parent), drives_(drives)
{
    // Views and testers that ask for the display text get the drive's path.
    static const bool text_converter =
        QMetaType::registerConverter<drive_item_s, QString>([](const drive_item_s& item) { return item.path; });
    Q_UNUSED(text_converter);
}

int drive_model_c::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(drives_.size());
}

QVariant drive_model_c::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || role != Qt::DisplayRole)
        return {};
    return QVariant::fromValue(drives_[static_cast<std::size_t>(index.row())]);
}

} // namespace tarn
