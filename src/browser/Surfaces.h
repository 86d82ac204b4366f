#pragma once

// Plain surfaces of the views: a widget filled with one palette colour, and the one-pixel line
// between the parts of a pane.

#include <QColor>
#include <QRectF>

class QPainter;
class QWidget;

namespace Surfaces {

void fill(QWidget* widget, const QColor& color);

// A line one pixel high in slate500.
QWidget* separator(QWidget* parent);

// A plate with rounded corners, filled in one colour (antialiased as the painter is set).
void fillRounded(QPainter& painter, const QRectF& rect, qreal radius, const QColor& color);

} // namespace Surfaces
