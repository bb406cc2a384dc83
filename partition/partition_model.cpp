#include "partition/partition_model.h"

namespace tarn {

partition_model_c::partition_model_c(const std::vector<partition_item_s>& partitions, QObject* parent)
    : QAbstractListModel(parent), partitions_(partitions)
{
    // Views and testers that ask for the display text get the partition's file-system name.
    static const bool text_converter =
        QMetaType::registerConverter<partition_item_s, QString>([](const partition_item_s& item) { return item.fs_name; });
    Q_UNUSED(text_converter);
}

int partition_model_c::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(partitions_.size());
}

QVariant partition_model_c::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || role != Qt::DisplayRole)
        return {};
    return QVariant::fromValue(partitions_[static_cast<std::size_t>(index.row())]);
}

} // namespace tarn
