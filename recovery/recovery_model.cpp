#include "recovery/recovery_model.h"

#include "settings/language.h"

#include <algorithm>

namespace tarn {

namespace {

template <typename Key>
void sort_rows(recovery_rows& rows, bool ascending, Key key)
{
    if (ascending)
        std::sort(rows.begin(), rows.end(), [&](const recovery_item_s& a, const recovery_item_s& b) { return key(a) < key(b); });
    else
        std::sort(rows.begin(), rows.end(), [&](const recovery_item_s& a, const recovery_item_s& b) { return key(b) < key(a); });
}

} // namespace

recovery_model_c::recovery_model_c(recovery_rows* rows, QObject* parent) : QAbstractTableModel(parent), rows_(rows)
{
    register_recovery_item_type();
    // Views and accessibility read a display value as text: a record reads as its name.
    static const bool as_text = QMetaType::registerConverter<recovery_item_s, QString>(
        [](const recovery_item_s& record) { return record.name; });
    Q_UNUSED(as_text);
}

int recovery_model_c::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_->size());
}

int recovery_model_c::columnCount(const QModelIndex&) const
{
    return column_count;
}

QVariant recovery_model_c::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole || static_cast<std::size_t>(index.row()) >= rows_->size())
        return {};
    return QVariant::fromValue((*rows_)[static_cast<std::size_t>(index.row())]);
}

QVariant recovery_model_c::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case column_check: return QStringLiteral("checkbox");
    case column_name: return language_text("recovery_name");
    case column_size: return language_text("drive_size");
    case column_modified: return language_text("recovery_date1");
    case column_created: return language_text("recovery_date2");
    default: return {};
    }
}

void recovery_model_c::set_checked(int row, bool value)
{
    if (row < 0 || static_cast<std::size_t>(row) >= rows_->size())
        return;
    (*rows_)[static_cast<std::size_t>(row)].checked = value;
    const QModelIndex cell = index(row, column_check);
    emit dataChanged(cell, cell);
}

void recovery_model_c::sort_by_column(int column)
{
    if (column < 0 || column >= column_count)
        return;
    const bool ascending = ascending_[column] = !ascending_[column];
    recovery_rows& rows = *rows_;
    switch (column) {
    // Names compare by UTF-16 code units, case-sensitive, as the table has always ordered them.
    case column_name: sort_rows(rows, ascending, [](const recovery_item_s& r) -> const QString& { return r.name; }); break;
    case column_size: sort_rows(rows, ascending, [](const recovery_item_s& r) { return r.size; }); break;
    case column_modified: sort_rows(rows, ascending, [](const recovery_item_s& r) { return r.modified; }); break;
    case column_created: sort_rows(rows, ascending, [](const recovery_item_s& r) { return r.created; }); break;
    default: return;
    }
    if (!rows.empty())
        emit dataChanged(index(0, 0), index(static_cast<int>(rows.size()) - 1, column_count - 1));
}

} // namespace tarn
