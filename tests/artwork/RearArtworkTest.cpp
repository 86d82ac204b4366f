// The texts the backs and fronts print, seen through a recording paint device.

#include "ArtworkTestSupport.h"
#include "artwork/IPodClassicRearArtwork.h"
#include "artwork/IPodNanoRearArtwork.h"

#include <gtest/gtest.h>

#include <QPainter>

using namespace ArtworkTest;
using Finish = StartupModel::Finish;

namespace {

QStringList backTexts(StartupSeries series, int generation, Finish finish,
                      std::optional<QString> capacity, std::optional<QString> engraving = {}) {
    RecordingPaintDevice device(400, 600);
    const Drawing d(series, generation, finish, true, std::move(capacity), std::move(engraving));
    record(d, canvasSize(d, 400), device);
    return device.textStrings();
}

QStringList frontTexts(StartupSeries series, int generation, Finish finish) {
    RecordingPaintDevice device(400, 600);
    const Drawing d(series, generation, finish);
    record(d, canvasSize(d, 400), device);
    return device.textStrings();
}

} // namespace

TEST(ClassicRearArtwork, ModelNumberAndAssemblyLines) {
    auto classic3 = [](std::optional<QString> capacity) {
        return backTexts(StartupSeries::classic, 3, Finish::white, std::move(capacity));
    };
    EXPECT_TRUE(classic3(QStringLiteral("30GB")).contains(QStringLiteral("Model No. A1099")));
    EXPECT_TRUE(classic3(QStringLiteral("60 GB")).contains(QStringLiteral("Model No. A1099")));
    EXPECT_TRUE(classic3(QStringLiteral("20GB")).contains(QStringLiteral("Model No. A1059")));
    EXPECT_TRUE(classic3(std::nullopt).contains(QStringLiteral("Model No. A1059")));
    // Only the fourth generation has the second model number.
    EXPECT_TRUE(backTexts(StartupSeries::classic, 2, Finish::white, QStringLiteral("30GB"))
                    .contains(QStringLiteral("Model No. A1040")));

    const char* numbers[] = {"M8541", "A1019", "A1040", "A1059", "A1136", "A1238"};
    for (int g = 0; g < 6; ++g) {
        const QStringList texts = backTexts(StartupSeries::classic, g, Finish::white, std::nullopt);
        EXPECT_TRUE(texts.contains(QStringLiteral("Designed by Apple in California"))) << g;
        EXPECT_TRUE(texts.contains(g <= 1 ? QStringLiteral("Assembled in Taiwan")
                                          : QStringLiteral("Assembled in China")))
            << g;
        EXPECT_TRUE(texts.contains(QStringLiteral("Model No. ") + QLatin1String(numbers[g]))) << g;
        EXPECT_TRUE(texts.contains(QStringLiteral("iPod"))) << g;
    }
    // Runs in a fallback font (the check mark) are recorded as runs of their own.
    EXPECT_TRUE(backTexts(StartupSeries::classic, 5, Finish::black, std::nullopt)
                    .join(QString())
                    .contains(QStringLiteral("CE   VCCI   ✓")));
    EXPECT_TRUE(backTexts(StartupSeries::classic, 4, Finish::black, std::nullopt)
                    .join(QString())
                    .contains(QStringLiteral("FCC   CE   VCCI   ✓")));
    EXPECT_TRUE(backTexts(StartupSeries::classic, 4, Finish::black, std::nullopt)
                    .join(QString())
                    .startsWith(QStringLiteral("iPod")));
}

TEST(ClassicRearArtwork, CapacityBadge) {
    EXPECT_EQ(IPodClassicRearArtwork::badgeText(QStringLiteral(" 30 GB\t")),
              QStringLiteral("30GB"));
    EXPECT_EQ(IPodClassicRearArtwork::badgeText(QStringLiteral("1\u00a0GB")),
              QStringLiteral("1GB"));
    // The first generation only carries the 10 GB badge.
    EXPECT_FALSE(backTexts(StartupSeries::classic, 0, Finish::white, QStringLiteral("5GB"))
                     .contains(QStringLiteral("5GB")));
    EXPECT_TRUE(backTexts(StartupSeries::classic, 0, Finish::white, QStringLiteral("10 GB"))
                    .contains(QStringLiteral("10GB")));
    EXPECT_TRUE(backTexts(StartupSeries::classic, 4, Finish::white, QStringLiteral("80 GB"))
                    .contains(QStringLiteral("80GB")));

    // A present but empty capacity draws the outline alone.
    const Drawing none(StartupSeries::classic, 2, Finish::white, true);
    const Drawing empty(StartupSeries::classic, 2, Finish::white, true, QString());
    EXPECT_NE(render(none, 200), render(empty, 200));
    RecordingPaintDevice device(400, 600);
    record(empty, canvasSize(empty, 400), device);
    const int withOutline = device.paths();
    const QStringList texts = device.textStrings();
    record(none, canvasSize(none, 400), device);
    EXPECT_EQ(withOutline, device.paths() + 1);
    EXPECT_EQ(texts, device.textStrings());
}

TEST(NanoRearArtwork, BadgesLegalBlocksAndMarks) {
    for (int g = 0; g <= 6; ++g) {
        const QStringList texts =
            backTexts(StartupSeries::nano, g, Finish::silver, QStringLiteral("8 GB"));
        EXPECT_EQ(texts.contains(QStringLiteral("8GB")), g <= 3) << g;
        EXPECT_EQ(texts.contains(QStringLiteral("iPod")), g != 5) << g;
        EXPECT_EQ(
            texts.contains(QStringLiteral("Designed by Apple in California  Assembled in China")),
            g != 5)
            << g;
    }
    EXPECT_TRUE(backTexts(StartupSeries::nano, 6, Finish::blue, std::nullopt)
                    .contains(QStringLiteral("Model No. A1446")));

    EXPECT_EQ(IPodNanoRearArtwork::marks(QStringLiteral("A1137")),
              QStringList({QStringLiteral("FCC"), QStringLiteral("CE"), QStringLiteral("VCCI"),
                           QStringLiteral("✓")}));
    EXPECT_EQ(IPodNanoRearArtwork::marks(QStringLiteral("A1446")),
              QStringList({QStringLiteral("FCC"), QStringLiteral("×"), QStringLiteral("CE")}));
    EXPECT_EQ(IPodNanoRearArtwork::marks(QStringLiteral("A1285")).size(), 5);

    // Marks are drawn in one row, spaced 0.13 of the width, centred on the block.
    RecordingPaintDevice device(400, 800);
    const Drawing nano6(StartupSeries::nano, 6, Finish::blue, true);
    const QSizeF size = canvasSize(nano6, 400);
    record(nano6, size, device);
    const QRectF body = Drawing::bodyRect(size);
    std::vector<double> xs;
    for (const RecordedText& t : device.texts())
        if (t.text == QLatin1String("FCC") || t.text == QStringLiteral("×") ||
            t.text == QLatin1String("CE"))
            xs.push_back(t.centre.x());
    ASSERT_EQ(xs.size(), 3u);
    EXPECT_NEAR(xs[1], body.center().x(), 0.5);
    EXPECT_NEAR(xs[2] - xs[1], 0.13 * body.width(), 0.5);
    EXPECT_NEAR(xs[1] - xs[0], 0.13 * body.width(), 0.5);
}

TEST(NanoRearArtwork, SilverDarkensTheAnodisedTexts) {
    auto inkOfWordmark = [](int g, Finish f) {
        const Drawing d(StartupSeries::nano, g, f, true);
        const QImage image = render(d, 300, 1.0).convertToFormat(QImage::Format_ARGB32);
        const QRectF body = Drawing::bodyRect(canvasSize(d, 300));
        // The darkest pixel along the wordmark's centre line.
        int darkest = 255;
        const double y = g == 3 ? 0.502 : 0.46;
        for (double x = 0.4; x < 0.6; x += 0.005)
            darkest = std::min(darkest, qGray(image.pixel(int(body.left() + x * body.width()),
                                                          int(body.top() + y * body.height()))));
        return darkest;
    };
    for (int g : {1, 3}) {
        EXPECT_LT(inkOfWordmark(g, Finish::silver), 120) << g;
        EXPECT_GT(inkOfWordmark(g, Finish::red), 15) << g;
    }
}

TEST(ShuffleRearArtwork, FirstGenerationLegalLinesAndNoCapacity) {
    const QStringList texts = backTexts(StartupSeries::shuffle, 0, Finish::white,
                                        QStringLiteral("1 GB"), QStringLiteral("Mine"));
    EXPECT_TRUE(texts.contains(QStringLiteral("Designed by Apple in California")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Assembled in China  Model No. A1112")));
    EXPECT_TRUE(texts.contains(QStringLiteral("OFF")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Mine")));
    for (int g = 0; g < 4; ++g)
        EXPECT_FALSE(backTexts(StartupSeries::shuffle, g, Finish::silver, QStringLiteral("2 GB"))
                         .join(QString())
                         .contains(QStringLiteral("GB")))
            << g;
    EXPECT_TRUE(backTexts(StartupSeries::shuffle, 3, Finish::blue, std::nullopt)
                    .contains(QStringLiteral("○")));
}

TEST(FrontControls, WheelLabels) {
    for (int g = 0; g < 2; ++g) {
        const QStringList texts = frontTexts(StartupSeries::classic, g, Finish::white);
        EXPECT_EQ(texts, QStringList({QStringLiteral("menu")})) << g;
    }
    for (int g = 3; g < 6; ++g)
        EXPECT_EQ(frontTexts(StartupSeries::classic, g, Finish::white),
                  QStringList({QStringLiteral("MENU")}))
            << g;
    // The third classic's only label is on its touch buttons, in bold.
    RecordingPaintDevice device(400, 600);
    const Drawing classic2(StartupSeries::classic, 2, Finish::white);
    const QSizeF size = canvasSize(classic2, 400);
    record(classic2, size, device);
    ASSERT_EQ(device.texts().size(), 1u);
    EXPECT_EQ(device.texts()[0].text, QStringLiteral("MENU"));
    EXPECT_GE(device.texts()[0].weight, int(QFont::Bold));
    const QRectF body = Drawing::bodyRect(size);
    EXPECT_NEAR(device.texts()[0].centre.x(), body.left() + 0.395 * body.width(), 0.5);
    EXPECT_NEAR(device.texts()[0].pixelSize, 0.18 * 0.184 * body.width(), 0.2);

    for (int g = 0; g < 4; ++g)
        EXPECT_TRUE(frontTexts(StartupSeries::shuffle, g, Finish::silver).isEmpty()) << g;
    for (int g : {5, 6})
        EXPECT_TRUE(frontTexts(StartupSeries::nano, g, Finish::silver).isEmpty()) << g;
    EXPECT_EQ(frontTexts(StartupSeries::nano, 0, Finish::black),
              QStringList({QStringLiteral("MENU")}));
}

TEST(FrontControls, FixedFontFamiliesAndTheSerifWordmark) {
    RecordingPaintDevice device(400, 700);
    const Drawing first(StartupSeries::classic, 0, Finish::white, true);
    record(first, canvasSize(first, 400), device);
    bool sawSerif = false;
    for (const RecordedText& t : device.texts()) {
        if (t.text == QLatin1String("iPod")) {
            EXPECT_EQ(t.family, QStringLiteral("Liberation Serif"));
            sawSerif = true;
        } else {
            EXPECT_EQ(t.family, QStringLiteral("Liberation Sans")) << t.text.toStdString();
        }
    }
    EXPECT_TRUE(sawSerif);
    const Drawing second(StartupSeries::classic, 1, Finish::white, true);
    record(second, canvasSize(second, 400), device);
    for (const RecordedText& t : device.texts())
        EXPECT_EQ(t.family, QStringLiteral("Liberation Sans"));
}
