#include "library/IPodModel.h"

#include <gtest/gtest.h>

namespace {

std::optional<QString> text(const char* value) {
    return value ? std::optional<QString>(QString::fromUtf8(value)) : std::nullopt;
}

struct GenerationCase {
    int generation;
    const char* serial;
    const char* modelNumber;
    std::optional<int> model;
    IPodModel::Family family;
    int generationNumber;
    const char* colour;
    const char* icon;
};

} // namespace

TEST(IPodModel, FromLibgpodGeneration) {
    using F = IPodModel::Family;
    const GenerationCase cases[] = {
        {9, nullptr, nullptr, std::nullopt, F::shuffle, 1, nullptr, "iPod128"},
        {10, nullptr, "A949", std::nullopt, F::shuffle, 2, nullptr, "iPod130-Blue"},
        {10, "XXXXXXXXYX9", "A546", std::nullopt, F::shuffle, 2, nullptr,
         "iPod130C-Red"}, // suffix first
        {10, nullptr, "ZZZZ", std::nullopt, F::shuffle, 2, nullptr, "iPod130-Silver"},
        {11, "xxxxxxxxa7d", nullptr, std::nullopt, F::shuffle, 3, nullptr,
         "iPod132-Pink"}, // upper-cased
        {11, nullptr, "C303", std::nullopt, F::shuffle, 3, nullptr, "iPod132B-Silver"},
        {22, "XXXXXXXXGK6D", nullptr, std::nullopt, F::shuffle, 4, nullptr, "iPod133D-SpaceGray"},
        {22, "XXXXXXXXCMK", nullptr, std::nullopt, F::shuffle, 4, nullptr, "iPod133-Pink"},
        {12, "XXXXXXXXUPR", nullptr, 12, F::nano, 1, "White", "iPod7-White"}, // libgpod model wins
        {12, "XXXXXXXXUPR", nullptr, std::nullopt, F::nano, 1, "Black", "iPod7-Black"},
        {12, nullptr, nullptr, std::nullopt, F::nano, 1, nullptr, "iPod7-White"},
        {13, nullptr, nullptr, 21, F::nano, 2, "Pink", "iPod9-Pink"},
        {13, nullptr, nullptr, std::nullopt, F::nano, 2, nullptr, "iPod9-Silver"},
        {14, nullptr, nullptr, 25, F::nano, 3, "Orange", "iPod12-Orange"},
        {15, nullptr, nullptr, 99, F::nano, 4, nullptr, "iPod15-Silver"},
        {27, "XXXXXXXX72K", nullptr, std::nullopt, F::nano, 5, "Red", "iPod16-Red"},
        {27, nullptr, nullptr, 24, F::nano, 5, "Purple", "iPod16-Purple"},
        {32, nullptr, nullptr, 13, F::nano, 6, "Dark Gray", "iPod17-DarkGray"},
        {32, nullptr, nullptr, 18, F::nano, 6, "Silver", "iPod17-Silver"},
        {18, nullptr, nullptr, 35, F::classic, 6, "Black", "iPod11-Black"},
        {19, "XXXXXXXX9ZS", nullptr, std::nullopt, F::classic, 6, "Silver", "iPod11-Silver"},
        {26, "XXXXXXXX2C7", nullptr, 34, F::classic, 6, "Silver", "iPod11-Silver"},
        {26, "XXXXXXXX2C7X", nullptr, std::nullopt, F::classic, 6, nullptr,
         "iPod11-Silver"}, // 4-char suffix
    };
    for (const GenerationCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.generation << " " << (c.serial ? c.serial : "-") << " " << c.icon);
        const auto model = IPodModel::fromGeneration(
            c.generation, text(c.serial), text(c.modelNumber),
            c.model ? std::optional<std::int32_t>(*c.model) : std::nullopt);
        ASSERT_TRUE(model);
        EXPECT_EQ(model->family, c.family);
        EXPECT_EQ(model->generationNumber, c.generationNumber);
        EXPECT_EQ(model->colorName, text(c.colour));
        EXPECT_EQ(model->iconName, QString::fromLatin1(c.icon));
    }
    for (int unlisted : {0, 1, 16, 20, 21, 28, 33})
        EXPECT_FALSE(IPodModel::fromGeneration(unlisted, std::nullopt, std::nullopt, 18))
            << unlisted;
}

TEST(IPodModel, FromUSBProductID) {
    const auto classic = IPodModel::fromProductID(0x1261, std::nullopt);
    ASSERT_TRUE(classic);
    EXPECT_EQ(classic->family, IPodModel::Family::classic);
    EXPECT_EQ(classic->generationNumber, 6);
    EXPECT_FALSE(classic->colorName);
    EXPECT_EQ(classic->iconName, QStringLiteral("iPod11-Silver"));
    const auto black = IPodModel::fromProductID(0x1261, QStringLiteral("8K1234ABYMX"));
    ASSERT_TRUE(black);
    EXPECT_EQ(black->colorName, QStringLiteral("Black"));
    EXPECT_EQ(black->iconName, QStringLiteral("iPod11-Black"));
    const auto seventh = IPodModel::fromProductID(0x1267, QStringLiteral("XXXXXXXXUPR"));
    ASSERT_TRUE(seventh);
    EXPECT_EQ(*seventh, (IPodModel{IPodModel::Family::nano, 7, std::nullopt,
                                   QStringLiteral("iPod18-Silver")}));

    const std::pair<int, int> generations[] = {{0x120A, 1}, {0x1260, 2}, {0x1262, 3}, {0x1263, 4},
                                               {0x1265, 5}, {0x1266, 6}, {0x1300, 1}, {0x1301, 2},
                                               {0x1302, 3}, {0x1303, 4}};
    for (const auto& [pid, number] : generations) {
        const auto model = IPodModel::fromProductID(pid, std::nullopt);
        ASSERT_TRUE(model) << pid;
        EXPECT_EQ(model->generationNumber, number) << pid;
    }
    EXPECT_FALSE(IPodModel::fromProductID(0x1205, std::nullopt));
    EXPECT_FALSE(IPodModel::fromProductID(0x1264, std::nullopt));
}

TEST(IPodModel, HandledUSBProductIDs) {
    int handled = 0;
    for (int pid = 0x1200; pid <= 0x1310; ++pid)
        handled += isIPodUSBProductID(pid) ? 1 : 0;
    EXPECT_EQ(handled, 8 + 12);
    EXPECT_TRUE(isIPodUSBProductID(0x1201));
    EXPECT_FALSE(isIPodUSBProductID(0x1205));
    EXPECT_TRUE(isIPodUSBProductID(0x1267));
    EXPECT_FALSE(isIPodUSBProductID(0x1264));
}

TEST(IPodModel, NamesAndFamilies) {
    const auto shuffle3 = IPodModel::fromGeneration(11, std::nullopt, std::nullopt, std::nullopt);
    EXPECT_EQ(shuffle3->displayName(AppLanguage::english),
              QStringLiteral("iPod shuffle (3rd generation)"));
    EXPECT_EQ(shuffle3->displayName(AppLanguage::simplifiedChinese),
              QStringLiteral("iPod shuffle（第 3 代）"));
    EXPECT_FALSE(shuffle3->hasScreen());
    const auto classic = IPodModel::fromGeneration(18, std::nullopt, std::nullopt, 35);
    EXPECT_EQ(classic->displayName(AppLanguage::english), QStringLiteral("iPod classic"));
    EXPECT_TRUE(classic->hasScreen());
    EXPECT_EQ(IPodModel::fromProductID(0x1267, std::nullopt)->generationName(AppLanguage::english),
              QStringLiteral("7th generation"));
    EXPECT_EQ(IPodModel::familyFromRawValue(QStringLiteral("nano")), IPodModel::Family::nano);
    EXPECT_FALSE(IPodModel::familyFromRawValue(QStringLiteral("Nano")));
}
