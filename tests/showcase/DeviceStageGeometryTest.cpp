#include "showcase/DeviceStageGeometry.h"

#include <gtest/gtest.h>

TEST(DeviceStageGeometry, StageWideValuesFollowTheirRules) {
    struct Row {
        double w, h, s, r, step;
    };
    const Row rows[] = {
        {900, 360, 254, 45.72, 115},      // the 254 cap wins over 262.8, 275.42 and 342
        {600, 300, 219, 39.42, 78},       // 0.73 × H wins
        {400, 360, 152, 27.36, 52},       // 0.38 × W wins
        {900, 100, 55.0847, 9.9153, 115}, // (H − 35) / 1.18 wins
        {900, 35, 0, 0, 115},             // no room for artwork at all
        {900, 20, 0, 0, 115},
    };
    for (const Row& row : rows) {
        const auto g = DeviceStageGeometry::forSize(QSizeF(row.w, row.h));
        EXPECT_NEAR(g.artworkBudget, row.s, 1e-3) << row.w << "×" << row.h;
        EXPECT_NEAR(g.reflectionHeight, row.r, 1e-3) << row.w << "×" << row.h;
        EXPECT_NEAR(g.generationStep, row.step, 1e-9) << row.w << "×" << row.h;
    }
    const auto g = DeviceStageGeometry::forSize(QSizeF(900, 360));
    EXPECT_NEAR(g.columnHeight(), 328.72, 1e-9);
    EXPECT_NEAR(g.item(1, true, 1.0, false).shiftX, 165, 1e-9);
}

TEST(DeviceStageGeometry, SeriesModeWrapsOffsetsToTheTwoSides) {
    // Classic selected: shuffle right, nano left. Nano selected: classic right, shuffle left.
    EXPECT_EQ(DeviceStageGeometry::offset(0, 0, false), 0);
    EXPECT_EQ(DeviceStageGeometry::offset(1, 0, false), 1);
    EXPECT_EQ(DeviceStageGeometry::offset(2, 0, false), -1);
    EXPECT_EQ(DeviceStageGeometry::offset(0, 2, false), 1);
    EXPECT_EQ(DeviceStageGeometry::offset(1, 2, false), -1);
    EXPECT_EQ(DeviceStageGeometry::offset(6, 0, true), 6);
    EXPECT_EQ(DeviceStageGeometry::offset(0, 6, true), -6);
}

TEST(DeviceStageGeometry, SideItemsShrinkDimTurnAndRise) {
    const auto g = DeviceStageGeometry::forSize(QSizeF(900, 360));
    const auto centre = g.item(0, true, 1.0, false);
    EXPECT_DOUBLE_EQ(centre.artworkHeight, 254);
    EXPECT_DOUBLE_EQ(centre.shiftX, 0);
    EXPECT_DOUBLE_EQ(centre.shiftY, 0);
    EXPECT_DOUBLE_EQ(centre.tiltDegrees, 0);
    EXPECT_DOUBLE_EQ(centre.opacity, 1);
    EXPECT_EQ(centre.stacking, 0);

    // The farthest nano from the first: min(0.22 W, 165) + 5 × step, −34°, 0.55 S, opacity 0.4.
    const auto far = g.item(6, true, 0.95, false);
    EXPECT_NEAR(far.shiftX, 165 + 5 * 115, 1e-9);
    EXPECT_DOUBLE_EQ(far.tiltDegrees, -34);
    EXPECT_NEAR(far.artworkHeight, 0.55 * 254 * 0.95, 1e-9);
    EXPECT_DOUBLE_EQ(far.opacity, 0.4);
    EXPECT_EQ(far.stacking, -6);
    EXPECT_NEAR(far.shiftY, -25.4, 1e-9);

    const auto left = g.item(-1, true, 1.0, false);
    EXPECT_DOUBLE_EQ(left.tiltDegrees, 17);
    EXPECT_NEAR(left.shiftX, -165, 1e-9);
    EXPECT_NEAR(left.artworkHeight, 0.84 * 254, 1e-9);
    EXPECT_NEAR(left.opacity, 0.86, 1e-12);

    // Series mode spaces the sides by 0.3 W; Reduce Motion turns nothing.
    const auto right = g.item(1, false, 0.34, true);
    EXPECT_NEAR(right.shiftX, 270, 1e-9);
    EXPECT_DOUBLE_EQ(right.tiltDegrees, 0);
    EXPECT_NEAR(right.artworkHeight, 0.84 * 254 * 0.34, 1e-9);
}

TEST(DeviceStageGeometry, EveryColumnStandsOnTheStageBottom) {
    const auto g = DeviceStageGeometry::forSize(QSizeF(900, 360));
    const QRectF centre = g.artworkRect(254, 0, 0, 0.5);
    EXPECT_NEAR(centre.bottom(), 360 - 29 - 45.72, 1e-9);
    EXPECT_NEAR(centre.height(), 254, 1e-9);
    EXPECT_NEAR(centre.center().x(), 450, 1e-9);
    const QRectF side = g.artworkRect(0.84 * 254, 165, -25.4, 0.5);
    EXPECT_NEAR(side.bottom(), centre.bottom() - 25.4, 1e-9);
    EXPECT_NEAR(g.captionRect(165, -25.4, g.captionWidthLimit(true)).width(), 111, 1e-9);
    EXPECT_NEAR(g.captionRect(0, 0, g.captionWidthLimit(false)).width(), 900, 1e-9);
    // A tiny stage still lays its captions out.
    const auto tiny = DeviceStageGeometry::forSize(QSizeF(900, 30));
    EXPECT_DOUBLE_EQ(tiny.item(1, false, 1, false).artworkHeight, 0);
    EXPECT_NEAR(tiny.captionRect(270, 0, -1).height(), 24, 1e-9);
}
