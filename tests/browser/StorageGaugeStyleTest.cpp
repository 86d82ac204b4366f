#include "browser/StorageGaugeStyle.h"
#include "appmodel/LorvPalette.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <limits>

namespace {

constexpr int width = 200;

QImage drawn(double value) {
    QImage image(width, StorageGaugeStyle::barHeight, QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    StorageGaugeStyle::paint(painter, QRectF(0, 0, width, StorageGaugeStyle::barHeight), value);
    painter.end();
    return image;
}

QColor middleRow(const QImage& image, int x) {
    return image.pixelColor(x, StorageGaugeStyle::barHeight / 2);
}

bool near(const QColor& a, const QColor& b, int tolerance = 6) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

TEST(StorageGaugeStyle, EmptyGaugeDrawsOnlyTheTrack) {
    for (double value : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
        const QImage image = drawn(value);
        EXPECT_EQ(middleRow(image, 10), LorvPalette::slate600()) << value;
        EXPECT_EQ(middleRow(image, width / 2), LorvPalette::slate600()) << value;
        EXPECT_EQ(middleRow(image, width - 10), LorvPalette::slate600()) << value;
    }
}

TEST(StorageGaugeStyle, HalfFillsHalfTheWidthFromSkyToPeriwinkle) {
    const QImage image = drawn(0.5);
    EXPECT_TRUE(near(middleRow(image, 4), LorvPalette::sky()));
    EXPECT_TRUE(near(middleRow(image, width / 2 - 4), LorvPalette::periwinkle()));
    EXPECT_EQ(middleRow(image, width / 2 + 6), LorvPalette::slate600());
}

TEST(StorageGaugeStyle, FullFillsTheWholeWidthAndOverfullIsClamped) {
    for (double value : {1.0, 3.0}) {
        const QImage image = drawn(value);
        EXPECT_TRUE(near(middleRow(image, 4), LorvPalette::sky()));
        EXPECT_TRUE(near(middleRow(image, width - 4), LorvPalette::periwinkle()));
        EXPECT_FALSE(near(middleRow(image, width / 2), LorvPalette::slate600()));
    }
}

TEST(StorageGaugeStyle, GaugeWidgetIsSixHighAndPaintsItsValue) {
    StorageGaugeStyle::Gauge gauge;
    gauge.resize(120, 6);
    gauge.setValue(0.25);
    EXPECT_EQ(gauge.height(), StorageGaugeStyle::barHeight);
    const QImage image = gauge.grab().toImage();
    EXPECT_TRUE(near(image.pixelColor(3, 3), LorvPalette::sky()));
    EXPECT_EQ(image.pixelColor(100, 3), LorvPalette::slate600());
}
