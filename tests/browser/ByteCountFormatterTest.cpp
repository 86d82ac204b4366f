#include "browser/ByteCountFormatter.h"

#include <gtest/gtest.h>

#include <limits>

using ByteCountFormatter::format;
using ByteCountFormatter::Style;

TEST(ByteCountFormatter, FileStyleUsesDecimalUnitsWithAdaptiveDigits) {
    const AppLanguage en = AppLanguage::english;
    EXPECT_EQ(format(0, en), QStringLiteral("Zero KB"));
    EXPECT_EQ(format(1, en), QStringLiteral("1 byte"));
    EXPECT_EQ(format(999, en), QStringLiteral("999 bytes"));
    EXPECT_EQ(format(1000, en), QStringLiteral("1 KB"));
    EXPECT_EQ(format(12'345, en), QStringLiteral("12 KB"));
    EXPECT_EQ(format(1'234'567, en), QStringLiteral("1.2 MB"));
    EXPECT_EQ(format(1'200'000'000, en), QStringLiteral("1.2 GB"));
    EXPECT_EQ(format(4'567'000'000, en), QStringLiteral("4.57 GB"));
    EXPECT_EQ(format(80'000'000'000, en), QStringLiteral("80 GB"));
    EXPECT_EQ(format(2'000'000'000'000, en), QStringLiteral("2 TB"));
}

TEST(ByteCountFormatter, RoundingUpMovesToTheNextUnit) {
    EXPECT_EQ(format(999'999, AppLanguage::english), QStringLiteral("1 MB"));
    EXPECT_EQ(format(999'960'000, AppLanguage::english), QStringLiteral("1 GB"));
}

TEST(ByteCountFormatter, MemoryStyleUsesBinaryUnits) {
    EXPECT_EQ(format(1024, AppLanguage::english, Style::memory), QStringLiteral("1 KB"));
    EXPECT_EQ(format(8LL * 1024 * 1024 * 1024, AppLanguage::english, Style::memory),
              QStringLiteral("8 GB"));
    EXPECT_EQ(format(1000, AppLanguage::english, Style::memory), QStringLiteral("1000 bytes"));
}

TEST(ByteCountFormatter, ChineseAndExtremes) {
    const AppLanguage zh = AppLanguage::simplifiedChinese;
    EXPECT_EQ(format(0, zh), QStringLiteral("零 KB"));
    EXPECT_EQ(format(500, zh), QStringLiteral("500 字节"));
    EXPECT_EQ(format(1'234'567, zh), QStringLiteral("1.2 MB"));
    EXPECT_EQ(format(-1'500'000, AppLanguage::english), QStringLiteral("-1.5 MB"));
    // No overflow at the ends of the range.
    EXPECT_TRUE(format(std::numeric_limits<qint64>::max(), AppLanguage::english)
                    .endsWith(QLatin1String("EB")));
    EXPECT_TRUE(format(std::numeric_limits<qint64>::min(), AppLanguage::english)
                    .endsWith(QLatin1String("EB")));
}
