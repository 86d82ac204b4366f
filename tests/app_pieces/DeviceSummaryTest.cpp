#include "app/DeviceSummary.h"
#include "app/BatteryIndicator.h"
#include "app/PlaybackModeLabel.h"
#include "app/SoftwareVersionText.h"
#include "browser/ElidedLabel.h"

#include <gtest/gtest.h>

#include <QLabel>

using namespace DeviceSummary;

namespace {
const AppLanguage en = AppLanguage::english;
const AppLanguage zh = AppLanguage::simplifiedChinese;
} // namespace

TEST(DeviceSummary, StorageGaugeOnlyWhenTheUsedShareIsKnown) {
    const StorageSummary half = storageSummary(8'000'000'000, 16'000'000'000, en);
    EXPECT_TRUE(half.hasGauge);
    EXPECT_DOUBLE_EQ(half.fraction, 0.5);
    EXPECT_EQ(half.gaugeValueText, QStringLiteral("50% used"));
    EXPECT_EQ(half.gaugeToolTip, QStringLiteral("Available space: 8 GB"));
    EXPECT_EQ(half.usedText, QStringLiteral("8 GB used"));
    EXPECT_EQ(half.totalText, QStringLiteral("16 GB"));

    const StorageSummary empty = storageSummary(16'000'000'000, 16'000'000'000, en);
    EXPECT_TRUE(empty.hasGauge);
    EXPECT_DOUBLE_EQ(empty.fraction, 0.0);
    EXPECT_EQ(empty.gaugeValueText, QStringLiteral("0% used"));

    // Unknown, negative or larger-than-total free space: the capacity alone.
    for (std::optional<qint64> free : {std::optional<qint64>(), std::optional<qint64>(-1),
                                       std::optional<qint64>(17'000'000'000)}) {
        const StorageSummary row = storageSummary(free, 16'000'000'000, en);
        EXPECT_FALSE(row.hasGauge);
        EXPECT_EQ(row.capacityLabel, QStringLiteral("Capacity"));
        EXPECT_EQ(row.totalText, QStringLiteral("16 GB"));
    }
}

TEST(DeviceSummary, ZeroCapacityGivesNoGaugeInsteadOfDividingByZero) {
    const StorageSummary zero = storageSummary(0, 0, en);
    EXPECT_FALSE(zero.hasGauge);
    EXPECT_FALSE(std::isnan(zero.fraction));
    EXPECT_EQ(zero.totalText, QStringLiteral("Zero KB"));
    EXPECT_FALSE(storageSummary(std::nullopt, 0, en).hasGauge);
}

TEST(DeviceSummary, PercentRoundsHalfToEvenInTheLanguageLocale) {
    EXPECT_EQ(percentText(0.425, en), QStringLiteral("42%"));
    EXPECT_EQ(percentText(0.435, en), QStringLiteral("44%"));
    EXPECT_EQ(percentText(1.0, en), QStringLiteral("100%"));
    EXPECT_EQ(percentText(0.5, zh), QStringLiteral("50%"));
    EXPECT_EQ(storageSummary(1, 3, zh).gaugeValueText, QStringLiteral("已使用 67%"));
}

TEST(DeviceSummary, BatteryStatusText) {
    EXPECT_EQ(batteryStatusText(true, true, en), QStringLiteral("Charging"));
    EXPECT_EQ(batteryStatusText(false, true, en), QStringLiteral("Fully charged"));
    EXPECT_EQ(batteryStatusText(std::nullopt, true, en), QStringLiteral("Fully charged"));
    EXPECT_EQ(batteryStatusText(std::nullopt, false, en), std::nullopt);
    EXPECT_EQ(batteryStatusText(std::nullopt, std::nullopt, en), std::nullopt);
    EXPECT_EQ(batteryStatusText(false, std::nullopt, en), QStringLiteral("Not charging"));
}

TEST(DeviceSummary, BatterySymbolChangesAt6_38_63And88) {
    const std::pair<int, const char*> levels[] = {
        {0, "battery.0percent"},    {5, "battery.0percent"},   {6, "battery.25percent"},
        {37, "battery.25percent"},  {38, "battery.50percent"}, {62, "battery.50percent"},
        {63, "battery.75percent"},  {87, "battery.75percent"}, {88, "battery.100percent"},
        {100, "battery.100percent"}};
    for (const auto& [percent, symbol] : levels)
        EXPECT_EQ(batterySymbol(percent, false), QLatin1String(symbol)) << percent;
    EXPECT_EQ(batterySymbol(std::nullopt, std::nullopt), QStringLiteral("battery.100percent"));
    EXPECT_EQ(batterySymbol(20, true), QStringLiteral("battery.100percent.bolt"));
    EXPECT_EQ(batteryTint(true, false), BatteryTint::green);
    EXPECT_EQ(batteryTint(false, true), BatteryTint::green);
    EXPECT_EQ(batteryTint(std::nullopt, std::nullopt), BatteryTint::secondary);
}

TEST(DeviceSummary, BatteryHelpText) {
    EXPECT_EQ(batteryHelpText(std::nullopt, true, false, en), QStringLiteral("Charging"));
    EXPECT_EQ(batteryHelpText(std::nullopt, std::nullopt, false, en), QStringLiteral("Battery"));
    EXPECT_EQ(batteryHelpText(20, true, false, en), QStringLiteral("Battery: 20%, Charging"));
    EXPECT_EQ(batteryHelpText(80, std::nullopt, std::nullopt, en), QStringLiteral("Battery 80%"));
    EXPECT_EQ(batteryHelpText(80, std::nullopt, std::nullopt, zh), QStringLiteral("电池 80%"));
    EXPECT_EQ(batteryHelpText(55, false, false, zh), QStringLiteral("电池：55%，未在充电"));
}

TEST(DeviceSummary, ArtworkNamesMatchWholePrefixesOnly) {
    EXPECT_EQ(deviceArtworkName(QStringLiteral("iPod130")), QStringLiteral("iPodN98"));
    EXPECT_EQ(deviceArtworkName(QStringLiteral("iPod130C")), QStringLiteral("iPodN98C"));
    EXPECT_EQ(deviceArtworkName(QStringLiteral("iPod132B")), QStringLiteral("iPodD55"));
    EXPECT_EQ(deviceArtworkName(QStringLiteral("iPod7")), QStringLiteral("iPodM26"));
    EXPECT_EQ(deviceArtworkName(QStringLiteral("iPod130X")), std::nullopt);
    EXPECT_EQ(deviceArtworkName(QStringLiteral("iPod1")), std::nullopt);
    EXPECT_EQ(deviceArtworkName(QStringLiteral("ipod130")), std::nullopt);
}

TEST(BatteryIndicator, ChargingShowsTheGreenBoltAndThePercent) {
    BatteryIndicator indicator;
    indicator.setState(20, true, false);
    indicator.show();
    EXPECT_EQ(indicator.symbol(), QStringLiteral("battery.100percent.bolt"));
    EXPECT_EQ(indicator.symbolColor(), BatteryIndicator::green());
    EXPECT_EQ(indicator.percentLabel()->text(), QStringLiteral("20%"));
    EXPECT_EQ(indicator.toolTip(), QStringLiteral("Battery: 20%, Charging"));
    // The symbol is drawn in the tint: every opaque pixel is the green.
    const QImage image = indicator.symbolLabel()->pixmap().toImage();
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) == 255) {
                ++opaque;
                EXPECT_EQ(QColor(image.pixel(x, y)).rgb(), BatteryIndicator::green().rgb());
            }
    EXPECT_GT(opaque, 0);

    indicator.setState(std::nullopt, std::nullopt, std::nullopt);
    EXPECT_TRUE(indicator.percentLabel()->isHidden());
    EXPECT_EQ(indicator.toolTip(), QStringLiteral("Battery"));
}

TEST(PlaybackModeLabel, ShowsBatteryAndModeOnlyWhenPresent) {
    PlaybackModeLabel label;
    label.setContent(QStringLiteral("2nd generation · 1 GB"), std::nullopt, std::nullopt);
    label.show();
    EXPECT_EQ(label.textLabel()->text(), QStringLiteral("2nd generation · 1 GB"));
    EXPECT_TRUE(label.batteryIndicator()->isHidden());
    EXPECT_TRUE(label.modeLabel()->isHidden());

    label.setContent(QStringLiteral("x"), PlaybackModeLabel::Battery{40, false, false},
                     PlaybackMode::shuffle);
    EXPECT_FALSE(label.batteryIndicator()->isHidden());
    EXPECT_EQ(label.modeLabel()->text(), QStringLiteral("Playback mode: Shuffle"));
    label.setContent(QStringLiteral("x"), std::nullopt, PlaybackMode::sequential);
    EXPECT_EQ(label.modeLabel()->text(), QStringLiteral("Playback mode: In order"));
}

TEST(SoftwareVersionText, VersionFollowsTheTitleOnceKnown) {
    SoftwareVersionText title;
    title.setTitle(QStringLiteral("Kitchen iPod"));
    title.show();
    EXPECT_TRUE(title.versionLabel()->isHidden());
    title.setSoftwareVersion(QStringLiteral("1.0.4"));
    EXPECT_FALSE(title.versionLabel()->isHidden());
    EXPECT_EQ(title.versionLabel()->text(), QStringLiteral("Software Version 1.0.4"));
    EXPECT_EQ(softwareVersionText(QStringLiteral("1.1"), zh), QStringLiteral("软件版本 1.1"));
}

namespace {

IPodModel model(IPodModel::Family family, int generation, std::optional<QString> colour = {}) {
    IPodModel m;
    m.family = family;
    m.generationNumber = generation;
    m.colorName = std::move(colour);
    m.iconName = QStringLiteral("iPod9-Silver");
    return m;
}

} // namespace

TEST(DeviceSummary, InformationLineNamesTheModelThenCapacityTracksAndFreeSpace) {
    const qint64 total = 80'000'000'000, free = 12'500'000'000;
    // A classic by its name, a nano or shuffle by the release year of its generation.
    EXPECT_EQ(informationLine(model(IPodModel::Family::classic, 6), total, free, 2, en),
              model(IPodModel::Family::classic, 6).displayName(en) +
                  QStringLiteral(" · 80 GB · 2 tracks · 12.5 GB available"));
    EXPECT_EQ(informationLine(model(IPodModel::Family::nano, 2), total, free, 2, en),
              QStringLiteral("2006 · 80 GB · 2 tracks · 12.5 GB available"));
    EXPECT_EQ(informationLine(model(IPodModel::Family::shuffle, 2), total, free, 0, en),
              QStringLiteral("2006 · 80 GB · 0 tracks · 12.5 GB available"));
    EXPECT_EQ(informationLine(std::nullopt, total, free, std::nullopt, en),
              QStringLiteral("Unknown iPod · 80 GB · 12.5 GB available"));
    EXPECT_EQ(informationLine(std::nullopt, total, free, 3, zh),
              QStringLiteral("未知 iPod · 80 GB · 3 首曲目 · 可用 12.5 GB"));
    // Grouped as the scope's count badge groups it.
    EXPECT_EQ(informationLine(std::nullopt, 0, 0, 40024, en),
              QStringLiteral("Unknown iPod · 40,024 tracks"));
    EXPECT_EQ(informationLine(std::nullopt, 0, 0, 40024, zh),
              QStringLiteral("未知 iPod · 40,024 首曲目"));
}

TEST(DeviceSummary, AvailableSpaceOnlyWhenItFitsTheCapacity) {
    const auto nano = model(IPodModel::Family::nano, 2);
    // More free than total, or no capacity at all: no "available" part.
    EXPECT_EQ(informationLine(nano, 1'000'000'000, 2'000'000'000, 1, en),
              QStringLiteral("2006 · 1 GB · 1 track"));
    EXPECT_EQ(informationLine(nano, 0, 0, 1, en), QStringLiteral("2006 · 1 track"));
    EXPECT_EQ(informationLine(nano, 1'000'000'000, 1'000'000'000, 1, en),
              QStringLiteral("2006 · 1 GB · 1 track · 1 GB available"));
}

TEST(DeviceSummary, AGenerationOutsideTheCatalogueFallsBackToTheModelsName) {
    // The catalogue lists 7 nano generations; 0 and 99 are not among them.
    for (int generation : {0, 99, -3}) {
        const IPodModel odd = model(IPodModel::Family::nano, generation);
        EXPECT_EQ(informationLine(odd, 0, 0, std::nullopt, en), odd.displayName(en)) << generation;
    }
}

TEST(DeviceSummary, SummaryLineShowsTheModelOnlyWhenItDiffersAndItsColour) {
    const IPodModel classic = model(IPodModel::Family::classic, 6, QStringLiteral("Silver"));
    const QString name = classic.displayName(en);
    EXPECT_EQ(summaryLine(QStringLiteral("Music"), classic, en),
              QStringLiteral("Music · ") + name + QStringLiteral(" — Silver"));
    EXPECT_EQ(summaryLine(name, classic, en), name + QStringLiteral(" — Silver"));
    EXPECT_EQ(summaryLine(QStringLiteral("Music"), model(IPodModel::Family::classic, 6), en),
              QStringLiteral("Music · ") + name);
    EXPECT_EQ(summaryLine(QStringLiteral("Music"), std::nullopt, en), QStringLiteral("Music"));
    EXPECT_EQ(summaryLine(QStringLiteral("Music"), classic, zh),
              QStringLiteral("Music · ") + classic.displayName(zh) + QStringLiteral(" — 银色"));
}
