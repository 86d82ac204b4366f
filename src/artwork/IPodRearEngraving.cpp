#include "artwork/IPodRearEngraving.h"

#include "artwork/DeviceArt.h"

#include <algorithm>
#include <numbers>

namespace IPodRearEngraving {

double fitFactor(double measuredWidth, double maxWidth) {
    const double factor = measuredWidth < 1 ? maxWidth : maxWidth / measuredWidth;
    return std::min(factor, 1.0);
}

void draw(const std::optional<QString>& text, QPainter& painter, const QColor& colour,
          double centerX, double centerY, double maxWidth, double fontSize, double angle) {
    if (!text || text->isEmpty())
        return;
    // Measured unrotated at the full size; the font is then scaled, not the drawing, so the line
    // is laid out again at the smaller size.
    const double measured = DeviceArt::textWidth(*text, fontSize, QFont::Medium);
    const double factor = fitFactor(measured, maxWidth);

    DeviceArt::PainterState state(painter);
    painter.translate(centerX, centerY);
    painter.rotate(angle * 180.0 / std::numbers::pi);
    DeviceArt::drawText(painter, *text, QPointF(0, 0), fontSize * factor, QFont::Medium, colour);
}

} // namespace IPodRearEngraving
