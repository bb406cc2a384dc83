#include "widgets/progress_bar.h"

#include <QPainter>

#include <algorithm>

namespace tarn {

progress_bar_c::progress_bar_c(QObject* parent) : QObject(parent) {}

void progress_bar_c::prepare(const QString& image_path, const QColor& background)
{
    image_.load(image_path);
    brush_.setTexture(image_);
    background_ = background;
    value = 0.0;
}

void progress_bar_c::paint(QPainter* painter, const QRect& rect) const
{
    // A value a worker wrote slightly out of range must not paint outside the bar.
    const double shown = std::clamp(value, 0.0, 1.0);
    painter->save();
    painter->fillRect(rect, background_);
    const int x0 = rect.left();
    const int x1 = rect.right();
    const int filled = static_cast<int>((x1 - x0) * shown);
    // The texture starts at the bar's corner, not at the page's, so the image lines up in it.
    painter->setBrushOrigin(rect.topLeft());
    painter->fillRect(QRect(x0, rect.top(), filled, rect.height()), brush_);
    painter->setPen(Qt::black);
    painter->drawText(rect, Qt::AlignCenter, QString::asprintf("%d%%", static_cast<int>(shown * 100)));
    painter->restore();
}

} // namespace tarn
