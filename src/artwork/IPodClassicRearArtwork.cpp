#include "artwork/IPodClassicRearArtwork.h"

#include "artwork/ArtSymbols.h"
#include "artwork/DeviceArt.h"
#include "artwork/IPodRearEngraving.h"

#include <array>

using namespace DeviceArt;

namespace IPodClassicRearArtwork {

namespace {

struct ClassicRearLayout {
    double cornerRadius;
    double rimWidth;
    double shadeEndY;
    double steelTone;
    double logoY;
    double logoSize;
    double wordmarkY;
    double wordmarkSize;
    double engravingY;
    double capacityY;
    const char* modelNumber;
};

constexpr std::array<ClassicRearLayout, 6> layouts = {{
    {0.066, 0.037, 0.48, 0.42, 0.425, 0.182, 0.55, 0.151, 0.13, 0.78, "M8541"},
    {0.071, 0.037, 0.72, 0.44, 0.422, 0.193, 0.56, 0.134, 0.13, 0.774, "A1019"},
    {0.076, 0.054, 0.84, 0.38, 0.448, 0.192, 0.571, 0.136, 0.15, 0.778, "A1040"},
    {0.085, 0.063, 1.07, 0.53, 0.417, 0.193, 0.557, 0.138, 0.16, 0.779, "A1059"},
    {0.088, 0.057, 0.72, 0.34, 0.378, 0.194, 0.514, 0.144, 0.16, 0.749, "A1136"},
    {0.085, 0.058, 1.03, 0.28, 0.372, 0.199, 0.512, 0.151, 0.11, 0.785, "A1238"},
}};

} // namespace

QString badgeText(const QString& capacity) {
    QString text;
    text.reserve(capacity.size());
    for (QChar c : capacity)
        if (!c.isSpace())
            text += c;
    return text;
}

void draw(int generation, StartupModel::Finish finish, QPainter& painter,
          const std::optional<QString>& capacity, const std::optional<QString>& engraving,
          const QRectF& rect) {
    if (generation < 0 || generation >= int(layouts.size()))
        return;
    const ClassicRearLayout& row = layouts[std::size_t(generation)];
    const double W = rect.width();
    const double H = rect.height();
    const double minX = rect.left();
    const double minY = rect.top();
    const double midX = rect.center().x();
    auto y = [&](double f) { return minY + f * H; };
    const bool isBlack = finish == StartupModel::Finish::black;
    const QColor logoColour = grey(0.91, 0.77);

    // Outer back.
    const QPainterPath outer = roundedRect(rect, row.cornerRadius * W);
    fill(painter, outer,
         gradientStops(QPointF(minX, y(0.18)), QPointF(rect.right(), y(0.34)),
                       {{0.0, grey(0.27)},
                        {0.024, grey(1.0)},
                        {0.055, grey(0.31)},
                        {0.38, grey(0.65)},
                        {0.83, grey(0.24)},
                        {0.973, grey(1.0)},
                        {1.0, grey(0.36)}}));

    // Inner steel face.
    const double rim = row.rimWidth * W;
    const QRectF faceRect = rect.adjusted(0.7 * rim, 0.76 * rim, -0.7 * rim, -0.76 * rim);
    const QPainterPath face = roundedRect(faceRect, row.cornerRadius * W - 0.48 * rim);
    const double s = row.steelTone;
    fill(painter, face,
         gradientStops(QPointF(minX + 0.14 * W, minY), QPointF(minX + 1.04 * W, y(row.shadeEndY)),
                       {{0.0, grey(0.93)},
                        {0.2, grey(s + 0.22)},
                        {0.51, rgb(s, s + 0.024, s + 0.05)},
                        {0.79, rgb(s - 0.11, s - 0.092, s - 0.075)},
                        {1.0, grey(0.51)}}));
    stroke(painter, face, vertical(rect, {white(0.62), clear(), black(0.32), white(0.74)}),
           0.009 * W);
    stroke(painter, outer, isBlack ? black(0.38) : white(0.38), 0.006 * W);

    if (generation >= 2) {
        const double bandHeight = 0.014 * W;
        fill(
            painter,
            roundedRect(QRectF(midX - 0.197 * W, rect.bottom() - bandHeight, 0.394 * W, bandHeight),
                        0.31 * bandHeight),
            isBlack ? grey(0.17) : grey(0.72));
    }

    IPodRearEngraving::draw(engraving, painter, grey(0.18, 0.78), midX, y(row.engravingY), 0.84 * W,
                            0.058 * W, 0.0);

    ArtSymbols::draw(painter, QStringLiteral("apple.logo"), QPointF(midX, y(row.logoY)),
                     row.logoSize * W, logoColour);
    if (generation == 0)
        drawText(painter, QStringLiteral("iPod"), QPointF(midX, y(row.wordmarkY)),
                 row.wordmarkSize * W, QFont::Normal, logoColour, Family::serif);
    else
        drawText(painter, QStringLiteral("iPod"), QPointF(midX, y(row.wordmarkY)),
                 row.wordmarkSize * W, QFont::DemiBold, logoColour);

    QString modelNumber = QString::fromLatin1(row.modelNumber);
    if (capacity) {
        const QString text = badgeText(*capacity);
        if (generation != 0 || text == QLatin1String("10GB")) {
            const double fontSize = 0.057 * W;
            const double m = textWidth(text, fontSize, QFont::Medium);
            const double cy = y(row.capacityY);
            stroke(painter,
                   roundedRect(
                       QRectF(midX - 0.5 * m - 0.023 * W, cy - 0.039 * W, m + 0.046 * W, 0.078 * W),
                       0.012 * W),
                   logoColour, 0.006 * W);
            drawText(painter, text, QPointF(midX, cy), fontSize, QFont::Medium, logoColour);
        }
        if (generation == 3 && (text == QLatin1String("30GB") || text == QLatin1String("60GB")))
            modelNumber = QStringLiteral("A1099");
    }

    const double legalSize = 0.025 * W;
    drawText(painter, QStringLiteral("Designed by Apple in California"), QPointF(midX, y(0.837)),
             legalSize, QFont::Normal, logoColour);
    drawText(painter,
             generation <= 1 ? QStringLiteral("Assembled in Taiwan")
                             : QStringLiteral("Assembled in China"),
             QPointF(midX, y(0.855)), legalSize, QFont::Normal, logoColour);
    drawText(painter, QStringLiteral("Model No. ") + modelNumber, QPointF(midX, y(0.875)),
             legalSize, QFont::Normal, logoColour);

    const double markSize = 0.044 * W;
    if (generation == 5) {
        drawText(painter, QStringLiteral("FCC"), QPointF(minX + 0.277 * W, y(0.918)), markSize,
                 QFont::DemiBold, logoColour);
        ArtSymbols::draw(painter, QStringLiteral("trash"), QPointF(minX + 0.388 * W, y(0.919)),
                         markSize, logoColour);
        QPainterPath cross;
        cross.moveTo(minX + 0.36 * W, y(0.898));
        cross.lineTo(minX + 0.416 * W, y(0.94));
        cross.moveTo(minX + 0.416 * W, y(0.898));
        cross.lineTo(minX + 0.36 * W, y(0.94));
        stroke(painter, cross, logoColour, 0.005 * W);
        drawText(painter, QStringLiteral("CE   VCCI   ✓"), QPointF(minX + 0.625 * W, y(0.918)),
                 markSize, QFont::DemiBold, logoColour);
    } else {
        drawText(painter, QStringLiteral("FCC   CE   VCCI   ✓"), QPointF(midX, y(0.918)), markSize,
                 QFont::DemiBold, logoColour);
    }
}

} // namespace IPodClassicRearArtwork
