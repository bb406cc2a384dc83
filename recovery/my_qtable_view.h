#pragma once
// The file table's view: moving to another row with the keyboard acts as a click on it, so the
// preview follows the keys (and in column 0 the reached row's check mark flips).

#include <QTableView>

namespace tarn {

class MyQTableView : public QTableView {
    Q_OBJECT
public:
    using QTableView::QTableView;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace tarn
