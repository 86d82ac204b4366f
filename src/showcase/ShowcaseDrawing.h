#pragma once

// Small drawing helpers the showcase widgets share: fonts at fractional logical sizes, one line
// of text that shrinks to a floor before it is cut with an ellipsis, capsules, chevrons and the
// few symbols of the toolbar, drawn from our own shapes.

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <QString>

class QPaintDevice;

namespace ShowcaseDrawing {

// The interface font at a size in logical pixels, for text drawn on the device.
QFont font(double pixelSize, QFont::Weight weight, const QPaintDevice* device = nullptr);

// One line of text that fits a width: the font as given, else scaled down to at most
// minimumScale of its size, else that size with the text elided at its end.
struct FittedLine {
    QFont font;
    QString text;
    double width = 0;
};
FittedLine fitLine(const QString& text, const QFont& font, double width, double minimumScale);
void drawLine(QPainter& painter, const FittedLine& line, const QRectF& box, Qt::Alignment alignment,
              const QColor& colour);

// Width of a line at its natural size.
double lineWidth(const QString& text, const QFont& font);

// A rounded rectangle whose ends are half circles (DeviceArt::roundedRect for other radii).
QPainterPath capsule(const QRectF& rect);

// A chevron pointing up or down, centred on the point, drawn as a stroke of the colour.
void drawChevron(QPainter& painter, QPointF centre, double size, bool up, const QColor& colour);

enum class Symbol { share, cableConnector };
// A toolbar symbol in a square box.
void drawSymbol(QPainter& painter, Symbol symbol, const QRectF& box, const QColor& colour);

} // namespace ShowcaseDrawing
