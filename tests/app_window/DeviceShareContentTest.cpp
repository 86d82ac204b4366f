#include "app/DeviceShareContent.h"

#include <gtest/gtest.h>

using Finish = StartupModel::Finish;

namespace {

IPodDevice deviceOf(qint64 totalBytes) {
    IPodDevice device;
    device.mountPoint = QStringLiteral("/media/ipod");
    device.totalBytes = totalBytes;
    return device;
}

IPodModel modelOf(IPodModel::Family family, int generation, std::optional<QString> colour,
                  const QString& icon) {
    IPodModel model;
    model.family = family;
    model.generationNumber = generation;
    model.colorName = std::move(colour);
    model.iconName = icon;
    return model;
}

} // namespace

TEST(DeviceShareContent, AMountedClassicOffersItsOwnCapacityFirstWithoutRepeatingIt) {
    const IPodModel classic = modelOf(IPodModel::Family::classic, 6, QStringLiteral("Black"),
                                      QStringLiteral("iPod11-Black"));
    const auto content =
        DeviceShareContent::forIPod(deviceOf(80'000'000'000), classic, AppLanguage::english);
    EXPECT_EQ(content.title, classic.displayName(AppLanguage::english));
    ASSERT_TRUE(content.years);
    EXPECT_EQ(content.years->first, 2007);
    EXPECT_EQ(content.years->last, 2014);
    EXPECT_EQ(content.capacities, (QStringList{QStringLiteral("80 GB"), QStringLiteral("120 GB"),
                                               QStringLiteral("160 GB")}));
    EXPECT_EQ(content.finish, QStringLiteral("Black"));
    ASSERT_TRUE(content.rearArtwork);
    EXPECT_EQ(content.rearArtwork->series, StartupSeries::classic);
    EXPECT_EQ(content.rearArtwork->generation, 5);
    EXPECT_EQ(content.rearArtwork->finish, Finish::black);
    EXPECT_TRUE(content.rearArtwork->showsRear);
    EXPECT_FALSE(content.rearArtwork->rearCapacity);
    ASSERT_TRUE(content.artwork);
    EXPECT_EQ(content.artwork()->finish, Finish::black);

    // In Chinese the colour is looked up, the own capacity written the Chinese way.
    const auto chinese = DeviceShareContent::forIPod(deviceOf(79'500'000'000), classic,
                                                     AppLanguage::simplifiedChinese);
    EXPECT_EQ(chinese.finish, QStringLiteral("黑色"));
    EXPECT_EQ(chinese.capacities.size(), 4);
}

TEST(DeviceShareContent, AnIconNameWithoutAFinishTakesTheModelsFirstOne) {
    const auto content = DeviceShareContent::forIPod(
        deviceOf(0), modelOf(IPodModel::Family::nano, 5, std::nullopt, QStringLiteral("iPod16")),
        AppLanguage::english);
    ASSERT_TRUE(content.rearArtwork);
    EXPECT_EQ(content.rearArtwork->finish, Finish::orange);
    EXPECT_FALSE(content.finish);
    // No capacity of its own: only the catalogue's options.
    EXPECT_EQ(content.capacities, (QStringList{QStringLiteral("8 GB"), QStringLiteral("16 GB")}));
}

TEST(DeviceShareContent, UnknownModelsAndGenerationsOutsideTheCatalogueDrawNoDevice) {
    const auto unknown =
        DeviceShareContent::forIPod(deviceOf(2'000'000'000), std::nullopt, AppLanguage::english);
    EXPECT_EQ(unknown.title, QStringLiteral("Unknown iPod"));
    EXPECT_FALSE(unknown.years);
    EXPECT_EQ(unknown.capacities, QStringList{QStringLiteral("2 GB")});
    EXPECT_FALSE(unknown.rearArtwork);
    EXPECT_FALSE(unknown.artwork);

    const auto outside = DeviceShareContent::forIPod(
        deviceOf(0), modelOf(IPodModel::Family::shuffle, 9, std::nullopt, QStringLiteral("x")),
        AppLanguage::english);
    EXPECT_FALSE(outside.years);
    EXPECT_TRUE(outside.capacities.isEmpty());
    EXPECT_FALSE(outside.rearArtwork);
}

TEST(DeviceShareContent, AnIPodTouchSharesItsNameAndCapacityOnly) {
    auto touch = *MobileDevice::make(QStringLiteral("udid"), QStringLiteral("iPod9,1"),
                                     QStringLiteral("Pocket"), std::nullopt, std::nullopt);
    auto content = DeviceShareContent::forMobileDevice(touch, AppLanguage::english);
    EXPECT_EQ(content.title, touch.displayName(AppLanguage::english));
    EXPECT_TRUE(content.capacities.isEmpty());
    EXPECT_FALSE(content.years);
    EXPECT_FALSE(content.rearArtwork);
    touch.details = MobileDevice::Details{};
    touch.details->capacity = 32'000'000'000;
    content = DeviceShareContent::forMobileDevice(touch, AppLanguage::english);
    EXPECT_EQ(content.capacities, QStringList{QStringLiteral("32 GB")});
}
