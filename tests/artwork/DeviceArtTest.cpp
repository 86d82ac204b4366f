#include "artwork/DeviceArt.h"
#include "ArtworkTestSupport.h"
#include "artwork/ArtSymbols.h"

#include <gtest/gtest.h>

#include <QPainter>

using namespace DeviceArt;

namespace {

QImage blank(int w, int h, double ratio = 1.0) {
    QImage image(int(w * ratio), int(h * ratio), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    return image;
}

qint64 alphaSum(const QImage& image) {
    qint64 sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            sum += qAlpha(image.pixel(x, y));
    return sum;
}

} // namespace

TEST(DeviceArt, BlurSpreadsInkWithoutLosingIt) {
    QImage image = blank(80, 80);
    {
        QPainter p(&image);
        p.fillRect(QRect(30, 30, 20, 20), Qt::black);
    }
    const qint64 before = alphaSum(image);
    blurImage(image, 4.0);
    EXPECT_NEAR(double(alphaSum(image)), double(before), before * 0.02);
    EXPECT_GT(qAlpha(image.pixel(26, 40)), 20);  // spread outward
    EXPECT_LT(qAlpha(image.pixel(40, 40)), 255); // centre still strongest but softened
    EXPECT_GT(qAlpha(image.pixel(40, 40)), 200);
    EXPECT_EQ(qAlpha(image.pixel(5, 5)), 0);
}

TEST(DeviceArt, BlurredLayerStaysInsideTheClipAtEveryPixelRatio) {
    for (double ratio : {1.0, 2.0}) {
        QImage image = blank(100, 100, ratio);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        const QPainterPath clip = roundedRect(QRectF(20, 20, 60, 60), 10);
        {
            PainterState state(p);
            p.setClipPath(clip);
            drawBlurred(p, QRectF(0, 0, 100, 100), 3.0,
                        [](QPainter& layer) { layer.fillRect(QRectF(10, 10, 50, 50), Qt::black); });
        }
        EXPECT_FALSE(p.hasClipping());
        p.end();
        const QRect ink = ArtworkTest::alphaBounds(image, 0);
        ASSERT_FALSE(ink.isEmpty());
        EXPECT_GE(ink.left(), int(20 * ratio) - 1);
        EXPECT_GE(ink.top(), int(20 * ratio) - 1);
        // The blur reaches past the square's right edge at 60 but the clip ends at 80.
        EXPECT_GT(ink.right(), int(62 * ratio));
        EXPECT_LE(ink.right(), int(80 * ratio));
    }
}

TEST(DeviceArt, RoundedRectanglesClampTheirRadii) {
    const QPainterPath capsule = roundedRect(QRectF(0, 0, 100, 20), 50);
    EXPECT_EQ(capsule.boundingRect(), QRectF(0, 0, 100, 20));
    EXPECT_TRUE(capsule.contains(QPointF(50, 10)));
    EXPECT_FALSE(capsule.contains(QPointF(1, 1)));
    EXPECT_EQ(roundedRect(QRectF(0, 0, 10, 10), -3).boundingRect(), QRectF(0, 0, 10, 10));
    EXPECT_EQ(capsule.fillRule(), Qt::WindingFill);
    const QPen p = pen(Qt::black, 2);
    EXPECT_EQ(p.capStyle(), Qt::FlatCap);
    EXPECT_EQ(p.joinStyle(), Qt::MiterJoin);
}

TEST(DeviceArt, TextKeepsFractionalSizesAndCentresOnItsPoint) {
    const double small = textWidth(QStringLiteral("Model No. A1238"), 5.25, QFont::Normal);
    const double large = textWidth(QStringLiteral("Model No. A1238"), 10.5, QFont::Normal);
    EXPECT_NEAR(large, 2 * small, small * 0.01);
    EXPECT_EQ(textWidth(QString(), 10, QFont::Normal), 0.0);
    EXPECT_EQ(textWidth(QStringLiteral("x"), 0, QFont::Normal), 0.0);

    QImage image = blank(200, 100, 2.0);
    QPainter p(&image);
    drawText(p, QStringLiteral("MENU"), QPointF(100, 50), 20.0, QFont::DemiBold,
             QColor(255, 0, 255));
    p.end();
    const QRect ink = ArtworkTest::colourBounds(image, qRgb(255, 0, 255), 60);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_NEAR(ink.center().x() / 2.0, 100, 1.5);
    EXPECT_NEAR(ink.center().y() / 2.0, 50, 3.0);
}

TEST(DeviceArt, EverySymbolTheDrawingsUseExistsAndSitsOnItsPoint) {
    const char* names[] = {"backward.end.alt.fill",
                           "forward.end.alt.fill",
                           "backward.end.fill",
                           "forward.end.fill",
                           "playpause.fill",
                           "plus",
                           "minus",
                           "apple.logo",
                           "trash",
                           "repeat",
                           "shuffle",
                           "battery.100",
                           "bubble.left"};
    for (const char* name : names) {
        const QString n = QString::fromLatin1(name);
        ASSERT_TRUE(ArtSymbols::exists(n)) << name;
        const QRectF box = ArtSymbols::path(n, QPointF(50, 40), 20).boundingRect();
        EXPECT_NEAR(box.center().x(), 50, 3.0) << name;
        EXPECT_NEAR(box.center().y(), 40, 3.0) << name;
        EXPECT_LE(box.height(), 16.5) << name;
        EXPECT_GT(box.height(), 2.0) << name;
    }
    EXPECT_FALSE(ArtSymbols::exists(QStringLiteral("no.such.symbol")));
    EXPECT_TRUE(ArtSymbols::path(QStringLiteral("plus"), QPointF(), 0).isEmpty());
}
