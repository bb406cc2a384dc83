#pragma once
// The groups of images the generator makes. Each returns 0, or -1 when an image could not
// be written.

#include "tools/artwork/art_common.h"

namespace tarn::art {

// system/so.png, sl.png, sr.png, su.png, top/logo.png, top.ico, background/bai.png.
int make_frame(art_output& out);
// system/<kind>Button1..3.png for close, maximize, restore, minimize and settings.
int make_system_buttons(art_output& out);
// partition_search/*, recovery/folder.png.
int make_page_images(art_output& out);
// home/buttonscan*, home/buttonrecovery*, home/wenzi.png.
int make_home_images(art_output& out);
// recovery/ani.gif, assembled by ImageMagick's convert from frames drawn here.
int make_animation(art_output& out);
// multilang/<code>/… for every language that has its own images.
int make_multilang(art_output& out);
// One PNG showing every image under images_root, labelled.
int make_contact_sheet(const QString& images_root, const QStringList& names, const QString& path);

// The button face shared by the page buttons and the home buttons: a light, rounded face
// whose border and fill deepen from normal to hover to pressed.
void draw_light_button(QPainter& p, const QRectF& rect, double radius, state s);
// The blue face of the large home buttons.
void draw_blue_card(QPainter& p, const QRectF& rect, double radius, state s);

} // namespace tarn::art

namespace tarn::art {

// A large home button: the blue face with an icon disc at the left and, when given, a title
// and a smaller line under it. resume picks the resume icon instead of the scan icon.
QImage home_button(int w, int h, state s, bool resume, const QString& title, const QString& subtitle,
                   const QString& script);

} // namespace tarn::art
