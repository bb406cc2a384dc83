#pragma once
// Vector icons drawn by the artwork generator, each inside a given square or rectangle.

#include <QColor>
#include <QRectF>

class QPainter;

namespace tarn::art {

void draw_magnifier(QPainter& p, const QRectF& box, const QColor& colour, double stroke);
void draw_hard_disk(QPainter& p, const QRectF& box, const QColor& body, const QColor& detail);
void draw_platter(QPainter& p, const QRectF& box, const QColor& colour, double stroke);
void draw_folder(QPainter& p, const QRectF& box, const QColor& back, const QColor& front);
void draw_document(QPainter& p, const QRectF& box, const QColor& colour, double stroke);
void draw_partitions(QPainter& p, const QRectF& box, const QColor& colour, double stroke);
void draw_deep_scan(QPainter& p, const QRectF& box, const QColor& colour, double stroke);
void draw_recover_arrow(QPainter& p, const QRectF& box, const QColor& colour, double stroke);
void draw_gear(QPainter& p, const QRectF& box, const QColor& colour);
void draw_check_mark(QPainter& p, const QRectF& box, const QColor& colour, double stroke);
void draw_bulb(QPainter& p, const QRectF& box, const QColor& colour, double stroke);
// The program's emblem: a platter held by a circular recovery arrow.
void draw_emblem(QPainter& p, const QRectF& box, const QColor& colour, double stroke);

} // namespace tarn::art
