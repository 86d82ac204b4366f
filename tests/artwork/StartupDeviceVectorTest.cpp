#include "artwork/StartupDeviceVector.h"
#include "ArtworkTestSupport.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <cmath>

using namespace ArtworkTest;
using Finish = StartupModel::Finish;

namespace {

constexpr double height = 240.0;
constexpr double ratio = 2.0;

bool isAnodisedFront(const Drawing& d) {
    return !d.showsRear && ((d.series == StartupSeries::nano && d.generation >= 3) ||
                            (d.series == StartupSeries::shuffle && d.generation >= 1));
}

// The body rectangle in logical pixels with the parts that legitimately reach past it.
QRectF expectedInk(const Drawing& d, QSizeF size) {
    QRectF ink = Drawing::bodyRect(size);
    // Outlines are stroked on the body's edge, so half their width lies outside it.
    double outset = 0.0;
    if (isAnodisedFront(d))
        outset = 0.5 * std::max(0.01 * ink.width(), 0.6);
    else if (d.showsRear && d.series == StartupSeries::shuffle && d.generation == 2)
        outset = 0.009 * ink.width();
    else if (d.showsRear && d.series == StartupSeries::shuffle && d.generation == 3)
        outset = 0.0035 * ink.height();
    ink = ink.adjusted(-outset, -outset, outset, outset) & QRectF(QPointF(0, 0), size);
    if (isAnodisedFront(d)) {
        if (d.series == StartupSeries::shuffle && d.generation == 1)
            ink.setBottom(size.height()); // the tab below the body, cut by the canvas
        else
            ink.setTop(0.0); // the tab above the body
    }
    if (!d.showsRear && d.series == StartupSeries::nano && d.generation == 6)
        ink.setBottom(std::min(size.height(), ink.bottom() + 0.03 * 0.15 * ink.width() + 0.3));
    return ink;
}

QRgb pixelAt(const QImage& image, QPointF logical) {
    return image.convertToFormat(QImage::Format_ARGB32)
        .pixel(int(logical.x() * ratio), int(logical.y() * ratio));
}

void expectColour(QRgb actual, int r, int g, int b, int tolerance, const QString& what) {
    EXPECT_NEAR(qRed(actual), r, tolerance) << what.toStdString();
    EXPECT_NEAR(qGreen(actual), g, tolerance) << what.toStdString();
    EXPECT_NEAR(qBlue(actual), b, tolerance) << what.toStdString();
}

} // namespace

TEST(StartupDeviceVector, EveryModelAndFinishFillsItsBodyRectangleWithTransparentCorners) {
    for (bool rear : {false, true}) {
        const std::vector<Drawing> drawings = catalogueDrawings(rear);
        ASSERT_EQ(drawings.size(), 71u);
        for (Drawing d : drawings) {
            d.rearCapacity = QStringLiteral("8 GB");
            d.rearEngraving = QStringLiteral("Hello");
            const QSizeF size = canvasSize(d, height);
            const QImage image = render(d, height, ratio);
            ASSERT_EQ(image.size(), QSize(int(size.width() * ratio), int(height * ratio)));
            const QRect ink = alphaBounds(image);
            const QRectF logical(ink.left() / ratio, ink.top() / ratio, (ink.width()) / ratio,
                                 ink.height() / ratio);
            const QRectF expected = expectedInk(d, size);
            const std::string what = describe(d).toStdString();
            EXPECT_NEAR(logical.left(), expected.left(), 1.0) << what;
            EXPECT_NEAR(logical.right(), expected.right(), 1.0) << what;
            EXPECT_NEAR(logical.top(), expected.top(), 1.0) << what;
            EXPECT_NEAR(logical.bottom(), expected.bottom(), 1.0) << what;
            for (QPoint corner :
                 {QPoint(0, 0), QPoint(image.width() - 1, 0), QPoint(0, image.height() - 1),
                  QPoint(image.width() - 1, image.height() - 1)})
                EXPECT_EQ(qAlpha(image.pixel(corner)), 0) << what;
        }
    }
}

TEST(StartupDeviceVector, DegenerateCanvasesDrawNothing) {
    for (bool rear : {false, true}) {
        for (QSizeF size : {QSizeF(2, 100), QSizeF(1.5, 100), QSizeF(100, 0), QSizeF(0, 0)}) {
            QImage image(200, 200, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            Drawing(StartupSeries::classic, 5, Finish::silver, rear, QStringLiteral("80GB"),
                    QStringLiteral("x"))
                .render(painter, size);
            Drawing(StartupSeries::shuffle, 0, Finish::white, rear).render(painter, size);
            painter.end();
            EXPECT_TRUE(isFullyTransparent(image)) << size.width() << "x" << size.height();
        }
    }
    EXPECT_TRUE(Drawing(StartupSeries::nano, 3, Finish::blue).image(QSizeF(0, 0)).isNull());
}

TEST(StartupDeviceVector, TableLookupSendsIndicesOutsideTheSeriesToItsLastModel) {
    struct Case {
        StartupSeries series;
        int last;
        int past;
    };
    for (Case c : {Case{StartupSeries::classic, 5, 6}, Case{StartupSeries::nano, 6, 7},
                   Case{StartupSeries::shuffle, 3, 4}}) {
        const auto expected = Drawing(c.series, c.last, Finish::silver).layout();
        for (int index : {c.past, -1, -1000, 1 << 30}) {
            const auto layout = Drawing(c.series, index, Finish::silver).layout();
            EXPECT_EQ(layout.aspectRatio, expected.aspectRatio) << index;
            EXPECT_EQ(layout.screenY, expected.screenY) << index;
            EXPECT_EQ(layout.wheelY, expected.wheelY) << index;
            EXPECT_EQ(layout.hidesWheel, expected.hidesWheel) << index;
            // Such a front still draws.
            EXPECT_FALSE(isFullyTransparent(render(Drawing(c.series, index, Finish::silver), 120)));
        }
    }
    for (int g = 0; g < 4; ++g)
        EXPECT_TRUE(Drawing(StartupSeries::shuffle, g, Finish::silver).layout().hidesScreen);
    EXPECT_TRUE(Drawing(StartupSeries::shuffle, 2, Finish::silver).layout().hidesWheel);
    EXPECT_TRUE(Drawing(StartupSeries::nano, 5, Finish::silver).layout().hidesWheel);
}

TEST(StartupDeviceVector, BacksOfShuffleAndLaterNanosHaveTheirOwnProportions) {
    auto ratioOf = [](StartupSeries s, int g, bool rear) {
        return Drawing(s, g, Finish::silver, rear).aspectRatio();
    };
    EXPECT_DOUBLE_EQ(ratioOf(StartupSeries::shuffle, 3, false), 0.96);
    EXPECT_DOUBLE_EQ(ratioOf(StartupSeries::shuffle, 3, true), 1.07);
    EXPECT_DOUBLE_EQ(ratioOf(StartupSeries::shuffle, 7, true), 0.96);
    EXPECT_DOUBLE_EQ(ratioOf(StartupSeries::shuffle, 1, true), 1.48);
    const double nanoFronts[] = {0.45, 0.45, 0.95, 0.51};
    const double nanoBacks[] = {0.42, 0.42, 1.067, 0.51};
    for (int i = 0; i < 4; ++i) {
        EXPECT_DOUBLE_EQ(ratioOf(StartupSeries::nano, 3 + i, false), nanoFronts[i]);
        EXPECT_DOUBLE_EQ(ratioOf(StartupSeries::nano, 3 + i, true), nanoBacks[i]);
    }
    EXPECT_DOUBLE_EQ(ratioOf(StartupSeries::nano, 2, true), 0.737);
    EXPECT_DOUBLE_EQ(ratioOf(StartupSeries::classic, 4, true), 0.59);
}

TEST(StartupDeviceVector, BodyColoursFollowTheFinishAndTheSecondIndexBlue) {
    const QColor blue2 = Drawing(StartupSeries::shuffle, 2, Finish::blue).bodyColor();
    const QColor blue1 = Drawing(StartupSeries::nano, 1, Finish::blue).bodyColor();
    EXPECT_EQ(blue2.rgb(), QColor::fromRgbF(0.44f, 0.76f, 0.78f).rgb());
    EXPECT_EQ(blue1.rgb(), QColor::fromRgbF(0.02f, 0.61f, 0.78f).rgb());
    for (Finish f : {Finish::darkGray, Finish::orange, Finish::yellow, Finish::purple})
        EXPECT_EQ(Drawing(StartupSeries::nano, 4, f).bodyColor().rgb(), f.swatchColor().rgb());

    // Probes on the solid bodies, clear of screen, wheel and edge sheen.
    const Drawing nano1(StartupSeries::nano, 1, Finish::blue);
    QSizeF size = canvasSize(nano1, height);
    QRectF body = Drawing::bodyRect(size);
    expectColour(pixelAt(render(nano1, height),
                         body.topLeft() + QPointF(0.5 * body.width(), 0.4 * body.height())),
                 5, 156, 199, 2, QStringLiteral("nano 1 blue"));
    const Drawing nano2(StartupSeries::nano, 2, Finish::blue);
    size = canvasSize(nano2, height);
    body = Drawing::bodyRect(size);
    expectColour(pixelAt(render(nano2, height),
                         body.topLeft() + QPointF(0.15 * body.width(), 0.75 * body.height())),
                 112, 194, 199, 6, QStringLiteral("nano 2 blue"));
}

TEST(StartupDeviceVector, ButtonCentresTakeTheirTableColours) {
    auto wheelCentre = [](const Drawing& d) {
        const QRectF body = Drawing::bodyRect(canvasSize(d, height));
        const auto l = d.layout();
        return body.topLeft() + QPointF(l.wheelX * body.width(), l.wheelY * body.height());
    };
    const Drawing classic3(StartupSeries::classic, 3, Finish::white);
    expectColour(pixelAt(render(classic3, height), wheelCentre(classic3)), 245, 245, 245, 2,
                 QStringLiteral("classic 3 white"));
    const Drawing classic2(StartupSeries::classic, 2, Finish::black);
    expectColour(pixelAt(render(classic2, height), wheelCentre(classic2)), 51, 51, 51, 2,
                 QStringLiteral("classic 2 black"));
    // Shuffle and nano 3 and 4 buttons wear the finish's swatch.
    for (const Drawing& d : {Drawing(StartupSeries::shuffle, 3, Finish::green),
                             Drawing(StartupSeries::nano, 4, Finish::orange)}) {
        const QColor swatch = d.finish.swatchColor();
        // A point inside the button but off the centre's play/pause label.
        const QPointF probe = wheelCentre(d) + QPointF(0, 0.1 * d.layout().wheelY);
        const QRgb p = pixelAt(render(d, height), probe);
        expectColour(p, swatch.red(), swatch.green(), swatch.blue(), 3, describe(d));
    }

    // The nano's seventh generation has a dark round button and no wheel.
    const Drawing nano6(StartupSeries::nano, 6, Finish::silver);
    const QRectF body = Drawing::bodyRect(canvasSize(nano6, height));
    const double b = 0.15 * body.width();
    const QRgb button =
        pixelAt(render(nano6, height), QPointF(body.center().x(), body.bottom() - 0.47 * b));
    EXPECT_LT(qGray(button), 100);
}

TEST(StartupDeviceVector, CapacityAndEngravingOnlyReachTheBack) {
    for (const Drawing& plain : {Drawing(StartupSeries::classic, 4, Finish::black),
                                 Drawing(StartupSeries::nano, 0, Finish::white),
                                 Drawing(StartupSeries::shuffle, 0, Finish::white)}) {
        Drawing engraved = plain;
        engraved.rearCapacity = QStringLiteral("30GB");
        engraved.rearEngraving = QStringLiteral("Engraved");
        EXPECT_EQ(render(plain, 160), render(engraved, 160)) << describe(plain).toStdString();
        engraved.showsRear = true;
        Drawing plainBack = plain;
        plainBack.showsRear = true;
        EXPECT_NE(render(plainBack, 160), render(engraved, 160)) << describe(plain).toStdString();
    }
}

TEST(StartupDeviceVector, BacksChangeOnlyWithTheFinishesThatMatter) {
    // Classic backs: only black changes them.
    for (int g = 0; g < 6; ++g) {
        const QImage white = render(
            Drawing(StartupSeries::classic, g, Finish::white, true, QStringLiteral("20GB")), 160);
        const QImage silver = render(
            Drawing(StartupSeries::classic, g, Finish::silver, true, QStringLiteral("20GB")), 160);
        const QImage black = render(
            Drawing(StartupSeries::classic, g, Finish::black, true, QStringLiteral("20GB")), 160);
        EXPECT_EQ(white, silver) << g;
        EXPECT_NE(white, black) << g;
    }
    // The first shuffle's back ignores the finish.
    const QImage stick = render(Drawing(StartupSeries::shuffle, 0, Finish::white, true,
                                        std::nullopt, QStringLiteral("Mine")),
                                160);
    for (Finish f : Finish::allCases())
        EXPECT_EQ(stick, render(Drawing(StartupSeries::shuffle, 0, f, true, std::nullopt,
                                        QStringLiteral("Mine")),
                                160))
            << f.rawValue().toStdString();
}

TEST(StartupDeviceVector, BacksOutsideTheSeriesFollowEachSeriesRule) {
    const QSizeF size(120, 200);
    for (int g : {6, -1})
        EXPECT_TRUE(isFullyTransparent(Drawing(StartupSeries::classic, g, Finish::silver, true,
                                               QStringLiteral("80GB"), QStringLiteral("x"))
                                           .image(size, 2)))
            << g;
    for (int g : {7, -1})
        EXPECT_TRUE(isFullyTransparent(Drawing(StartupSeries::nano, g, Finish::blue, true,
                                               QStringLiteral("8GB"), QStringLiteral("x"))
                                           .image(size, 2)))
            << g;
    const QImage fourth =
        Drawing(StartupSeries::shuffle, 3, Finish::pink, true, std::nullopt, QStringLiteral("x"))
            .image(size, 2);
    for (int g : {7, -1, 4})
        EXPECT_EQ(Drawing(StartupSeries::shuffle, g, Finish::pink, true, std::nullopt,
                          QStringLiteral("x"))
                      .image(size, 2),
                  fourth)
            << g;
}

TEST(StartupDeviceVector, RenderingLeavesThePainterAsItWas) {
    QImage image(200, 300, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.translate(3, 4);
    painter.setClipRect(QRect(0, 0, 150, 250));
    const QTransform before = painter.transform();
    for (bool rear : {false, true})
        for (StartupSeries s : StartupSeries::allCases())
            for (int g = 0; g < int(s.models().size()); ++g)
                Drawing(s, g, s.models()[std::size_t(g)].finishes.front(), rear,
                        QStringLiteral("8GB"), QStringLiteral("x"))
                    .render(painter, QSizeF(120, 200));
    EXPECT_EQ(painter.transform(), before);
    EXPECT_EQ(painter.clipBoundingRect(), QRectF(0, 0, 150, 250));
    EXPECT_TRUE(painter.hasClipping());
}

TEST(StartupDeviceVector, WidgetFitsTheDrawingIntoItsSpace) {
    StartupDeviceVector view(StartupSeries::shuffle, 3, Finish::orange);
    view.resize(400, 200);
    EXPECT_TRUE(view.hasHeightForWidth());
    QRectF canvas = view.canvasRect();
    EXPECT_DOUBLE_EQ(canvas.height(), 200.0);
    EXPECT_NEAR(canvas.width(), 192.0, 1e-9);
    EXPECT_NEAR(canvas.center().x(), 200.0, 1e-9);

    QImage image(400, 200, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    const QRect ink = alphaBounds(image);
    EXPECT_NEAR(ink.left(), canvas.left() + 1, 1.5);
    EXPECT_NEAR(ink.right() + 1, canvas.right() - 1, 1.5);

    // Turning it round changes its proportions.
    view.setShowsRear(true);
    EXPECT_TRUE(view.showsRear());
    EXPECT_EQ(view.heightForWidth(214), 200);
    canvas = view.canvasRect();
    EXPECT_NEAR(canvas.width(), 214.0, 1e-9);

    view.setRearEngraving(QStringLiteral("Hi"));
    EXPECT_EQ(view.drawing().rearEngraving, QStringLiteral("Hi"));
    view.show();
    EXPECT_TRUE(view.isVisible());
    const QImage shown = view.grab().toImage();
    EXPECT_EQ(shown.size(), QSize(400, 200) * shown.devicePixelRatio());
}
