#pragma once

// Plain surfaces of the views: a widget filled with one palette colour, and the one-pixel line
// between the parts of a pane.

#include <QColor>

class QWidget;

namespace Surfaces {

void fill(QWidget* widget, const QColor& color);

// A line one pixel high in slate500.
QWidget* separator(QWidget* parent);

} // namespace Surfaces
