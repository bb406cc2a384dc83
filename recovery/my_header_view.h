#pragma once
// The file table's heading: a check-all box over column 0 and click-to-sort headings over
// columns 1 to 4, painted in the page's colours.

#include <QHeaderView>
#include <QPixmap>

namespace tarn {

class MyHeaderView : public QHeaderView {
    Q_OBJECT
public:
    explicit MyHeaderView(QWidget* parent = nullptr);

    bool check_all_state() const { return check_all_; }
    // The page clears the box whenever it lists another folder.
    void set_check_all_state(bool state);
    // The base class's hint, 24 pixels high.
    QSize sizeHint() const override;

signals:
    void check_all(bool state);
    void sort_column(int column);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintSection(QPainter* painter, const QRect& rect, int logical_index) const override;

private:
    QPixmap unchecked_;
    QPixmap checked_;
    bool check_all_ = false;
};

} // namespace tarn
