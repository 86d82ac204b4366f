#include "artwork/IPodRearEngraving.h"
#include "ArtworkTestSupport.h"
#include "artwork/DeviceArt.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QPainter>

#include <numbers>

using namespace ArtworkTest;

namespace {

std::vector<RecordedText> engrave(const std::optional<QString>& text, double maxWidth,
                                  double fontSize, double angle = 0.0) {
    RecordingPaintDevice device(400, 400);
    QPainter painter(&device);
    IPodRearEngraving::draw(text, painter, Qt::black, 200, 150, maxWidth, fontSize, angle);
    painter.end();
    return device.texts();
}

const QRgb ink = qRgb(255, 0, 255);

} // namespace

TEST(IPodRearEngraving, FitFactorShrinksButNeverGrows) {
    EXPECT_DOUBLE_EQ(IPodRearEngraving::fitFactor(50, 100), 1.0);
    EXPECT_DOUBLE_EQ(IPodRearEngraving::fitFactor(200, 100), 0.5);
    EXPECT_DOUBLE_EQ(IPodRearEngraving::fitFactor(0.5, 100), 1.0);
    EXPECT_DOUBLE_EQ(IPodRearEngraving::fitFactor(0.5, 0.25), 0.25);
    EXPECT_DOUBLE_EQ(IPodRearEngraving::fitFactor(100, 100), 1.0);
}

TEST(IPodRearEngraving, DrawsAtTheFittedSizeOrNotAtAll) {
    EXPECT_TRUE(engrave(std::nullopt, 100, 12).empty());
    EXPECT_TRUE(engrave(QString(), 100, 12).empty());
    const auto space = engrave(QStringLiteral(" "), 100, 12);
    ASSERT_EQ(space.size(), 1u);
    EXPECT_NEAR(space[0].pixelSize, 12.0, 0.05);

    const QString text = QStringLiteral("Happy Birthday");
    const double full = DeviceArt::textWidth(text, 12, QFont::Medium);
    ASSERT_GT(full, 20);
    const auto fits = engrave(text, full + 1, 12);
    ASSERT_EQ(fits.size(), 1u);
    EXPECT_NEAR(fits[0].pixelSize, 12.0, 0.05);
    const auto halved = engrave(text, full / 2, 12);
    ASSERT_EQ(halved.size(), 1u);
    EXPECT_NEAR(halved[0].pixelSize, 6.0, 0.05);
    EXPECT_EQ(halved[0].text, text);
    EXPECT_EQ(halved[0].weight, int(QFont::Medium));
    // Text widths scale with the size, so the fitted line is as wide as allowed.
    EXPECT_NEAR(DeviceArt::textWidth(text, 6, QFont::Medium), full / 2, full * 0.01);
}

TEST(IPodRearEngraving, CentresOnThePointAndTurnsAboutIt) {
    for (double angle : {0.0, std::numbers::pi / 2}) {
        QImage image(300, 300, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.translate(10, 20);
        const QTransform before = painter.transform();
        IPodRearEngraving::draw(QStringLiteral("HHHHHHHH"), painter, QColor(ink), 140, 130, 1000,
                                24, angle);
        EXPECT_EQ(painter.transform(), before);
        painter.end();
        const QRect bounds = colourBounds(image, ink, 40);
        ASSERT_FALSE(bounds.isEmpty());
        EXPECT_NEAR(bounds.center().x(), 150, 2.5) << angle;
        EXPECT_NEAR(bounds.center().y(), 150, 2.5) << angle;
        if (angle == 0.0)
            EXPECT_GT(bounds.width(), bounds.height());
        else
            EXPECT_GT(bounds.height(), bounds.width());
    }
}

TEST(IPodRearEngraving, LongEngravingsFitTheirBacks) {
    const QString engraving = QStringLiteral("WWWWWWWWWWWWWWWWWWWWW");
    // The classic's engraving may be 0.84 of the width; drawn in dark grey on light steel, the
    // difference against a back without it is the engraving itself.
    const Drawing plain(StartupSeries::classic, 5, StartupModel::Finish::silver, true);
    Drawing engraved = plain;
    engraved.rearEngraving = engraving;
    const QImage a = render(plain, 300, 2).convertToFormat(QImage::Format_ARGB32);
    const QImage b = render(engraved, 300, 2).convertToFormat(QImage::Format_ARGB32);
    int left = a.width(), right = -1;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > 20) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    ASSERT_GE(right, 0);
    const QRectF body = Drawing::bodyRect(canvasSize(plain, 300));
    const double inkWidth = (right - left + 1) / 2.0;
    EXPECT_LE(inkWidth, 0.84 * body.width() + 1.0);
    EXPECT_GT(inkWidth, 0.7 * body.width());

    // The first shuffle's engraving runs up its side plate.
    RecordingPaintDevice device(200, 800);
    const Drawing stick(StartupSeries::shuffle, 0, StartupModel::Finish::white, true, std::nullopt,
                        engraving);
    const QSizeF size = canvasSize(stick, 600);
    record(stick, size, device);
    bool found = false;
    for (const RecordedText& t : device.texts())
        if (t.text == engraving) {
            found = true;
            const double width = DeviceArt::textWidth(engraving, t.pixelSize, QFont::Medium);
            EXPECT_LE(width, 0.72 * Drawing::bodyRect(size).height() + 0.5);
        }
    EXPECT_TRUE(found);
}

TEST(IPodRearEngraving, FontsResolveToTheFixedFamilies) {
    // Goldens and measurements rely on these families being installed.
    EXPECT_EQ(QFontInfo(DeviceArt::font(DeviceArt::Family::sans, QFont::Medium, 40)).family(),
              QStringLiteral("Liberation Sans"));
    EXPECT_EQ(QFontInfo(DeviceArt::font(DeviceArt::Family::serif, QFont::Normal, 40)).family(),
              QStringLiteral("Liberation Serif"));
}
