#include "artwork/IPodNanoRearArtwork.h"

#include "artwork/ArtSymbols.h"
#include "artwork/DeviceArt.h"
#include "artwork/IPodRearEngraving.h"

using namespace DeviceArt;

namespace IPodNanoRearArtwork {

namespace {

using Finish = StartupModel::Finish;

void drawMirrorPlate(QPainter& painter, const QRectF& r, double corner) {
    const QPainterPath plate = roundedRect(r, corner);
    const double w = r.width();
    fill(painter, plate,
         gradientStops(r.topLeft(), QPointF(r.left() + 0.93 * w, r.top() + 0.23 * r.height()),
                       {{0.0, grey(0.21)},
                        {0.025, grey(0.92)},
                        {0.055, grey(0.42)},
                        {0.125, grey(0.81)},
                        {0.38, grey(0.89)},
                        {0.54, grey(0.76)},
                        {0.78, grey(0.7)},
                        {0.96, grey(0.93)},
                        {1.0, grey(0.49)}}));
    fill(painter, plate,
         verticalStops(r, {{0.0, white(0.74)},
                           {0.035, clear()},
                           {0.79, clear()},
                           {0.955, black(0.23)},
                           {0.988, white(0.65)},
                           {1.0, black(0.56)}}));
    stroke(painter, plate, black(0.29), 0.007 * w);
}

void drawAnodizedBack(const QPainterPath& outline, QPainter& painter, const QColor& colour,
                      bool strong, const QRectF& rect) {
    fill(painter, outline, colour);
    if (strong)
        fill(painter, outline,
             horizontalStops(rect, {{0.0, black(0.6)},
                                    {0.037, white(0.68)},
                                    {0.09, white(0.1)},
                                    {0.49, clear()},
                                    {0.81, black(0.37)},
                                    {1.0, black(0.58)}}));
    else
        fill(painter, outline,
             horizontalStops(rect, {{0.0, black(0.6)},
                                    {0.037, white(0.38)},
                                    {0.24, white(0.25)},
                                    {0.49, clear()},
                                    {0.81, black(0.12)},
                                    {1.0, black(0.58)}}));
    fill(painter, outline,
         verticalStops(
             rect, {{0.0, white(0.23)}, {0.024, clear()}, {0.966, clear()}, {1.0, black(0.32)}}));
    stroke(painter, outline, black(0.26), 0.005 * rect.width());
}

void drawLegalBlock(const QString& modelNumber, const QColor& colour, QPainter& painter, double fx,
                    double fy, const QRectF& rect) {
    const Frame f{rect};
    const QColor c = withOpacity(colour, 0.76);
    drawText(painter, QStringLiteral("Designed by Apple in California  Assembled in China"),
             f.at(fx, fy), 0.024 * f.W(), QFont::Normal, c);
    drawText(painter, QStringLiteral("Model No. ") + modelNumber, f.at(fx, fy + 0.016),
             0.024 * f.W(), QFont::Normal, c);

    const QStringList row = marks(modelNumber);
    const double n = double(row.size());
    for (qsizetype i = 0; i < row.size(); ++i) {
        const QPointF point = f.at(fx + (double(i) - (n - 1) / 2) * 0.13, fy + 0.054);
        const QString& mark = row[i];
        if (mark == QStringLiteral("×")) {
            // A symbol sized to fill a square of 0.042 W.
            ArtSymbols::draw(painter, QStringLiteral("trash"), point, 0.042 * f.W() / 0.8, c);
            drawText(painter, mark, point, 0.069 * f.W(), QFont::Light, c);
        } else {
            const double size = mark == QLatin1String("VCCI") ? 0.036 : 0.053;
            drawText(painter, mark, point, size * f.W(), QFont::Light, c);
        }
    }
}

void drawCameraModule(QPainter& painter, const QRectF& rect) {
    const Frame f{rect};
    const QRectF housing(f.x(0.086), f.y(0.768), 0.124 * f.W(), 0.126 * f.H());
    const QPainterPath housingPath = roundedRect(housing, housing.width() / 2);
    fill(painter, housingPath,
         gradientStops(housing.topLeft(), housing.topRight(),
                       {{0.0, grey(0.13)},
                        {0.13, grey(0.41)},
                        {0.21, grey(0.2)},
                        {0.9, grey(0.095)},
                        {1.0, grey(0.56)}}));
    stroke(painter, housingPath, white(0.39), 0.005 * f.W());
    fill(painter, circle(f.at(0.148, 0.869), 0.081 * f.W()),
         gradientStops(f.at(0.11, 0.85), f.at(0.19, 0.89),
                       {{0.0, grey(0.72)}, {0.4, grey(0.12)}, {1.0, grey(0.34)}}));
    fill(painter, circle(f.at(0.148, 0.869), 0.035 * f.W()), grey(0.035));
    fill(painter, circle(f.at(0.15, 0.865), 0.015 * f.W()), rgb(0.26, 0.42, 0.51));
    fill(painter, circle(f.at(0.148, 0.795), 0.021 * f.W()), grey(0.64));
    fill(painter, circle(f.at(0.148, 0.795), 0.012 * f.W()), grey(0.07));
}

void drawClipBack(Finish finish, const QColor& colour, QPainter& painter, const QRectF& rect) {
    const Frame f{rect};
    drawAnodizedBack(roundedRect(rect, 0.025 * f.W()), painter, colour, false, rect);
    const QRectF clip(f.x(0.064), f.y(0.004), 0.872 * f.W(), 0.898 * f.H());
    fill(painter, roundedRect(clip.translated(0, 0.039 * f.H()), 0.132 * f.W()), black(0.48));
    const QPainterPath face = roundedRect(clip, 0.132 * f.W());
    fill(painter, face, colour);
    fill(painter, face,
         gradientStops(clip.topLeft(), clip.bottomRight(),
                       {{0.0, white(0.24)}, {0.55, clear()}, {1.0, black(0.17)}}));
    stroke(painter, face, white(0.41), 0.007 * f.W());
    ArtSymbols::draw(painter, QStringLiteral("apple.logo"), f.at(0.5, 0.448), 0.42 * f.W(),
                     finish == Finish::silver ? black(0.33) : white(0.48));
}

} // namespace

QColor backColor(StartupModel::Finish finish) {
    switch (finish) {
    case Finish::white:
    case Finish::silver:
        return grey(0.73);
    case Finish::darkGray:
        return grey(0.34);
    case Finish::black:
        return grey(0.24);
    case Finish::blue:
        return rgb(0.06, 0.55, 0.77);
    case Finish::green:
        return rgb(0.45, 0.64, 0.17);
    case Finish::orange:
        return rgb(0.89, 0.39, 0.08);
    case Finish::yellow:
        return rgb(0.91, 0.74, 0.14);
    case Finish::pink:
        return rgb(0.87, 0.35, 0.58);
    case Finish::purple:
        return rgb(0.37, 0.22, 0.68);
    case Finish::red:
        return rgb(0.72, 0.075, 0.15);
    }
    return grey(0.73);
}

QStringList marks(const QString& modelNumber) {
    if (modelNumber == QLatin1String("A1137"))
        return {QStringLiteral("FCC"), QStringLiteral("CE"), QStringLiteral("VCCI"),
                QStringLiteral("✓")};
    if (modelNumber == QLatin1String("A1446"))
        return {QStringLiteral("FCC"), QStringLiteral("×"), QStringLiteral("CE")};
    return {QStringLiteral("FCC"), QStringLiteral("×"), QStringLiteral("CE"),
            QStringLiteral("VCCI"), QStringLiteral("✓")};
}

QPainterPath curvedOutline(const QRectF& rect, double top, double bottom) {
    const double minX = rect.left();
    const double maxX = rect.right();
    const double minY = rect.top();
    const double midX = rect.center().x();
    const double H = rect.height();
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.moveTo(minX, minY + top * H);
    path.quadTo(QPointF(midX, minY - top * H), QPointF(maxX, minY + top * H));
    path.lineTo(maxX, minY + (1 - bottom) * H);
    path.quadTo(QPointF(midX, minY + (1 + bottom) * H), QPointF(minX, minY + (1 - bottom) * H));
    path.closeSubpath();
    return path;
}

void draw(int generation, StartupModel::Finish finish, QPainter& painter,
          const std::optional<QString>& capacity, const std::optional<QString>& engraving,
          const QRectF& rect) {
    if (generation < 0 || generation > 6)
        return;
    const Frame f{rect};
    const QColor back = backColor(finish);
    const QColor lightText = white(0.84);
    const QColor anodizedText = finish == Finish::silver ? grey(0.39) : lightText;
    const bool isBlack = finish == Finish::black;
    const bool isDark = isBlack || finish == Finish::darkGray;

    struct Row {
        const char* modelNumber;
        double logoY;
        double logoSize;
        double wordmarkY;
        double wordmarkSize;
        QColor text;
        QColor badge;
        double badgeY; // 0: no badge
        double legalX;
        double legalY; // 0: no legal block
        QColor legal;
        double engravingY;
        QColor engraving;
    };
    Row row{};
    switch (generation) {
    case 0:
        row = {"A1137", 0.355, 0.3145, 0.467,      0.17,  grey(0.29), grey(0.3),
               0.755,   0.5,   0.842,  grey(0.27), 0.071, grey(0.33)};
        break;
    case 1:
        row = {"A1199", 0.355, 0.3145, 0.46,         0.17,  anodizedText, anodizedText,
               0.752,   0.5,   0.838,  anodizedText, 0.063, anodizedText};
        break;
    case 2:
        row = {"A1236", 0.318, 0.259, 0.465,     0.14,  grey(0.3), grey(0.3),
               0.671,   0.5,   0.792, grey(0.3), 0.087, grey(0.33)};
        break;
    case 3:
        row = {"A1285", 0.374, 0.3182, 0.502,        0.172, anodizedText, anodizedText,
               0.799,   0.5,   0.883,  anodizedText, 0.063, anodizedText};
        break;
    case 4:
        row = {"A1320", 0.382, 0.3182, 0.514,     0.172, lightText,   lightText,
               0.0,     0.56,  0.809,  lightText, 0.07,  anodizedText};
        break;
    case 5:
        row = {"",  0.448, 0.42, 0.0,          0.0,   anodizedText, anodizedText,
               0.0, 0.0,   0.0,  anodizedText, 0.096, anodizedText};
        break;
    default: {
        const QColor etched = black(isDark ? 0.68 : 0.29);
        row = {"A1446", 0.365, 0.30895, 0.526,  0.167, etched,     etched,
               0.0,     0.5,   0.78,    etched, 0.074, black(0.68)};
        break;
    }
    }

    // Back and the details drawn with it.
    switch (generation) {
    case 0:
        fill(painter, roundedRect(rect, 0.07 * f.W()), isBlack ? grey(0.11) : grey(0.91));
        drawMirrorPlate(painter,
                        rect.adjusted(0.014 * f.W(), 0.012 * f.W(), -0.014 * f.W(), -0.012 * f.W()),
                        0.06 * f.W());
        break;
    case 1:
        drawAnodizedBack(roundedRect(rect, 0.022 * f.W()), painter, back, false, rect);
        fill(painter,
             roundedRect(QRectF(f.x(0.02), f.y(0.986), 0.96 * f.W(), 0.014 * f.H()), 0.012 * f.W()),
             isBlack ? grey(0.1) : grey(0.8));
        break;
    case 2:
        drawMirrorPlate(painter, rect, 0.092 * f.W());
        break;
    case 3:
        drawAnodizedBack(curvedOutline(rect, 0.018, 0.01), painter, back, false, rect);
        break;
    case 4:
        drawAnodizedBack(curvedOutline(rect, 0.013, 0.012), painter, back, true, rect);
        break;
    case 5:
        drawClipBack(finish, back, painter, rect);
        break;
    default: {
        const QPainterPath outline = roundedRect(rect, 0.032 * f.W());
        drawAnodizedBack(outline, painter, back, false, rect);
        const QRectF key(f.x(0.972), f.y(0.087), 0.019 * f.W(), 0.346 * f.H());
        fill(painter, roundedRect(key, 0.012 * f.W()), black(0.35));
        const double k = 0.005 * f.W();
        fill(painter, roundedRect(key.adjusted(k, k, -k, -k), 0.006 * f.W()),
             withOpacity(back, 0.76));
        PainterState state(painter);
        painter.setClipPath(outline, Qt::IntersectClip);
        const QPainterPath window =
            roundedRect(QRectF(f.x(0.267), f.y(0.916), 0.466 * f.W(), 0.1 * f.H()), 0.033 * f.W());
        fill(painter, window, isDark ? grey(0.18) : grey(0.89));
        stroke(painter, window, black(0.24), 0.005 * f.W());
        break;
    }
    }

    if (generation != 5) {
        ArtSymbols::draw(painter, QStringLiteral("apple.logo"), f.at(0.5, row.logoY),
                         row.logoSize * f.W(), row.text);
        drawText(painter, QStringLiteral("iPod"), f.at(0.5, row.wordmarkY),
                 row.wordmarkSize * f.W(), QFont::Medium, row.text);
        if (generation <= 3 && capacity) {
            const QString text = QString(*capacity).remove(u' ');
            const double h = 0.099 * f.W();
            const double cy = f.y(row.badgeY);
            stroke(painter,
                   roundedRect(QRectF(f.x(0.5) - 0.105 * f.W(), cy - h / 2, 0.21 * f.W(), h),
                               0.17 * h),
                   withOpacity(row.badge, 0.74), 0.004 * f.W());
            drawText(painter, text, QPointF(f.x(0.5), cy), 0.055 * f.W(), QFont::Normal, row.badge);
        }
        if (generation == 4)
            drawCameraModule(painter, rect);
        drawLegalBlock(QString::fromLatin1(row.modelNumber), row.legal, painter, row.legalX,
                       row.legalY, rect);
    }

    IPodRearEngraving::draw(engraving, painter, row.engraving, f.x(0.5), f.y(row.engravingY),
                            0.74 * f.W(), (generation == 5 ? 0.045 : 0.064) * f.W(), 0.0);
}

} // namespace IPodNanoRearArtwork
