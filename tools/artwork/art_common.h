#pragma once
// Shared pieces of the artwork generator: the palette, fonts, image output and text fitting.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <QStringList>

class QPainter;

namespace tarn::art {

// The program's palette: the list selection and title blue, the pale header and progress
// backgrounds, and the light outline blue, plus a few shades derived from them.
inline const QColor blue(81, 149, 206);
inline const QColor blue_dark(52, 110, 172);
inline const QColor blue_deep(38, 88, 146);
inline const QColor blue_light(139, 184, 241);
inline const QColor pale(232, 246, 255);
inline const QColor pale2(226, 240, 253);
inline const QColor line(211, 231, 255);
inline const QColor text_blue(91, 135, 201);
inline const QColor white(255, 255, 255);

// Button states as the resources number them: 1 normal, 2 hover, 3 pressed.
enum class state { normal = 1, hover = 2, pressed = 3 };
inline constexpr state all_states[] = {state::normal, state::hover, state::pressed};

// Registers the Noto fonts from the Debian font packages. 0 when all were found.
int load_fonts();
// A font for a script: "latin", "jp", "cn", "hk" or "ar"; pixel size, bold or not.
QFont art_font(const QString& script, double pixels, bool bold);

// A transparent ARGB image of the given size.
QImage new_image(int width, int height);
// Antialiased painter settings used for every drawing.
void prepare(QPainter& painter);

// Writes images under one root folder and remembers what it wrote, relative to the root.
class art_output {
public:
    explicit art_output(QString root);
    // Saves image as root/name (PNG or ICO by the name's suffix); 0 or -1.
    int save(const QString& name, const QImage& image);
    const QStringList& written() const { return written_; }
    const QString& root() const { return root_; }
    void note(const QString& name) { written_.append(name); }

private:
    QString root_;
    QStringList written_;
};

// A rounded rectangle path with separate radii for the top and bottom corners.
QPainterPath rounded_path(const QRectF& rect, double top_radius, double bottom_radius);

// Largest pixel size from max_px down to min_px at which text fits width on one line; min_px
// when none does.
double fit_pixels(const QString& text, const QString& script, bool bold, double max_px, double min_px,
                  double width);
// Draws text centred in rect, shrinking from max_px and wrapping onto up to two lines when
// one line does not fit.
void draw_fitted(QPainter& painter, const QRectF& rect, const QString& text, const QString& script,
                 bool bold, double max_px, double min_px, const QColor& colour, int align_h);

} // namespace tarn::art
