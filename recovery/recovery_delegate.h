#pragma once
// Paints the file table's cells: banded rows, the check image, name, size and local dates.

#include <QPixmap>
#include <QStyledItemDelegate>

#include <cstdint>

namespace tarn {

class recovery_delegate_c : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit recovery_delegate_c(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QPixmap unchecked_;
    QPixmap checked_;
};

// seconds since 1970 UTC as a local date "YYYY-MM-DD"; an empty text for a time stamp that the
// local-time conversion rejects.
QString local_date_text(std::int64_t seconds);

} // namespace tarn
