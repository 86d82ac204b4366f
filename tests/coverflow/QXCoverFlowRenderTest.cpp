#include "CoverFlowFixture.h"

#include <QPainter>

#include <cstdlib>

namespace {

bool near(QRgb a, QColor b, int tolerance = 2) {
    return std::abs(qRed(a) - b.red()) <= tolerance &&
           std::abs(qGreen(a) - b.green()) <= tolerance &&
           std::abs(qBlue(a) - b.blue()) <= tolerance;
}

QColor darker(QColor c, double f) {
    return QColor(int(c.red() * f), int(c.green() * f), int(c.blue() * f));
}

// Rows at column x whose pixel matches the colour.
int heightAt(const QImage& image, int x, QColor c) {
    int rows = 0;
    for (int y = 0; y < image.height(); ++y)
        rows += near(image.pixel(x, y), c, 6);
    return rows;
}

// Leftmost and rightmost columns holding the colour.
std::pair<int, int> columns(const QImage& image, QColor c) {
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x)
        if (heightAt(image, x, c) > 0) {
            if (first < 0)
                first = x;
            last = x;
        }
    return {first, last};
}

} // namespace

using RenderTest = CoverFlowFixture;

TEST_F(RenderTest, SelectedFaceIsExactAndItsReflectionHangsFromTheFloor) {
    build(600, 440, 7, 3);
    flow->setShowsReflection(true);
    flow->setReflectionOffset(-0.46);
    const QColor face = SolidItems::colorFor(3);
    layout->setVerticalMargin(120);
    host->layoutIfNeeded();
    settle();
    const QImage row = render();
    // Cover side 200, bottom at 120 up: image rows 120 ... 320; its mirror rows 320 ... 440.
    EXPECT_EQ(row.pixel(300, 220), face.rgb());
    EXPECT_TRUE(near(row.pixel(300, 319), face));
    EXPECT_TRUE(near(row.pixel(300, 321), darker(face, 0.54)));
    EXPECT_TRUE(near(row.pixel(300, 400), darker(face, 0.54)));
    EXPECT_TRUE(near(row.pixel(300, 60), Qt::black, 0));
}

TEST_F(RenderTest, SideItemsStandInPerspectiveMirroredAcrossTheCentre) {
    build(800, 300, 7, 3);
    const QImage image = render();
    const QColor leftColor = SolidItems::colorFor(2);
    const QColor rightColor = SolidItems::colorFor(4);
    const auto [l0, l1] = columns(image, leftColor);
    const auto [r0, r1] = columns(image, rightColor);
    ASSERT_GE(l0, 0);
    ASSERT_GE(r0, 0);
    // Faces turned towards the centre: the outer edge is nearer, so taller.
    EXPECT_GT(heightAt(image, l0 + 1, leftColor), heightAt(image, l1 - 1, leftColor) + 5);
    EXPECT_GT(heightAt(image, r1 - 1, rightColor), heightAt(image, r0 + 1, rightColor) + 5);
    // The two sides mirror each other about the middle.
    EXPECT_NEAR(l0, 800 - 1 - r1, 1);
    EXPECT_NEAR(l1, 800 - 1 - r0, 1);
    EXPECT_NEAR(heightAt(image, l0 + 2, leftColor), heightAt(image, r1 - 2, rightColor), 1);
    // The selected cover sits in the middle, unrotated.
    EXPECT_EQ(columns(image, SolidItems::colorFor(3)), std::make_pair(260, 539));
}

TEST_F(RenderTest, DevicePixelRatioKeepsTheGeometry) {
    build(600, 220, 5, 2);
    const QImage sharp = render(2);
    EXPECT_EQ(sharp.size(), QSize(1200, 440));
    EXPECT_EQ(sharp.pixel(600, 220), SolidItems::colorFor(2).rgb());
    EXPECT_TRUE(near(sharp.pixel(600, 10), Qt::black, 0));
}

namespace {

// A cover with detail: a ramp across, stripes down.
QImage texturedCover() {
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            image.setPixel(x, y, qRgb(x * 4, (y / 8) % 2 ? 200 : 60, 255 - x * 4));
    return image;
}

int largestDifference(const QImage& a, const QImage& b, QRect area) {
    int worst = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    return worst;
}

} // namespace

TEST_F(RenderTest, ACoverAtRestLooksAsASmoothDrawOfItsImage) {
    build(600, 220, 5, 2);
    flow->contentLayerAtIndex(2)->setContents(texturedCover());
    const QImage row = render(2);
    // The selected cover covers (200, 10) ... (400, 210) in y-up points: rows 20 ... 420 at 2x.
    QImage expected(1200, 440, QImage::Format_ARGB32_Premultiplied);
    expected.fill(Qt::black);
    QPainter painter(&expected);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(400, 20, 400, 400), texturedCover());
    painter.end();
    // Away from the edge rows, where the two ways of filtering start differently.
    EXPECT_LE(largestDifference(row, expected, QRect(404, 24, 392, 392)), 4);
    EXPECT_EQ(row.pixel(600, 10), expected.pixel(600, 10));
}

TEST_F(RenderTest, NewContentsShowAtOnceAndAMovedRowComesToRestAsABuiltOne) {
    build(600, 220, 9, 4);
    render(2);
    // Same layer, new picture: nothing painted before may stand in for it.
    const QColor replaced(10, 200, 30);
    QImage image(8, 8, QImage::Format_ARGB32_Premultiplied);
    image.fill(replaced);
    flow->contentLayerAtIndex(4)->setContents(image);
    EXPECT_EQ(render(2).pixel(600, 220), replaced.rgb());

    // Moving: the covers keep their colours while they travel.
    layout->setSelectedItemIndex(5);
    host->layoutIfNeeded();
    now += 0.1;
    const QImage moving = render(2);
    const QPointF centre = projectedCentre(5);
    EXPECT_TRUE(near(moving.pixel(int(centre.x() * 2), int((220 - centre.y()) * 2)),
                     SolidItems::colorFor(5), 2));
    now += 1;
    const QImage rested = render(2);

    // A row built with that selection from the start paints the same picture.
    build(600, 220, 9, 5);
    flow->contentLayerAtIndex(4)->setContents(image);
    EXPECT_EQ(rested, render(2));
}

TEST(GradientLayerTest, RepaintsFromItsCopyOnlyWhileNothingShapingItChanged) {
    auto host = QXLayer::create();
    host->setAnchorPoint({0, 0});
    host->setBounds({0, 0, 300, 100});
    auto shade = QXGradientLayer::create();
    shade->colors = {QColor(25, 30, 43), QColor(18, 22, 34), QColor(200, 40, 40)};
    shade->locations = {0, 0.4, 1};
    host->addSublayer(shade);
    shade->setFrame({0.5, 0, 300, 100});
    auto paint = [&] {
        QImage image(600, 200, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(Qt::black);
        QPainter painter(&image);
        host->render(painter, 100);
        return image;
    };
    // What filling the gradient straight onto the image gives.
    auto direct = [&] {
        QImage image(600, 200, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(Qt::black);
        QPainter painter(&image);
        painter.setTransform(QTransform(1, 0, 0, -1, 0, 100));
        QLinearGradient gradient(0.5 + 150, 0, 0.5 + 150, 100);
        for (std::size_t i = 0; i < shade->colors.size(); ++i)
            gradient.setColorAt(shade->locations[i], shade->colors[i]);
        painter.fillRect(QRectF(0.5, 0, 300, 100), gradient);
        return image;
    };
    const QImage first = paint();
    EXPECT_EQ(first, paint());
    EXPECT_LE(largestDifference(first, direct(), QRect(0, 0, 600, 200)), 1);
    // Location 0 is the floor, location 1 the top.
    EXPECT_LT(qRed(first.pixel(300, 198)), 40);
    EXPECT_GT(qRed(first.pixel(300, 2)), 150);

    shade->colors[2] = QColor(40, 200, 40);
    const QImage changed = paint();
    EXPECT_GT(qGreen(changed.pixel(300, 2)), 150);
    EXPECT_LE(largestDifference(changed, direct(), QRect(0, 0, 600, 200)), 1);
}
