#include "device/IPodBattery.h"

#include <gtest/gtest.h>

TEST(IPodBattery, DecodesThePercentWhenBitSevenIsSet) {
    EXPECT_EQ(IPodBattery::decode(0x6485), (IPodBattery{100, false, false}));
    EXPECT_EQ(IPodBattery::decode(0x3787), (IPodBattery{55, true, false}));
    EXPECT_EQ(IPodBattery::decode(0x0086), (IPodBattery{0, false, true}));
    EXPECT_EQ(IPodBattery::decode(0x6480), (IPodBattery{100, false, false}));
}

TEST(IPodBattery, FallsBackToTheChargingBitsAboveOneHundredOrWithoutBitSeven) {
    EXPECT_EQ(IPodBattery::decode(0x6587), (IPodBattery{std::nullopt, true, false}));
    EXPECT_EQ(IPodBattery::decode(0x6586), (IPodBattery{std::nullopt, false, true}));
    EXPECT_EQ(IPodBattery::decode(0x3203), (IPodBattery{std::nullopt, true, false}));
    EXPECT_EQ(IPodBattery::decode(0x3202), (IPodBattery{std::nullopt, false, true}));
    EXPECT_FALSE(IPodBattery::decode(0x3200));
    EXPECT_FALSE(IPodBattery::decode(0x3201));
    EXPECT_FALSE(IPodBattery::decode(0xFF85));
    EXPECT_FALSE(IPodBattery::decode(0x0000));
}
