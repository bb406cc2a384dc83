#pragma once
// A list model over a list of plain records it does not own: row r is record r, handed out as a
// copy inside a QVariant for the display role. A changed list gets a new model.

#include <QAbstractListModel>
#include <QMetaType>
#include <QString>

#include <vector>

namespace tarn {

template <class Record>
class record_list_model_c : public QAbstractListModel {
public:
    // text: what views and testers that ask for the display text get for a record.
    record_list_model_c(const std::vector<Record>& records, QString (*text)(const Record&), QObject* parent)
        : QAbstractListModel(parent), records_(records)
    {
        static const bool text_converter = QMetaType::registerConverter<Record, QString>(text);
        Q_UNUSED(text_converter);
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(records_.size());
    }

    // A copy of the row's record for the display role, nothing for any other role.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override
    {
        if (!this->checkIndex(index, QAbstractItemModel::CheckIndexOption::IndexIsValid) || role != Qt::DisplayRole)
            return {};
        return QVariant::fromValue(records_[static_cast<std::size_t>(index.row())]);
    }

private:
    const std::vector<Record>& records_;
};

} // namespace tarn
