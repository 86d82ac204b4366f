#pragma once

// The small set of vector symbols the device drawings label their controls and backs with
// (play/pause, skip, plus, minus, the logo, the bin, repeat, shuffle, battery, speech bubble),
// drawn from our own shapes.

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QString>

namespace ArtSymbols {

// The symbol's outline centred on the point, sized like a glyph of a font of `size` logical
// pixels (its height is 0.8 × size). An unknown name gives an empty path.
QPainterPath path(const QString& name, QPointF centre, double size);
bool exists(const QString& name);

// Fills the symbol in the colour.
void draw(QPainter& painter, const QString& name, QPointF centre, double size,
          const QColor& colour);

} // namespace ArtSymbols
