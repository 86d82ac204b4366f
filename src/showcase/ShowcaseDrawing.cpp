#include "showcase/ShowcaseDrawing.h"

#include "appmodel/InterfaceFont.h"
#include "artwork/DeviceArt.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPaintDevice>

#include <algorithm>
#include <cmath>

namespace ShowcaseDrawing {

QFont font(double pixelSize, QFont::Weight weight, const QPaintDevice* device) {
    QFont f = QApplication::font();
    // Point sizes go through the device's logical resolution; sizes here are logical pixels.
    const double dpi = device && device->logicalDpiY() > 0 ? device->logicalDpiY() : 96.0;
    f.setPointSizeF(std::max(1.0, pixelSize) * 72.0 / dpi);
    return InterfaceFont::weighted(f, weight);
}

double lineWidth(const QString& text, const QFont& font) {
    return QFontMetricsF(font).horizontalAdvance(text);
}

FittedLine fitLine(const QString& text, const QFont& font, double width, double minimumScale) {
    FittedLine line{font, text, lineWidth(text, font)};
    if (line.width <= width || text.isEmpty())
        return line;
    const double scale = std::max(minimumScale, width / std::max(line.width, 1.0));
    line.font.setPointSizeF(font.pointSizeF() * scale);
    const QFontMetricsF metrics(line.font);
    line.width = metrics.horizontalAdvance(text);
    if (line.width > width + 0.01) {
        line.text = metrics.elidedText(text, Qt::ElideRight, std::max(0.0, width));
        line.width = metrics.horizontalAdvance(line.text);
    }
    return line;
}

void drawLine(QPainter& painter, const FittedLine& line, const QRectF& box, Qt::Alignment alignment,
              const QColor& colour) {
    if (line.text.isEmpty())
        return;
    painter.save();
    painter.setFont(line.font);
    painter.setPen(colour);
    painter.drawText(box, int(alignment | Qt::TextSingleLine | Qt::TextDontClip), line.text);
    painter.restore();
}

QPainterPath capsule(const QRectF& rect) {
    return DeviceArt::roundedRect(rect, std::min(rect.width(), rect.height()) / 2);
}

namespace {

// Strokes a path with round ends and corners, as the interface's line symbols are drawn.
void strokeRound(QPainter& painter, const QPainterPath& path, const QColor& colour, double width) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(colour, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.restore();
}

} // namespace

void drawChevron(QPainter& painter, QPointF centre, double size, bool up, const QColor& colour) {
    const double half = size * 0.42;
    const double rise = size * 0.22 * (up ? -1 : 1);
    QPainterPath path;
    path.moveTo(centre.x() - half, centre.y() - rise);
    path.lineTo(centre.x(), centre.y() + rise);
    path.lineTo(centre.x() + half, centre.y() - rise);
    strokeRound(painter, path, colour, std::max(1.2, size * 0.16));
}

void drawSymbol(QPainter& painter, Symbol symbol, const QRectF& box, const QColor& colour) {
    const double s = std::min(box.width(), box.height());
    const QPointF c = box.center();
    const auto at = [&](double fx, double fy) { return QPointF(c.x() + fx * s, c.y() + fy * s); };
    QPainterPath path;
    switch (symbol) {
    case Symbol::share:
        // An open box with an arrow rising out of it.
        path.moveTo(at(-0.14, -0.1));
        path.lineTo(at(-0.34, -0.1));
        path.lineTo(at(-0.34, 0.44));
        path.lineTo(at(0.34, 0.44));
        path.lineTo(at(0.34, -0.1));
        path.lineTo(at(0.14, -0.1));
        path.moveTo(at(0, 0.18));
        path.lineTo(at(0, -0.46));
        path.moveTo(at(-0.15, -0.31));
        path.lineTo(at(0, -0.46));
        path.lineTo(at(0.15, -0.31));
        break;
    case Symbol::cableConnector:
        // A plug: the head with two pins, then the cable.
        path.addRoundedRect(QRectF(at(-0.22, -0.2), at(0.22, 0.18)), s * 0.05, s * 0.05);
        path.moveTo(at(-0.1, -0.2));
        path.lineTo(at(-0.1, -0.42));
        path.moveTo(at(0.1, -0.2));
        path.lineTo(at(0.1, -0.42));
        path.moveTo(at(0, 0.18));
        path.lineTo(at(0, 0.46));
        break;
    }
    strokeRound(painter, path, colour, std::max(1.2, s * 0.085));
}

} // namespace ShowcaseDrawing
