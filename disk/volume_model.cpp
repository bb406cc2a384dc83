#include "disk/volume_model.h"


namespace tarn {

volume_model_c::volume_model_c(const std::vector<volume_item_s>& list, QObject* parent)
    : QAbstractListModel(parent), list_(list)
{
    // Views and testers that ask for the display text get the volume's mount path.
    static const bool text_converter =
        QMetaType::registerConverter<volume_item_s, QString>([](const volume_item_s& item) { return item.mount_path; });
    Q_UNUSED(text_converter);
}

int volume_model_c::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(list_.size());
}

QVariant volume_model_c::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
        role != Qt::DisplayRole)
        return {};
    return QVariant::fromValue(list_[static_cast<std::size_t>(index.row())]);
}

} // namespace tarn
