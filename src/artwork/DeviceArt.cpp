#include "artwork/DeviceArt.h"

#include <QFontMetricsF>
#include <QImage>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace DeviceArt {

namespace {

// Text is laid out at this many times its size and scaled back, so that fractional logical
// sizes keep their exact proportions while fonts only take whole pixel sizes.
constexpr int textOversampling = 8;

// One box-blur pass of the given half-width along a line of premultiplied ARGB pixels, read
// and written with a stride (1 for rows, the row length for columns).
void boxBlurLine(const QRgb* in, QRgb* out, int count, qsizetype stride, int halfWidth) {
    const int window = 2 * halfWidth + 1;
    int a = 0, r = 0, g = 0, b = 0;
    auto add = [&](int x, int sign) {
        if (x < 0 || x >= count)
            return;
        const QRgb p = in[x * stride];
        a += sign * qAlpha(p);
        r += sign * qRed(p);
        g += sign * qGreen(p);
        b += sign * qBlue(p);
    };
    for (int x = -halfWidth; x < halfWidth; ++x)
        add(x, 1);
    for (int x = 0; x < count; ++x) {
        add(x + halfWidth, 1);
        out[x * stride] = qRgba((r + window / 2) / window, (g + window / 2) / window,
                                (b + window / 2) / window, (a + window / 2) / window);
        add(x - halfWidth, -1);
    }
}

} // namespace

QColor grey(double level, double opacity) {
    return rgb(level, level, level, opacity);
}

QColor rgb(double r, double g, double b, double opacity) {
    return QColor::fromRgbF(float(std::clamp(r, 0.0, 1.0)), float(std::clamp(g, 0.0, 1.0)),
                            float(std::clamp(b, 0.0, 1.0)), float(std::clamp(opacity, 0.0, 1.0)));
}

QColor black(double opacity) {
    return grey(0.0, opacity);
}
QColor white(double opacity) {
    return grey(1.0, opacity);
}
QColor clear() {
    return QColor(0, 0, 0, 0);
}

QColor withOpacity(QColor colour, double opacity) {
    colour.setAlphaF(float(std::clamp(colour.alphaF() * opacity, 0.0, 1.0)));
    return colour;
}

QPainterPath roundedRect(const QRectF& rect, double radius) {
    return roundedRect(rect, radius, radius);
}

QPainterPath roundedRect(const QRectF& rect, double radiusX, double radiusY) {
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    const QRectF r = rect.normalized();
    const double rx = std::clamp(radiusX, 0.0, r.width() / 2);
    const double ry = std::clamp(radiusY, 0.0, r.height() / 2);
    if (rx <= 0 || ry <= 0)
        path.addRect(r);
    else
        path.addRoundedRect(r, rx, ry);
    return path;
}

QPainterPath ellipse(const QRectF& rect) {
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.addEllipse(rect);
    return path;
}

QPainterPath circle(QPointF centre, double diameter) {
    return ellipse(
        QRectF(centre.x() - diameter / 2, centre.y() - diameter / 2, diameter, diameter));
}

QRectF aspectFitted(const QRectF& box, double aspectRatio) {
    if (!(aspectRatio > 0) || box.isEmpty())
        return QRectF(box.center(), QSizeF(0, 0));
    QSizeF size(box.width(), box.width() / aspectRatio);
    if (size.height() > box.height())
        size = QSizeF(box.height() * aspectRatio, box.height());
    return QRectF(box.center().x() - size.width() / 2, box.center().y() - size.height() / 2,
                  size.width(), size.height());
}

QLinearGradient gradient(QPointF from, QPointF to, std::initializer_list<QColor> colours) {
    QLinearGradient g(from, to);
    const std::size_t n = colours.size();
    std::size_t i = 0;
    for (const QColor& c : colours) {
        g.setColorAt(n > 1 ? double(i) / double(n - 1) : 0.0, c);
        ++i;
    }
    return g;
}

QLinearGradient gradientStops(QPointF from, QPointF to, std::initializer_list<Stop> stops) {
    QLinearGradient g(from, to);
    for (const Stop& s : stops)
        g.setColorAt(s.first, s.second);
    return g;
}

QLinearGradient diagonal(const QRectF& rect, std::initializer_list<QColor> colours) {
    return gradient(rect.topLeft(), rect.bottomRight(), colours);
}

QLinearGradient horizontal(const QRectF& rect, std::initializer_list<QColor> colours) {
    return gradient(QPointF(rect.left(), rect.center().y()),
                    QPointF(rect.right(), rect.center().y()), colours);
}

QLinearGradient horizontalStops(const QRectF& rect, std::initializer_list<Stop> stops) {
    return gradientStops(QPointF(rect.left(), rect.center().y()),
                         QPointF(rect.right(), rect.center().y()), stops);
}

QLinearGradient vertical(const QRectF& rect, std::initializer_list<QColor> colours) {
    return gradient(rect.topLeft(), rect.bottomLeft(), colours);
}

QLinearGradient verticalStops(const QRectF& rect, std::initializer_list<Stop> stops) {
    return gradientStops(rect.topLeft(), rect.bottomLeft(), stops);
}

QPen pen(const QBrush& brush, double width) {
    QPen p(brush, width);
    p.setCapStyle(Qt::FlatCap);
    p.setJoinStyle(Qt::MiterJoin);
    return p;
}

void stroke(QPainter& painter, const QPainterPath& path, const QBrush& brush, double width) {
    if (!(width > 0))
        return;
    painter.strokePath(path, pen(brush, width));
}

void fill(QPainter& painter, const QPainterPath& path, const QBrush& brush) {
    painter.fillPath(path, brush);
}

void blurImage(QImage& image, double sigma) {
    if (!(sigma > 0.3) || image.isNull())
        return;
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // Box widths whose three passes match the Gaussian's variance.
    const double ideal = std::sqrt(12.0 * sigma * sigma / 3.0 + 1.0);
    int lower = int(std::floor(ideal));
    if (lower % 2 == 0)
        --lower;
    const int upper = lower + 2;
    const double m = std::round((12.0 * sigma * sigma - 3.0 * lower * lower - 12.0 * lower - 9.0) /
                                (-4.0 * lower - 4.0));
    std::array<int, 3> halves{};
    for (int i = 0; i < 3; ++i)
        halves[std::size_t(i)] = ((i < m ? lower : upper) - 1) / 2;

    QImage scratch(image.size(), image.format());
    const int width = image.width();
    const int height = image.height();
    const qsizetype stride = image.bytesPerLine() / qsizetype(sizeof(QRgb));
    for (int half : halves) {
        const QRgb* in = reinterpret_cast<const QRgb*>(image.constBits());
        QRgb* out = reinterpret_cast<QRgb*>(scratch.bits());
        for (int y = 0; y < height; ++y)
            boxBlurLine(in + y * stride, out + y * stride, width, 1, half);
        std::swap(image, scratch);
    }
    for (int half : halves) {
        const QRgb* in = reinterpret_cast<const QRgb*>(image.constBits());
        QRgb* out = reinterpret_cast<QRgb*>(scratch.bits());
        for (int x = 0; x < width; ++x)
            boxBlurLine(in + x, out + x, height, stride, half);
        std::swap(image, scratch);
    }
}

void drawBlurred(QPainter& painter, const QRectF& bounds, double radius,
                 const std::function<void(QPainter&)>& draw) {
    const QTransform device = painter.deviceTransform();
    const double scale = std::sqrt(std::abs(device.determinant()));
    const double sigma = radius * scale;
    const double margin = std::ceil(3.0 * std::max(sigma, 0.0)) + 1.0;
    const QRect area =
        device.mapRect(bounds).adjusted(-margin, -margin, margin, margin).toAlignedRect();
    if (area.isEmpty() || qint64(area.width()) * area.height() > 64ll * 1024 * 1024)
        return;

    QImage layer(area.size(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter layerPainter(&layer);
        layerPainter.setRenderHints(painter.renderHints());
        layerPainter.setTransform(device * QTransform::fromTranslate(-area.x(), -area.y()));
        draw(layerPainter);
    }
    blurImage(layer, sigma);

    PainterState state(painter);
    const double ratio = painter.device()->devicePixelRatioF();
    painter.setWorldTransform(QTransform::fromScale(1.0 / ratio, 1.0 / ratio));
    painter.drawImage(QPointF(area.topLeft()), layer);
}

QFont font(Family family, QFont::Weight weight, int pixelSize) {
    QFont f(family == Family::serif ? QStringLiteral("Liberation Serif")
                                    : QStringLiteral("Liberation Sans"));
    f.setStyleHint(family == Family::serif ? QFont::Serif : QFont::SansSerif);
    f.setPixelSize(std::max(1, pixelSize));
    f.setWeight(weight);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setKerning(true);
    return f;
}

double textWidth(const QString& text, double pixelSize, QFont::Weight weight, Family family) {
    if (text.isEmpty() || !(pixelSize > 0))
        return 0.0;
    const int size = std::max(1, int(std::lround(pixelSize * textOversampling)));
    const QFontMetricsF metrics(font(family, weight, size));
    return metrics.horizontalAdvance(text) * pixelSize / size;
}

void drawText(QPainter& painter, const QString& text, QPointF centre, double pixelSize,
              QFont::Weight weight, const QColor& colour, Family family) {
    if (text.isEmpty() || !(pixelSize > 0))
        return;
    const int size = std::max(1, int(std::lround(pixelSize * textOversampling)));
    const QFont f = font(family, weight, size);
    const QFontMetricsF metrics(f);
    const double width = metrics.horizontalAdvance(text);
    const double height = metrics.height();

    PainterState state(painter);
    painter.translate(centre);
    painter.scale(pixelSize / size, pixelSize / size);
    painter.setFont(f);
    painter.setPen(colour);
    painter.setBrush(Qt::NoBrush);
    const QRectF box(-width / 2 - height, -height / 2, width + 2 * height, height);
    painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextDontClip, text);
}

} // namespace DeviceArt
