#pragma once

// Small drawing kit shared by the device drawings: colours by white level and opacity, rounded
// rectangles, gradients, a painter-state guard, a blurred offscreen layer and text drawn at
// fractional logical-pixel sizes in fixed font families.

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRectF>
#include <QString>

#include <functional>
#include <initializer_list>
#include <utility>

namespace DeviceArt {

// sRGB grey with red = green = blue = level, opaque.
QColor grey(double level, double opacity = 1.0);
QColor rgb(double r, double g, double b, double opacity = 1.0);
QColor black(double opacity);
QColor white(double opacity);
QColor clear();
QColor withOpacity(QColor colour, double opacity);

// Rounded rectangle path (radii clamped to half the shorter side), non-zero winding.
QPainterPath roundedRect(const QRectF& rect, double radius);
QPainterPath roundedRect(const QRectF& rect, double radiusX, double radiusY);
QPainterPath ellipse(const QRectF& rect);
QPainterPath circle(QPointF centre, double diameter);

// The largest rectangle of the aspect ratio (width ÷ height) centred in the box; an empty one at
// the box's centre when the box is empty or the ratio is not positive.
QRectF aspectFitted(const QRectF& box, double aspectRatio);

using Stop = std::pair<double, QColor>;
// Colours spaced evenly from 0 to 1.
QLinearGradient gradient(QPointF from, QPointF to, std::initializer_list<QColor> colours);
QLinearGradient gradientStops(QPointF from, QPointF to, std::initializer_list<Stop> stops);
// From the rectangle's top-left to its bottom-right corner.
QLinearGradient diagonal(const QRectF& rect, std::initializer_list<QColor> colours);
// Along the rectangle's middle line, left to right.
QLinearGradient horizontal(const QRectF& rect, std::initializer_list<QColor> colours);
QLinearGradient horizontalStops(const QRectF& rect, std::initializer_list<Stop> stops);
// Along the rectangle's left edge, top to bottom.
QLinearGradient vertical(const QRectF& rect, std::initializer_list<QColor> colours);
QLinearGradient verticalStops(const QRectF& rect, std::initializer_list<Stop> stops);

// Butt caps and miter joins, as the drawings expect of every stroke.
QPen pen(const QBrush& brush, double width);
void stroke(QPainter& painter, const QPainterPath& path, const QBrush& brush, double width);
void fill(QPainter& painter, const QPainterPath& path, const QBrush& brush);

// Saves the painter on construction and restores it on every way out, so that a clip or a
// transform of a "copy" never leaks into later steps.
class PainterState {
public:
    explicit PainterState(QPainter& painter)
        : painter_(painter) {
        painter_.save();
    }
    ~PainterState() { painter_.restore(); }
    PainterState(const PainterState&) = delete;
    PainterState& operator=(const PainterState&) = delete;

private:
    QPainter& painter_;
};

// Draws `draw` into a transparent offscreen layer in device pixels, blurs the layer with a
// Gaussian of the given radius (logical pixels) and composites it back through the painter's
// current clip. The painter's transform must be a scale plus a translation.
void drawBlurred(QPainter& painter, const QRectF& bounds, double radius,
                 const std::function<void(QPainter&)>& draw);

// Blurs a premultiplied ARGB image in place: three box passes per axis approximating a Gaussian
// of standard deviation sigma (pixels).
void blurImage(QImage& image, double sigma);

enum class Family { sans, serif };

// A font of the fixed family at a whole pixel size; text drawn with it is scaled to the
// requested fractional size (see drawText).
QFont font(Family family, QFont::Weight weight, int pixelSize);

// Width of one line of text at a fractional logical pixel size.
double textWidth(const QString& text, double pixelSize, QFont::Weight weight,
                 Family family = Family::sans);
// One line of text centred (horizontally and on its line box vertically) on the point.
void drawText(QPainter& painter, const QString& text, QPointF centre, double pixelSize,
              QFont::Weight weight, const QColor& colour, Family family = Family::sans);

// Fractions of a rectangle as points and lengths, the way the rear layouts are given.
struct Frame {
    QRectF r;
    double W() const { return r.width(); }
    double H() const { return r.height(); }
    double x(double f) const { return r.left() + f * r.width(); }
    double y(double f) const { return r.top() + f * r.height(); }
    QPointF at(double fx, double fy) const { return QPointF(x(fx), y(fy)); }
};

} // namespace DeviceArt
