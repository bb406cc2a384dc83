#pragma once
// The volume list as a list model: row r is entry r of the list (volume_list() and what the deep
// scan offers besides), row 0 its header entry. The model only refers to the list; a refresh
// replaces the model, never edits it.

#include "disk/volume_item.h"

#include <QAbstractListModel>

#include <vector>

namespace tarn {

class volume_model_c : public QAbstractListModel {
    Q_OBJECT
public:
    explicit volume_model_c(const std::vector<volume_item_s>& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    // A copy of the row's volume_item_s for the display role; nothing for any other role.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    const std::vector<volume_item_s>& list_;
};

} // namespace tarn
