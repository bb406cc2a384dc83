#pragma once
// The found partitions as a list model, one row per partition in the order found. It refers to
// a list it does not own; a changed list gets a new model.

#include "partition/partition_item.h"

#include <QAbstractListModel>

#include <vector>

namespace tarn {

class partition_model_c : public QAbstractListModel {
    Q_OBJECT
public:
    partition_model_c(const std::vector<partition_item_s>& partitions, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // A copy of the row's partition_item_s for the display role, nothing for any other role.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    const std::vector<partition_item_s>& partitions_;
};

} // namespace tarn
