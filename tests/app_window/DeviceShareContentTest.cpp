#include "app/DeviceShareContent.h"
#include "app/DeviceIcon.h"
#include "showcase/DeviceShareCard.h"

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

// The card shows the symbol the headers draw for the device: white at 0.85, kept at 140 × 182.
void expectSymbolOnCard(const DeviceShareButton::Content& content, const QString& symbol) {
    SCOPED_TRACE(symbol.toStdString());
    ASSERT_TRUE(content.artwork);
    const std::optional<StartupDeviceArtwork> artwork = content.artwork();
    ASSERT_TRUE(artwork && artwork->image);
    EXPECT_EQ(*artwork->image, *DeviceIcon::symbolArtwork(symbol)->image);
    const QImage image = artwork->image->convertToFormat(QImage::Format_ARGB32);
    QRect drawn;
    QColor solid(Qt::transparent);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (const QColor c = image.pixelColor(x, y); c.alpha() > 0) {
                drawn |= QRect(x, y, 1, 1);
                if (c.alpha() > solid.alpha())
                    solid = c;
            }
    EXPECT_EQ(solid.rgb(), QColor(Qt::white).rgb());
    EXPECT_NEAR(solid.alphaF(), 0.85, 0.01);
    // The drawing, not its margins, fills the frame one way.
    EXPECT_TRUE(drawn.height() > image.height() * 0.97 || drawn.width() > image.width() * 0.97);

    DeviceShareCard card{content.title, std::nullopt, QString(), artwork, std::nullopt};
    const DeviceShareCard::Layout layout = card.layout();
    EXPECT_EQ(layout.front.size(), QSizeF(140, 182));
    EXPECT_EQ(layout.front.center(), layout.frontBox.center());
    DeviceShareCard bare = card;
    bare.artwork.reset();
    const QImage shown = card.image(1);
    const QImage empty = bare.image(1);
    const QRect front = layout.front.toAlignedRect();
    int changed = 0;
    for (int y = front.top(); y <= front.bottom(); ++y)
        for (int x = front.left(); x <= front.right(); ++x)
            changed += shown.pixel(x, y) != empty.pixel(x, y);
    EXPECT_GT(changed, front.width() * front.height() / 10);
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

TEST(DeviceShareContent, UnknownModelsAndGenerationsOutsideTheCatalogueShowTheHeadersSymbol) {
    const auto unknown =
        DeviceShareContent::forIPod(deviceOf(2'000'000'000), std::nullopt, AppLanguage::english);
    EXPECT_EQ(unknown.title, QStringLiteral("Unknown iPod"));
    EXPECT_FALSE(unknown.years);
    EXPECT_EQ(unknown.capacities, QStringList{QStringLiteral("2 GB")});
    EXPECT_FALSE(unknown.rearArtwork);
    expectSymbolOnCard(unknown, QStringLiteral("ipod"));

    const auto outside = DeviceShareContent::forIPod(
        deviceOf(0), modelOf(IPodModel::Family::shuffle, 9, std::nullopt, QStringLiteral("x")),
        AppLanguage::english);
    EXPECT_FALSE(outside.years);
    EXPECT_TRUE(outside.capacities.isEmpty());
    EXPECT_FALSE(outside.rearArtwork);
    expectSymbolOnCard(outside, QStringLiteral("ipodshuffle.gen2"));
}

TEST(DeviceShareContent, AnIPodTouchSharesItsNameCapacityAndSymbol) {
    auto touch = *MobileDevice::make(QStringLiteral("udid"), QStringLiteral("iPod9,1"),
                                     QStringLiteral("Pocket"), std::nullopt, std::nullopt);
    auto content = DeviceShareContent::forMobileDevice(touch, AppLanguage::english);
    EXPECT_EQ(content.title, touch.displayName(AppLanguage::english));
    EXPECT_TRUE(content.capacities.isEmpty());
    EXPECT_FALSE(content.years);
    EXPECT_FALSE(content.rearArtwork);
    expectSymbolOnCard(content, QStringLiteral("ipodtouch"));
    // A drawing of its own, not the click-wheel player's.
    EXPECT_NE(DeviceIcon::symbolArtwork(QStringLiteral("ipodtouch"))->image,
              DeviceIcon::symbolArtwork(QStringLiteral("ipod"))->image);
    touch.details = MobileDevice::Details{};
    touch.details->capacity = 32'000'000'000;
    content = DeviceShareContent::forMobileDevice(touch, AppLanguage::english);
    EXPECT_EQ(content.capacities, QStringList{QStringLiteral("32 GB")});
}
