#include "coverflow/CoverFlowScroll.h"

#include <gtest/gtest.h>

TEST(CoverFlowScrollTest, Placeholder) { EXPECT_EQ(CoverFlowScroll().remainder, 0); }
