#pragma once

// Plain surfaces of the views: a widget filled with one palette colour, the one-pixel line
// between the parts of a pane, and the rounded panels the controls sit on.

#include <QColor>
#include <QPainterPath>
#include <QRectF>

class QPainter;
class QRect;
class QWidget;

namespace Surfaces {

void fill(QWidget* widget, const QColor& color);

// A line one pixel high in slate500.
QWidget* separator(QWidget* parent);

// A rounded panel filling rect, its edge half a pixel inside so that a one-pixel border lies on
// whole pixels; the border is drawn only when it is a valid colour. Returns the panel's shape.
QPainterPath paintPanel(QPainter& painter, const QRect& rect, qreal radius, const QColor& fill,
                        const QColor& border = QColor());

// A plate with rounded corners, filled in one colour (antialiased as the painter is set).
void fillRounded(QPainter& painter, const QRectF& rect, qreal radius, const QColor& color);

} // namespace Surfaces
