#pragma once

// Writes an engraving (a short line of text) on a device back: centred on a point, turned by an
// angle and shrunk so that it is never wider than a given width.

#include <QColor>
#include <QPainter>
#include <QString>

#include <optional>

namespace IPodRearEngraving {

// The factor by which a line measuring `measuredWidth` at full size is shrunk to fit
// `maxWidth`; never above 1.
double fitFactor(double measuredWidth, double maxWidth);

// Nothing for an absent or empty text. The angle is in radians, clockwise on screen. The
// painter is left as it was.
void draw(const std::optional<QString>& text, QPainter& painter, const QColor& colour,
          double centerX, double centerY, double maxWidth, double fontSize, double angle);

} // namespace IPodRearEngraving
