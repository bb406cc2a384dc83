#include "widgets/page_painting.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QPixmap>

namespace tarn {

void replace_view_model(QAbstractItemView& view, QAbstractItemModel* next, QAbstractItemModel* previous)
{
    QItemSelectionModel* old_selection = view.selectionModel();
    view.setModel(next);
    delete old_selection;
    delete previous;
}

void paint_page_band(QPainter& painter, int width, const QString& caption)
{
    const QPixmap band(QStringLiteral(":/images/background/bai.png"));
    painter.fillRect(QRect(0, 0, width, band.height()), QBrush(band));
    if (caption.isEmpty())
        return;
    painter.setFont(QFont(QStringLiteral("Arial"), 12));
    painter.drawText(23, 30, caption);
}

} // namespace tarn
