// The click wheels, the shuffles' control rings and the extra front buttons.

#include "artwork/ArtSymbols.h"
#include "artwork/DeviceArt.h"
#include "artwork/StartupDeviceVector.h"

#include <array>

using namespace DeviceArt;

namespace {

using Finish = StartupModel::Finish;

bool within(int value, int low, int high) {
    return value >= low && value <= high;
}

QRectF square(double cx, double cy, double d) {
    return QRectF(cx - d / 2, cy - d / 2, d, d);
}

QPainterPath line(QPointF from, QPointF to) {
    QPainterPath p;
    p.moveTo(from);
    p.lineTo(to);
    return p;
}

} // namespace

void StartupDeviceVector::Drawing::drawClickWheel(QPainter& painter, double cx, double cy,
                                                  double d) const {
    const bool isClassic = series == StartupSeries::classic;
    const bool isNano = series == StartupSeries::nano;
    const bool isShuffle = series == StartupSeries::shuffle;
    const bool isBlack = finish == Finish::black;
    const int g = generation;
    const QRectF disk = square(cx, cy, d);
    const QPainterPath diskPath = ellipse(disk);

    // Disk.
    QColor diskFrom = white(1.0);
    QColor diskTo = grey(0.77);
    if (isClassic && g == 3 && !isBlack)
        diskFrom = grey(0.87), diskTo = grey(0.82);
    else if (isClassic && g == 4 && !isBlack)
        diskFrom = grey(0.83), diskTo = grey(0.76);
    else if (isClassic && g == 5 && !isBlack)
        diskFrom = white(1.0), diskTo = grey(0.96);
    else if (isClassic && g == 2)
        diskFrom = grey(0.88), diskTo = grey(0.96);
    else if (isShuffle && g == 0)
        diskFrom = grey(0.87), diskTo = grey(0.65);
    else if (isNano && g == 0 && !isBlack)
        diskFrom = grey(0.87), diskTo = grey(0.65);
    else if (isNano && within(g, 0, 2) && isBlack)
        diskFrom = grey(0.28), diskTo = grey(0.13);
    else if (isNano && within(g, 1, 2))
        diskFrom = grey(0.99), diskTo = grey(0.95);
    else if (isBlack)
        diskFrom = grey(0.28), diskTo = grey(0.13);
    fill(painter, diskPath, diagonal(disk, {diskFrom, diskTo}));
    stroke(painter, diskPath, black(isClassic && within(g, 2, 4) ? 0.12 : 0.25), 0.6);

    // Scroll ring of the first two classics.
    if (isClassic && within(g, 0, 1)) {
        const QRectF ring = square(cx, cy, 0.792 * d);
        const QPainterPath ringPath = ellipse(ring);
        fill(painter, ringPath,
             g == 0 ? diagonal(ring, {grey(0.99), grey(0.86)})
                    : diagonal(ring, {grey(0.95), grey(0.92)}));
        stroke(painter, ringPath, black(g == 0 ? 0.45 : 0.24), 0.8);
        QPainterPath ticks;
        for (double sx : {-1.0, 1.0})
            for (double sy : {-1.0, 1.0})
                ticks.addPath(line(QPointF(cx + sx * 0.28 * d, cy + sy * 0.28 * d),
                                   QPointF(cx + sx * 0.352 * d, cy + sy * 0.352 * d)));
        stroke(painter, ticks, black(0.3), 0.6);
    }

    // Centre button.
    double k = 0.28;
    if (isShuffle && g == 0)
        k = 0.2;
    else if (isNano && g == 2)
        k = 0.255;
    else if (isClassic && within(g, 0, 1))
        k = 0.36;
    else if (isClassic && g == 3)
        k = 0.34;
    else if (isClassic && (g == 2 || g == 4 || g == 5))
        k = 0.32;

    QColor buttonColour = isBlack ? grey(0.2) : grey(0.89);
    if (isShuffle || (isNano && within(g, 3, 4)))
        buttonColour = finish.swatchColor();
    else if (isClassic && within(g, 3, 4))
        buttonColour = isBlack ? grey(0.1) : grey(0.96);

    const QRectF button = square(cx, cy, d - 2 * k * d);
    const QPainterPath buttonPath = ellipse(button);
    QBrush buttonFill(buttonColour);
    if (isShuffle && g == 0)
        buttonFill = diagonal(disk, {white(1.0), grey(0.86)});
    else if (isNano && g == 0 && !isBlack)
        buttonFill = grey(0.96);
    else if (isNano && within(g, 0, 2))
        buttonFill = bodyColor();
    else if (isClassic && g == 5)
        buttonFill = isBlack ? gradient(QPointF(cx, cy - d / 2), QPointF(cx, cy + d / 2),
                                        {grey(0.18), grey(0.34)})
                             : gradient(QPointF(cx, cy - d / 2), QPointF(cx, cy + d / 2),
                                        {grey(0.66), grey(0.86)});
    fill(painter, buttonPath, buttonFill);
    stroke(painter, buttonPath, black(isClassic && within(g, 3, 4) ? 0.06 : 0.27), 0.65);

    // The third classic's labels are on its touch buttons.
    if (isClassic && g == 2)
        return;

    QColor labelColour = isBlack ? grey(0.85) : grey(0.29);
    if (isShuffle && g == 0)
        labelColour = grey(0.43);
    else if (isNano && g == 0)
        labelColour = white(1.0);
    else if (isNano && within(g, 1, 2))
        labelColour = isBlack ? white(1.0) : rgb(0.46, 0.51, 0.56);
    else if (isClassic && within(g, 0, 1))
        labelColour = grey(0.42);
    else if (isClassic && within(g, 3, 4))
        labelColour = white(1.0);
    else if (isClassic && g == 5)
        labelColour = isBlack ? grey(0.85) : rgb(0.49, 0.54, 0.61);

    double r = 0.37 * d;
    double f = 0.105 * d;
    if (isClassic && within(g, 0, 1))
        r = 0.445 * d, f = 0.075 * d;
    else if (isClassic && within(g, 3, 5))
        r = 0.41 * d, f = 0.09 * d;
    else if (isNano && within(g, 0, 2))
        r = 0.41 * d, f = 0.075 * d;
    else if (isShuffle && g == 0)
        r = 0.4 * d, f = 0.078 * d;

    const bool altSymbols = isClassic || (isNano && within(g, 0, 2)) || (isShuffle && g == 0);

    if (isShuffle) {
        ArtSymbols::draw(painter, QStringLiteral("plus"), QPointF(cx, cy - r), f, labelColour);
        ArtSymbols::draw(painter, QStringLiteral("minus"), QPointF(cx, cy + r), f, labelColour);
        ArtSymbols::draw(painter, QStringLiteral("playpause.fill"), QPointF(cx, cy),
                         g == 0 ? 0.126 * d : 1.2 * f, g == 0 ? labelColour : white(1.0));
    } else {
        const QString menu =
            isClassic && within(g, 0, 1) ? QStringLiteral("menu") : QStringLiteral("MENU");
        drawText(painter, menu, QPointF(cx, cy - r), 0.7 * f, QFont::DemiBold, labelColour);
        ArtSymbols::draw(painter, QStringLiteral("playpause.fill"), QPointF(cx, cy + r), f,
                         labelColour);
    }
    ArtSymbols::draw(painter,
                     altSymbols ? QStringLiteral("backward.end.alt.fill")
                                : QStringLiteral("backward.end.fill"),
                     QPointF(cx - r, cy), f, labelColour);
    ArtSymbols::draw(painter,
                     altSymbols ? QStringLiteral("forward.end.alt.fill")
                                : QStringLiteral("forward.end.fill"),
                     QPointF(cx + r, cy), f, labelColour);
}

void StartupDeviceVector::Drawing::drawTouchButtonRow(QPainter& painter, const QRectF& body) const {
    static const std::array<QString, 4> labels = {
        QStringLiteral("backward.end.alt.fill"), QStringLiteral("MENU"),
        QStringLiteral("playpause.fill"), QStringLiteral("forward.end.alt.fill")};
    const double w = body.width();
    const double d = 0.184 * w;
    const QColor labelColour = rgb(0.9, 0.25, 0.12);
    for (int i = 0; i < 4; ++i) {
        const QPointF centre(body.left() + (0.22 * i + 0.175) * w,
                             body.top() + 0.483 * body.height());
        const QRectF box = square(centre.x(), centre.y(), d);
        const QPainterPath circle = ellipse(box);
        fill(painter, circle, diagonal(box, {grey(0.87), grey(0.97)}));
        stroke(painter, circle, black(0.14), 0.6);
        const QString& label = labels[std::size_t(i)];
        if (label == QLatin1String("MENU"))
            drawText(painter, label, centre, 0.18 * d, QFont::Bold, labelColour);
        else
            ArtSymbols::draw(painter, label, centre, 0.23 * d, labelColour);
    }
}

void StartupDeviceVector::Drawing::drawRoundButton(QPainter& painter, const QRectF& body) const {
    const double b = 0.15 * body.width();
    const QPainterPath button =
        ellipse(QRectF(body.center().x() - 0.5 * b, body.bottom() - 0.97 * b, b, b));
    fill(painter, button, black(0.63));
    stroke(painter, button, white(0.36), 0.6);
}
