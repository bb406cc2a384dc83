#include "recovery/my_qtable_view.h"

#include <QKeyEvent>

namespace tarn {

void MyQTableView::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex before = currentIndex();
    QTableView::keyPressEvent(event);
    const QModelIndex after = currentIndex();
    if (after.isValid() && after.row() != before.row())
        emit clicked(after);
}

} // namespace tarn
