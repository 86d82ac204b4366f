#include "artwork/IPodShuffleRearArtwork.h"

#include "artwork/ArtSymbols.h"
#include "artwork/DeviceArt.h"
#include "artwork/IPodRearEngraving.h"

#include <numbers>

using namespace DeviceArt;

namespace IPodShuffleRearArtwork {

namespace {

using Finish = StartupModel::Finish;

bool hasText(const std::optional<QString>& text) {
    return text && !text->isEmpty();
}

QLinearGradient alongTop(const QRectF& rect, std::initializer_list<QColor> colours) {
    return gradient(rect.topLeft(), rect.topRight(), colours);
}

void drawFirstGeneration(QPainter& painter, const std::optional<QString>& engraving,
                         const QRectF& rect) {
    const Frame f{rect};
    const QColor S = grey(0.56);
    const bool engraved = hasText(engraving);
    const QRectF B = engraved ? QRectF(rect.left(), rect.top(), 0.84 * f.W(), f.H()) : rect;

    if (engraved) {
        const QRectF plate(f.x(0.68), f.y(0.007), 0.32 * f.W(), 0.986 * f.H());
        fill(painter, roundedRect(plate, 0.12 * f.W()),
             alongTop(plate, {grey(0.86), grey(0.78), grey(0.7)}));
        QPainterPath line;
        line.moveTo(B.right(), f.y(0.835));
        line.lineTo(plate.right(), f.y(0.835));
        stroke(painter, line, black(0.24), 0.014 * f.W());
        IPodRearEngraving::draw(engraving, painter, grey(0.36), f.x(0.915), f.y(0.422),
                                0.72 * f.H(), 0.105 * f.W(), std::numbers::pi / 2);
    }

    const double b = B.width();
    const QPainterPath body = roundedRect(B, 0.16 * b);
    fill(painter, body, alongTop(B, {grey(0.99), grey(0.96), grey(0.84)}));
    stroke(painter, body, black(0.18), 0.012 * b);

    PainterState state(painter);
    painter.setClipPath(body, Qt::IntersectClip);
    auto bx = [&](double fraction) { return B.left() + fraction * b; };
    auto bl = [&](double fraction) { return fraction * b; };

    const QRectF cap(B.left(), f.y(0.835), b, rect.bottom() - f.y(0.835));
    painter.fillRect(cap, QBrush(vertical(cap, {grey(0.98), grey(0.88)})));
    QPainterPath capEdge;
    capEdge.moveTo(cap.topLeft());
    capEdge.lineTo(cap.topRight());
    stroke(painter, capEdge, black(0.26), 0.014 * b);

    fill(painter, roundedRect(QRectF(bx(0.23), f.y(0.058), bl(0.59), 0.264 * f.H()), bl(0.055)),
         grey(0.72));
    fill(painter, roundedRect(QRectF(bx(0.25), f.y(0.064), bl(0.55), 0.032 * f.H()), bl(0.025)),
         rgb(0.52, 0.78, 0.45));
    const QRectF knob(bx(0.245), f.y(0.087), bl(0.56), 0.232 * f.H());
    const QPainterPath knobPath = roundedRect(knob, bl(0.05));
    fill(painter, knobPath, vertical(knob, {white(1.0), grey(0.91)}));
    stroke(painter, knobPath, white(0.8), bl(0.01));

    drawText(painter, QStringLiteral("OFF"), QPointF(bx(0.125), f.y(0.125)), bl(0.085),
             QFont::Normal, S);
    ArtSymbols::draw(painter, QStringLiteral("repeat"), QPointF(bx(0.125), f.y(0.201)), bl(0.095),
                     S);
    ArtSymbols::draw(painter, QStringLiteral("shuffle"), QPointF(bx(0.125), f.y(0.278)), bl(0.098),
                     S);

    const QRectF bar(bx(0.23), f.y(0.342), bl(0.59), 0.036 * f.H());
    const QPainterPath barPath = roundedRect(bar, bar.height() / 2);
    fill(painter, barPath, grey(0.96));
    stroke(painter, barPath, withOpacity(S, 0.53), bl(0.012));
    fill(painter, ellipse(QRectF(bx(0.281), f.y(0.355), bl(0.037), 0.011 * f.H())), S);
    ArtSymbols::draw(painter, QStringLiteral("battery.100"), QPointF(bx(0.125), f.y(0.36)),
                     bl(0.096), S);

    ArtSymbols::draw(painter, QStringLiteral("apple.logo"), QPointF(bx(0.5), f.y(0.523)), bl(0.31),
                     S);
    drawText(painter, QStringLiteral("iPod"), QPointF(bx(0.5), f.y(0.628)), bl(0.245),
             QFont::Normal, S);
    drawText(painter, QStringLiteral("Designed by Apple in California"),
             QPointF(bx(0.5), f.y(0.779)), bl(0.043), QFont::Normal, S);
    drawText(painter, QStringLiteral("Assembled in China  Model No. A1112"),
             QPointF(bx(0.5), f.y(0.8)), bl(0.04), QFont::Normal, S);
}

void drawSecondGeneration(Finish finish, QPainter& painter, const std::optional<QString>& engraving,
                          const QRectF& rect) {
    const Frame f{rect};
    const QColor k = clipColor(finish, 1);
    const QColor T = finish == Finish::silver ? grey(0.5) : white(0.78);

    fill(painter, roundedRect(rect, 0.055 * f.H()), vertical(rect, {k, black(0.86)}));

    const QRectF strip(f.x(0.007), f.y(0.953), 0.986 * f.W(), 0.047 * f.H());
    fill(painter, roundedRect(strip, 0.4 * strip.height()),
         vertical(strip, {grey(0.9), grey(0.68)}));
    fill(painter, ellipse(QRectF(f.x(0.15), f.y(0.965), 0.052 * f.W(), 0.025 * f.H())), grey(0.17));
    fill(painter, ellipse(QRectF(f.x(0.848), f.y(0.971), 0.023 * f.W(), 0.011 * f.H())),
         black(0.42));

    const QRectF arm(f.x(0.874), f.y(0.025), 0.121 * f.W(), 0.934 * f.H());
    const QPainterPath armPath = roundedRect(arm, 0.063 * f.H());
    fill(painter, armPath, k);
    fill(painter, armPath, alongTop(arm, {black(0.45), clear(), white(0.31)}));

    const QRectF F(f.x(0.012), f.y(0.005), 0.971 * f.W(), 0.941 * f.H());
    const QPainterPath face = roundedRect(F, 0.053 * f.H());
    fill(painter, face, k);
    fill(painter, face, vertical(F, {white(0.31), clear(), black(0.14)}));
    stroke(painter, face, white(0.3), 0.012 * f.H());

    ArtSymbols::draw(painter, QStringLiteral("apple.logo"), f.at(0.5, 0.372), 0.248 * f.H(), T);
    drawText(painter, QStringLiteral("iPod"), f.at(0.5, 0.59), 0.191 * f.H(), QFont::Normal, T);
    IPodRearEngraving::draw(engraving, painter, T, f.x(0.5), f.y(0.113), 0.88 * F.width(),
                            0.077 * f.H(), 0.0);
}

void drawThirdGeneration(Finish finish, QPainter& painter, const std::optional<QString>& engraving,
                         const QRectF& rect) {
    const Frame f{rect};
    const QColor k = clipColor(finish, 2);

    const QPainterPath back = roundedRect(rect, 0.07 * f.W());
    fill(painter, back, k);
    fill(painter, back, alongTop(rect, {black(0.33), white(0.29), clear(), black(0.32)}));
    stroke(painter, back, black(0.3), 0.018 * f.W());

    const QRectF R(f.x(0.063), f.y(0.059), 0.874 * f.W(), 0.872 * f.H());
    fill(painter,
         roundedRect(R.adjusted(-0.025 * f.W(), -0.014 * f.W(), 0.025 * f.W(), 0.014 * f.W()),
                     0.14 * f.W()),
         black(0.34));
    const QPainterPath face = roundedRect(R, 0.12 * f.W());
    fill(painter, face, diagonal(R, {grey(0.61), grey(0.92), grey(0.79), grey(0.63)}));
    stroke(painter, face, white(0.59), 0.013 * f.W());

    const QRectF slot(f.x(0.136), f.y(0.071), 0.728 * f.W(), 0.027 * f.H());
    fill(painter, roundedRect(slot, 0.46 * slot.height()),
         vertical(slot, {grey(0.39), grey(0.76)}));

    ArtSymbols::draw(painter, QStringLiteral("apple.logo"), f.at(0.5, 0.455), 0.39 * f.W(),
                     grey(0.56));
    IPodRearEngraving::draw(engraving, painter, grey(0.37), f.x(0.5), f.y(0.824), 0.88 * f.W(),
                            0.111 * f.W(), 0.0);
}

void drawFourthGeneration(Finish finish, QPainter& painter, const std::optional<QString>& engraving,
                          const QRectF& rect) {
    const Frame f{rect};
    const QColor k = clipColor(finish, 3);
    const QColor T = finish == Finish::silver ? grey(0.52) : white(0.61);

    const QPainterPath back = roundedRect(rect, 0.055 * f.W(), 0.027 * f.H());
    fill(painter, back, k);
    fill(painter, back, alongTop(rect, {black(0.42), white(0.29), clear(), black(0.32)}));
    stroke(painter, back, black(0.16), 0.007 * f.H());

    const QRectF clip(f.x(0.007), f.y(0.04), 0.986 * f.W(), 0.951 * f.H());
    const QPainterPath clipPath = roundedRect(clip, 0.105 * f.H());
    fill(painter, clipPath, k);
    fill(painter, clipPath, vertical(clip, {black(0.28), clear(), white(0.22)}));

    const QRectF faceRect(f.x(0.009), f.y(0.043), 0.982 * f.W(), 0.924 * f.H());
    const QPainterPath face = roundedRect(faceRect, 0.093 * f.H());
    fill(painter, face, k);
    fill(painter, face, diagonal(faceRect, {white(0.24), clear(), black(0.105), white(0.12)}));
    stroke(painter, face, black(0.24), 0.006 * f.H());

    ArtSymbols::draw(painter, QStringLiteral("apple.logo"), f.at(0.5, 0.477), 0.375 * f.H(), T);
    IPodRearEngraving::draw(engraving, painter, T, f.x(0.5), f.y(0.146), 0.86 * f.W(),
                            0.072 * f.H(), 0.0);

    drawText(painter, QStringLiteral("○"), f.at(0.031, 0.02), 0.037 * f.H(), QFont::Normal, T);
    ArtSymbols::draw(painter, QStringLiteral("repeat"), f.at(0.099, 0.02), 0.039 * f.H(), T);
    ArtSymbols::draw(painter, QStringLiteral("shuffle"), f.at(0.179, 0.02), 0.04 * f.H(), T);
    ArtSymbols::draw(painter, QStringLiteral("bubble.left"), f.at(0.391, 0.02), 0.041 * f.H(), T);
}

} // namespace

QColor clipColor(StartupModel::Finish finish, int generation) {
    switch (finish) {
    case Finish::silver:
        return rgb(0.73, 0.74, 0.74);
    case Finish::darkGray:
        return rgb(0.33, 0.34, 0.35);
    case Finish::blue:
        return generation == 1   ? rgb(0.34, 0.68, 0.78)
               : generation == 2 ? rgb(0.5, 0.73, 0.79)
                                 : rgb(0.32, 0.5, 0.69);
    case Finish::green:
        return generation == 1   ? rgb(0.6, 0.72, 0.19)
               : generation == 2 ? rgb(0.58, 0.67, 0.45)
                                 : rgb(0.55, 0.62, 0.38);
    case Finish::orange:
        return generation == 1   ? rgb(0.89, 0.45, 0.15)
               : generation == 2 ? finish.swatchColor()
                                 : rgb(0.78, 0.48, 0.16);
    case Finish::pink:
        return generation == 1   ? rgb(0.87, 0.49, 0.65)
               : generation == 2 ? rgb(0.8, 0.46, 0.63)
                                 : rgb(0.8, 0.49, 0.62);
    default:
        return finish.swatchColor();
    }
}

void draw(int generation, StartupModel::Finish finish, QPainter& painter,
          const std::optional<QString>& engraving, const QRectF& rect) {
    switch (generation) {
    case 0:
        drawFirstGeneration(painter, engraving, rect);
        break;
    case 1:
        drawSecondGeneration(finish, painter, engraving, rect);
        break;
    case 2:
        drawThirdGeneration(finish, painter, engraving, rect);
        break;
    default:
        drawFourthGeneration(finish, painter, engraving, rect);
        break;
    }
}

} // namespace IPodShuffleRearArtwork
