#pragma once
// What every page does alike: putting a new model on a view, and the band across its top.

#include <QString>

class QAbstractItemModel;
class QAbstractItemView;
class QPainter;

namespace tarn {

// Puts next on view, then deletes what it replaces: the selection model setModel leaves behind,
// and previous (the model that was on the view; may be null).
void replace_view_model(QAbstractItemView& view, QAbstractItemModel* next, QAbstractItemModel* previous);

// The band image across the top of a page of that width, with caption written on it when given.
void paint_page_band(QPainter& painter, int width, const QString& caption = {});

} // namespace tarn
