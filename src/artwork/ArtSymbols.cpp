#include "artwork/ArtSymbols.h"

#include <QPainterPathStroker>
#include <QPolygonF>
#include <QTransform>

#include <map>

namespace ArtSymbols {

namespace {

// Shapes are built in a unit box one unit high, centred on the origin.
QPainterPath polygon(std::initializer_list<QPointF> points) {
    QPainterPath p;
    p.addPolygon(QPolygonF(QList<QPointF>(points)));
    p.closeSubpath();
    return p;
}

QPainterPath rect(double x, double y, double w, double h) {
    QPainterPath p;
    p.addRect(QRectF(x, y, w, h));
    return p;
}

QPainterPath strokeOf(const QPainterPath& line, double width) {
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::FlatCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(line);
}

QPainterPath mirrored(const QPainterPath& p) {
    return QTransform::fromScale(-1, 1).map(p);
}

QPainterPath united(std::initializer_list<QPainterPath> parts) {
    QPainterPath all;
    all.setFillRule(Qt::WindingFill);
    for (QPainterPath part : parts) {
        part.setFillRule(Qt::WindingFill);
        all = all.united(part);
    }
    return all;
}

QPainterPath forwardEnd() {
    return united(
        {polygon({{-0.45, -0.4}, {0.3, 0.0}, {-0.45, 0.4}}), rect(0.32, -0.4, 0.14, 0.8)});
}

QPainterPath forwardEndAlt() {
    return united({polygon({{-0.72, -0.36}, {-0.08, 0.0}, {-0.72, 0.36}}),
                   polygon({{-0.1, -0.36}, {0.54, 0.0}, {-0.1, 0.36}}),
                   rect(0.57, -0.38, 0.13, 0.76)});
}

QPainterPath playPause() {
    return united({polygon({{-0.72, -0.4}, {-0.04, 0.0}, {-0.72, 0.4}}),
                   rect(0.1, -0.38, 0.18, 0.76), rect(0.44, -0.38, 0.18, 0.76)});
}

QPainterPath plus() {
    return united({rect(-0.45, -0.08, 0.9, 0.16), rect(-0.08, -0.45, 0.16, 0.9)});
}

QPainterPath minus() {
    return rect(-0.45, -0.08, 0.9, 0.16);
}

// A round fruit with a leaf: the maker's logo stands in as a shape of our own.
QPainterPath logo() {
    QPainterPath body;
    body.addEllipse(QRectF(-0.43, -0.27, 0.52, 0.76));
    body.addEllipse(QRectF(-0.09, -0.27, 0.52, 0.76));
    body.setFillRule(Qt::WindingFill);
    QPainterPath leaf;
    leaf.addEllipse(QRectF(-0.07, -0.17, 0.14, 0.3));
    leaf = QTransform().translate(0.06, -0.34).rotate(35).map(leaf);
    return united({body, leaf});
}

QPainterPath trash() {
    QPainterPath line;
    line.moveTo(-0.42, -0.3);
    line.lineTo(0.42, -0.3);
    line.moveTo(-0.12, -0.3);
    line.lineTo(-0.12, -0.43);
    line.lineTo(0.12, -0.43);
    line.lineTo(0.12, -0.3);
    line.moveTo(-0.31, -0.3);
    line.lineTo(-0.25, 0.45);
    line.lineTo(0.25, 0.45);
    line.lineTo(0.31, -0.3);
    line.moveTo(-0.1, -0.15);
    line.lineTo(-0.08, 0.32);
    line.moveTo(0.1, -0.15);
    line.lineTo(0.08, 0.32);
    return strokeOf(line, 0.08);
}

QPainterPath repeatArrows() {
    QPainterPath line;
    line.moveTo(-0.5, 0.05);
    line.lineTo(-0.5, -0.22);
    line.lineTo(0.38, -0.22);
    line.moveTo(0.5, -0.05);
    line.lineTo(0.5, 0.22);
    line.lineTo(-0.38, 0.22);
    return united({strokeOf(line, 0.09), polygon({{0.36, -0.36}, {0.58, -0.22}, {0.36, -0.08}}),
                   polygon({{-0.36, 0.08}, {-0.58, 0.22}, {-0.36, 0.36}})});
}

QPainterPath shuffleArrows() {
    QPainterPath line;
    line.moveTo(-0.58, -0.24);
    line.lineTo(-0.24, -0.24);
    line.lineTo(0.16, 0.24);
    line.lineTo(0.38, 0.24);
    line.moveTo(-0.58, 0.24);
    line.lineTo(-0.24, 0.24);
    line.lineTo(0.16, -0.24);
    line.lineTo(0.38, -0.24);
    return united({strokeOf(line, 0.09), polygon({{0.36, -0.38}, {0.58, -0.24}, {0.36, -0.1}}),
                   polygon({{0.36, 0.1}, {0.58, 0.24}, {0.36, 0.38}})});
}

QPainterPath battery() {
    QPainterPath outline;
    outline.addRoundedRect(QRectF(-0.62, -0.27, 1.12, 0.54), 0.12, 0.12);
    return united(
        {strokeOf(outline, 0.07), rect(-0.52, -0.17, 0.92, 0.34), rect(0.54, -0.1, 0.08, 0.2)});
}

QPainterPath bubble() {
    QPainterPath outline;
    outline.addRoundedRect(QRectF(-0.5, -0.4, 1.0, 0.64), 0.26, 0.26);
    return united({strokeOf(outline, 0.08), polygon({{-0.32, 0.18}, {-0.4, 0.46}, {-0.08, 0.22}})});
}

// The unit shapes are constants like a font's glyphs: built once, on first use.
const std::map<QString, QPainterPath>& shapes() {
    static const std::map<QString, QPainterPath> table = {
        {QStringLiteral("forward.end.fill"), forwardEnd()},
        {QStringLiteral("backward.end.fill"), mirrored(forwardEnd())},
        {QStringLiteral("forward.end.alt.fill"), forwardEndAlt()},
        {QStringLiteral("backward.end.alt.fill"), mirrored(forwardEndAlt())},
        {QStringLiteral("playpause.fill"), playPause()},
        {QStringLiteral("plus"), plus()},
        {QStringLiteral("minus"), minus()},
        {QStringLiteral("apple.logo"), logo()},
        {QStringLiteral("trash"), trash()},
        {QStringLiteral("repeat"), repeatArrows()},
        {QStringLiteral("shuffle"), shuffleArrows()},
        {QStringLiteral("battery.100"), battery()},
        {QStringLiteral("bubble.left"), bubble()},
    };
    return table;
}

} // namespace

bool exists(const QString& name) {
    return shapes().count(name) != 0;
}

QPainterPath path(const QString& name, QPointF centre, double size) {
    const auto it = shapes().find(name);
    if (it == shapes().end() || !(size > 0))
        return {};
    const double height = 0.8 * size;
    QPainterPath shape =
        QTransform().translate(centre.x(), centre.y()).scale(height, height).map(it->second);
    shape.setFillRule(Qt::WindingFill);
    return shape;
}

void draw(QPainter& painter, const QString& name, QPointF centre, double size,
          const QColor& colour) {
    const QPainterPath shape = path(name, centre, size);
    if (!shape.isEmpty())
        painter.fillPath(shape, colour);
}

} // namespace ArtSymbols
