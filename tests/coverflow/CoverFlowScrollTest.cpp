#include "coverflow/CoverFlowScroll.h"

#include <gtest/gtest.h>

#include <limits>

TEST(CoverFlowScrollTest, PreciseDeltasAccumulateUntilAWholeStep) {
    CoverFlowScroll scroll;
    EXPECT_EQ(scroll.step(true, 5, 10, 10), 5);
    EXPECT_EQ(scroll.step(true, 5, 10, 10), 5);
    EXPECT_EQ(scroll.step(true, 5, 10, 10), 5);
    EXPECT_DOUBLE_EQ(scroll.remainder, 30);
    EXPECT_EQ(scroll.step(true, 5, 10, 10), 6);
    EXPECT_DOUBLE_EQ(scroll.remainder, 4);

    CoverFlowScroll big;
    EXPECT_EQ(big.step(true, 2, 10, 100), 4);
    EXPECT_DOUBLE_EQ(big.remainder, 28);
}

TEST(CoverFlowScrollTest, EndsDropTheCarriedRest) {
    CoverFlowScroll scroll;
    EXPECT_EQ(scroll.step(true, 1, 10, -40), 0);
    EXPECT_EQ(scroll.remainder, 0);

    scroll.remainder = 15;
    EXPECT_EQ(scroll.step(true, 0, 10, -20), 0);
    EXPECT_EQ(scroll.remainder, 0);
    scroll.remainder = -15;
    EXPECT_EQ(scroll.step(true, 9, 10, 1), 9);
    EXPECT_EQ(scroll.remainder, 0);

    EXPECT_EQ(scroll.step(true, 0, 5, 1000), 4);
    EXPECT_EQ(scroll.remainder, 0);
    // Huge deltas are clamped to the row, not turned into an overflowing step count.
    EXPECT_EQ(scroll.step(true, 2, 5, 1e300), 4);
    EXPECT_EQ(scroll.step(true, 2, 5, -1e300), 0);
}

TEST(CoverFlowScrollTest, ImpreciseDeltasStepOnceAndKeepNothing) {
    CoverFlowScroll scroll;
    scroll.remainder = 20;
    EXPECT_EQ(scroll.step(false, 3, 10, 0.1), 4);
    EXPECT_EQ(scroll.remainder, 0);
    EXPECT_EQ(scroll.step(false, 3, 10, -3), 2);
    EXPECT_EQ(scroll.remainder, 0);
}

TEST(CoverFlowScrollTest, DegenerateInputLeavesEverythingAlone) {
    CoverFlowScroll scroll;
    scroll.remainder = 12;
    for (int count : {0, 1})
        EXPECT_EQ(scroll.step(true, 0, count, 100), 0);
    EXPECT_EQ(scroll.step(true, 4, 10, 0), 4);
    EXPECT_EQ(scroll.step(true, 4, 10, std::numeric_limits<double>::quiet_NaN()), 4);
    EXPECT_EQ(scroll.step(false, 4, 10, std::numeric_limits<double>::infinity()), 4);
    EXPECT_DOUBLE_EQ(scroll.remainder, 12);
}

TEST(CoverFlowScrollTest, DirectionChangePaysOffTheRestFirst) {
    CoverFlowScroll scroll;
    scroll.step(true, 5, 10, 30);
    EXPECT_EQ(scroll.step(true, 5, 10, -40), 5);
    EXPECT_DOUBLE_EQ(scroll.remainder, -10);
    EXPECT_EQ(scroll.step(true, 5, 10, -30), 4);
    EXPECT_DOUBLE_EQ(scroll.remainder, -4);
    scroll.reset();
    EXPECT_EQ(scroll.remainder, 0);
}
