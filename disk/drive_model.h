#pragma once
// The drive list as a list model: row r is entry r of the list it refers to (row 0 the header
// entry). It does not copy the list; a changed list gets a new model.

#include "disk/drive_item.h"

#include <QAbstractListModel>

#include <vector>

namespace tarn {

class drive_model_c : public QAbstractListModel {
    Q_OBJECT
public:
    drive_model_c(const std::vector<drive_item_s>& drives, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // A copy of the row's drive_item_s for the display role, nothing for any other role.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    const std::vector<drive_item_s>& drives_;
};

} // namespace tarn
