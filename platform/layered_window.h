#pragma once
// A top-level window without a system frame whose every pixel, transparency included, is
// painted by the program.

class QPixmap;
class QWidget;

namespace tarn {

// Makes window frameless with a per-pixel-alpha surface. Call before it is first shown.
void set_layered(QWidget* window);

// Puts image on the window's surface as it stands, replacing what was there (transparent
// pixels stay transparent). Only from the window's paint event.
void present_layered(QWidget* window, const QPixmap& image);

} // namespace tarn
