// The case and the screen of every front.

#include "artwork/DeviceArt.h"
#include "artwork/StartupDeviceVector.h"

using namespace DeviceArt;

namespace {

using Finish = StartupModel::Finish;

bool within(int value, int low, int high) {
    return value >= low && value <= high;
}

QRectF inset(const QRectF& rect, double dx, double dy) {
    return rect.adjusted(dx, dy, -dx, -dy);
}

} // namespace

void StartupDeviceVector::Drawing::drawBody(QPainter& painter, const QRectF& body) const {
    if (series == StartupSeries::classic) {
        drawClassicBody(painter, body);
        return;
    }
    const double w = body.width();
    const double h = body.height();
    const double radius = layout().cornerRadius * w;
    const QPainterPath bodyPath = roundedRect(body, radius);
    if ((series == StartupSeries::nano && within(generation, 0, 2)) ||
        (series == StartupSeries::shuffle && generation == 0)) {
        drawSolidBody(painter, body, bodyPath, radius);
        return;
    }

    // Anodised aluminium.
    const QColor swatch = finish.swatchColor();
    const double tabY =
        series == StartupSeries::shuffle && generation == 1 ? body.bottom() - 2.0 : 0.0;
    fill(painter,
         roundedRect(QRectF(body.left() + 0.23 * w, tabY, 0.18 * w, body.top() + 2.0), 1.0),
         swatch);
    fill(painter, bodyPath,
         horizontalStops(body,
                         {{0.0, black(0.65)}, {0.09, swatch}, {0.76, swatch}, {1.0, black(0.72)}}));
    fill(painter, bodyPath,
         verticalStops(body, {{0.0, white(0.31)}, {0.39, clear()}, {1.0, black(0.24)}}));
    stroke(painter, bodyPath, white(0.27), std::max(0.01 * w, 0.6));
    if (series == StartupSeries::shuffle && generation == 2)
        fill(painter, ellipse(QRectF(body.center().x() - 1.5, body.top() + 0.14 * h, 3.0, 3.0)),
             black(0.65));
}

void StartupDeviceVector::Drawing::drawClassicBody(QPainter& painter, const QRectF& body) const {
    const double w = body.width();
    const double radius = layout().cornerRadius * w;
    const QPainterPath bodyPath = roundedRect(body, radius);
    const bool isBlack = finish == Finish::black;
    const bool hasShell = generation != 2 && generation != 3 && generation != 5;

    double i = 0.0;
    if (hasShell) {
        i = generation == 4 ? 0.009 * w : 0.019 * w;
        if (generation == 4)
            fill(painter, bodyPath,
                 isBlack ? diagonal(body, {grey(0.66), grey(0.08), grey(0.24)})
                         : diagonal(body, {grey(0.38), grey(0.86), grey(0.49)}));
        else
            fill(painter, bodyPath, diagonal(body, {grey(0.72), grey(0.96), grey(0.65)}));
    }

    const QRectF face = inset(body, i, i);
    const QPainterPath facePath = roundedRect(face, radius - i);
    switch (generation) {
    case 2:
        fill(painter, facePath, diagonal(body, {grey(0.97), grey(0.86)}));
        break;
    case 3:
        fill(painter, facePath, diagonal(body, {grey(0.99), grey(0.94)}));
        break;
    case 4:
        fill(painter, facePath,
             isBlack ? diagonal(body, {grey(0.075), grey(0.035)})
                     : diagonal(body, {grey(0.96), grey(0.87)}));
        break;
    case 5:
        fill(painter, facePath,
             isBlack ? diagonal(body, {grey(0.39), grey(0.22)})
                     : diagonal(body, {grey(0.92), grey(0.69)}));
        break;
    default:
        fill(painter, facePath, diagonal(body, {grey(0.985), grey(0.925)}));
        break;
    }

    if (generation == 2 || generation == 3 || generation == 5) {
        // Inner shadow: a blurred stroke kept inside the face.
        const double s = generation == 5 ? 0.044 * w : 0.036 * w;
        PainterState state(painter);
        painter.setClipPath(facePath, Qt::IntersectClip);
        drawBlurred(painter, body, 0.5 * s, [&](QPainter& layer) {
            stroke(layer, facePath, diagonal(body, {black(0.24), black(0.07), black(0.4)}),
                   1.6 * s);
        });
    } else if (generation == 4) {
        PainterState state(painter);
        painter.setClipPath(facePath, Qt::IntersectClip);
        QPainterPath gloss;
        gloss.moveTo(face.left() + 0.16 * face.width(), face.top());
        gloss.lineTo(face.right(), face.top());
        gloss.lineTo(face.right(), face.bottom() - 0.05 * face.height());
        gloss.closeSubpath();
        const double alpha = isBlack ? 0.46 : 0.58;
        fill(painter, gloss,
             gradient(QPointF(face.center().x(), face.top()),
                      QPointF(face.center().x(), face.bottom()), {white(alpha), clear()}));
    } else {
        stroke(painter, facePath, white(0.63), 0.45 * i);
    }
}

void StartupDeviceVector::Drawing::drawSolidBody(QPainter& painter, const QRectF& body,
                                                 const QPainterPath& bodyPath,
                                                 double bodyRadius) const {
    const double w = body.width();
    const double h = body.height();
    fill(painter, bodyPath, bodyColor());

    if (series == StartupSeries::shuffle) {
        // The stick's cap.
        const double capY = body.top() + 0.835 * h;
        {
            PainterState state(painter);
            painter.setClipPath(bodyPath, Qt::IntersectClip);
            painter.fillRect(QRectF(body.left(), capY, w, body.bottom() - capY), black(0.045));
            QPainterPath line;
            line.moveTo(body.left(), capY);
            line.lineTo(body.right(), capY);
            stroke(painter, line, black(0.24), 0.6);
        }
        stroke(painter, bodyPath, black(0.28), 0.65);
        return;
    }

    switch (generation) {
    case 0: {
        const double i = 0.012 * w;
        const QPainterPath face = roundedRect(inset(body, i, i), bodyRadius - i);
        stroke(painter, bodyPath, black(0.52), i);
        const double alpha = finish == Finish::black ? 0.12 : 0.5;
        fill(painter, face,
             gradient(body.topLeft(), QPointF(body.center().x(), body.bottom()),
                      {white(alpha), clear(), black(0.18)}));
        break;
    }
    case 1: {
        PainterState state(painter);
        painter.setClipPath(bodyPath, Qt::IntersectClip);
        fill(painter, bodyPath,
             gradientStops(body.topLeft(), body.topRight(),
                           {{0.0, black(0.63)},
                            {0.055, white(0.3)},
                            {0.17, clear()},
                            {0.84, clear()},
                            {0.94, white(0.24)},
                            {1.0, black(0.61)}}));
        break;
    }
    default: {
        const double s = 0.08 * w;
        PainterState state(painter);
        painter.setClipPath(bodyPath, Qt::IntersectClip);
        drawBlurred(painter, body, 0.45 * s, [&](QPainter& layer) {
            stroke(layer, bodyPath, diagonal(body, {white(0.42), clear(), black(0.6)}), s);
        });
        break;
    }
    }
}

void StartupDeviceVector::Drawing::drawScreen(QPainter& painter, const QRectF& screen) const {
    const bool isClassic = series == StartupSeries::classic;
    const bool isBlack = finish == Finish::black;
    const bool thinBezel = (isClassic && (generation == 4 || generation == 5)) ||
                           (!isClassic && within(generation, 0, 2));
    const double sw = screen.width();

    // Bezel.
    const double k = thinBezel ? 0.025 : (isClassic ? 0.038 : 0.055);
    const double bezelRadius = k * sw;
    const QPainterPath bezel = roundedRect(screen, bezelRadius);
    fill(painter, bezel, isClassic && within(generation, 0, 3) ? grey(0.3) : grey(0.07));
    stroke(painter, bezel, white(0.28), 0.7);

    // Glass.
    double j = 0.0;
    if (isClassic)
        j = generation == 4 ? 0.004 : generation == 5 ? 0.016 : 0.012;
    else
        j = within(generation, 0, 2) ? 0.008 : 0.05;
    const double amount = j * sw;
    const QRectF glass = inset(screen, amount, amount);
    const double glassRadius = thinBezel ? bezelRadius - 0.45 * amount : 0.035 * glass.width();
    const QPainterPath glassPath = roundedRect(glass, glassRadius);

    QColor first = rgb(0.17, 0.19, 0.24);
    QColor second = rgb(0.045, 0.05, 0.065);
    if (isClassic) {
        switch (generation) {
        case 0:
        case 1:
            first = rgb(0.57, 0.59, 0.53), second = rgb(0.79, 0.8, 0.74);
            break;
        case 2:
            first = rgb(0.65, 0.71, 0.78), second = rgb(0.79, 0.84, 0.9);
            break;
        case 3:
            first = rgb(0.6, 0.66, 0.76), second = rgb(0.77, 0.82, 0.9);
            break;
        case 4:
            first = isBlack ? grey(0.085) : grey(0.26);
            second = isBlack ? grey(0.045) : grey(0.23);
            break;
        case 5:
            first = isBlack ? grey(0.04) : grey(0.4);
            second = isBlack ? grey(0.0) : grey(0.32);
            break;
        default:
            break;
        }
    } else if (generation == 0 && finish == Finish::white) {
        first = rgb(0.89, 0.93, 0.97);
        second = rgb(0.94, 0.97, 1.0);
    } else if (within(generation, 0, 2)) {
        const double b = isBlack ? 0.055 : generation == 1 ? 0.27 : 0.16;
        first = grey(b);
        second = grey(0.87 * b);
    }
    fill(painter, glassPath, diagonal(glass, {first, second}));

    // Glare.
    if (isClassic && generation == 5) {
        PainterState state(painter);
        painter.setClipPath(glassPath, Qt::IntersectClip);
        QPainterPath quad;
        quad.moveTo(glass.center().x(), glass.top());
        quad.lineTo(glass.right(), glass.top());
        quad.lineTo(glass.right(), glass.bottom());
        quad.lineTo(glass.center().x() + 0.29 * glass.width(), glass.bottom());
        quad.closeSubpath();
        fill(painter, quad,
             gradient(glass.topLeft(),
                      QPointF(glass.left(), glass.center().y() + 0.15 * glass.height()),
                      {white(0.42), clear()}));
    } else if (!isClassic && generation >= 3) {
        PainterState state(painter);
        painter.setClipPath(glassPath, Qt::IntersectClip);
        QPainterPath triangle;
        triangle.moveTo(glass.topLeft());
        triangle.lineTo(glass.center().x() + 0.19 * glass.width(), glass.top());
        triangle.lineTo(glass.left(), glass.bottom() - 0.19 * glass.height());
        triangle.closeSubpath();
        fill(painter, triangle, white(0.07));
    }
}
