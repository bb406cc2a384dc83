#pragma once
// The file table's model: five columns over the page's row list, which it refers to without
// copying. The page puts a new model on the view whenever the list is rebuilt as a whole.

#include "recovery/recovery_rows.h"

#include <QAbstractTableModel>

#include <array>

namespace tarn {

enum recovery_column_e : int {
    column_check = 0,
    column_name = 1,
    column_size = 2,
    column_modified = 3,
    column_created = 4,
    column_count = 5
};

class recovery_model_c : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit recovery_model_c(recovery_rows* rows, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // Display role: the whole record of the row, whatever the column.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Stores value as the row's check mark and announces the change of its check cell.
    void set_checked(int row, bool value);
    // Sorts the row list in place by the column, ascending on the first call for a column and
    // alternating after that; column 0 sorts nothing.
    void sort_by_column(int column);

private:
    recovery_rows* rows_;
    std::array<bool, column_count> ascending_{}; // direction of the last sort of each column
};

} // namespace tarn
