#pragma once
// A progress bar that the page holding it paints: a background colour, a fill drawn with a
// tiled image up to the current value, and the value as a percentage in the middle.

#include <QBrush>
#include <QColor>
#include <QObject>
#include <QPixmap>

class QPainter;
class QRect;

namespace tarn {

class progress_bar_c : public QObject {
    Q_OBJECT
public:
    explicit progress_bar_c(QObject* parent = nullptr);

    // Takes the fill image and the background colour; the value returns to 0.
    void prepare(const QString& image_path, const QColor& background);
    void paint(QPainter* painter, const QRect& rect) const;

    // 0.0 to 1.0; the holder writes it directly.
    double value = 0.0;

private:
    QPixmap image_;
    QBrush brush_;
    QColor background_;
};

} // namespace tarn
