#include "platform/layered_window.h"

#include <QPainter>
#include <QPixmap>
#include <QWidget>

namespace tarn {

void set_layered(QWidget* window)
{
    // Changing the flags of a shown window would hide it; once set they stay.
    if (!window->windowFlags().testFlag(Qt::FramelessWindowHint))
        window->setWindowFlags(window->windowFlags() | Qt::FramelessWindowHint);
    window->setAttribute(Qt::WA_TranslucentBackground);
}

void present_layered(QWidget* window, const QPixmap& image)
{
    QPainter painter(window);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawPixmap(0, 0, image);
}

} // namespace tarn
