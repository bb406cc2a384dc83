#include "disk/volume_model.h"

#include "disk/volume_enumeration.h"

namespace tarn {

int volume_model_c::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(volume_list().size());
}

QVariant volume_model_c::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
        role != Qt::DisplayRole)
        return {};
    return QVariant::fromValue(volume_list()[static_cast<std::size_t>(index.row())]);
}

} // namespace tarn
