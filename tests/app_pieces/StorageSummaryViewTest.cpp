#include "app/StorageSummaryView.h"
#include "app/SettingsButton.h"
#include "appmodel/LorvPalette.h"
#include "browser/StorageGaugeStyle.h"
#include "platform/AppLanguage.h"
#include "platform/Settings.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>

namespace {

void setLanguage(AppLanguage language) {
    Settings::shared().setValue(AppLanguages::storageKey(), AppLanguages::rawValue(language));
}

void sendLanguageChange(QWidget& widget) {
    QEvent event(QEvent::LanguageChange);
    QCoreApplication::sendEvent(&widget, &event);
}

struct LanguageReset {
    ~LanguageReset() { setLanguage(AppLanguage::english); }
};

} // namespace

TEST(StorageSummaryView, GaugeRowOrCapacityRow) {
    setLanguage(AppLanguage::english);
    StorageSummaryView view;
    view.resize(180, 40);
    view.setBytes(4'000'000'000, 16'000'000'000);
    view.show();
    EXPECT_FALSE(view.gauge()->isHidden());
    EXPECT_DOUBLE_EQ(view.gauge()->value(), 0.75);
    EXPECT_EQ(view.usedLabel()->text(), QStringLiteral("12 GB used"));
    EXPECT_EQ(view.totalLabel()->text(), QStringLiteral("16 GB"));
    EXPECT_EQ(view.gauge()->toolTip(), QStringLiteral("Available space: 4 GB"));
    EXPECT_EQ(view.gauge()->accessibleDescription(), QStringLiteral("75% used"));
    EXPECT_FALSE(view.capacityLabel()->isVisible());

    // The painted gauge: three quarters filled, the rest track.
    const QImage image = view.gauge()->grab().toImage();
    const int y = image.height() / 2;
    EXPECT_EQ(image.pixelColor(image.width() - 5, y), LorvPalette::slate600());
    EXPECT_NE(image.pixelColor(image.width() / 2, y), LorvPalette::slate600());

    view.setBytes(std::nullopt, 16'000'000'000);
    EXPECT_TRUE(view.gauge()->isHidden());
    EXPECT_TRUE(view.capacityLabel()->isVisible());
    EXPECT_EQ(view.capacityLabel()->text(), QStringLiteral("Capacity"));
}

TEST(StorageSummaryView, NoCapacityShowsNoGauge) {
    setLanguage(AppLanguage::english);
    StorageSummaryView view;
    view.setBytes(0, 0);
    view.show();
    EXPECT_TRUE(view.gauge()->isHidden());
    EXPECT_DOUBLE_EQ(view.gauge()->value(), 0.0);
}

TEST(StorageSummaryView, LanguageChangeRelabels) {
    LanguageReset reset;
    setLanguage(AppLanguage::english);
    StorageSummaryView view;
    view.setBytes(1'000'000'000, 2'000'000'000);
    SettingsButton button;
    EXPECT_EQ(button.toolTip(), QStringLiteral("Settings"));
    EXPECT_FALSE(button.icon().isNull());

    setLanguage(AppLanguage::simplifiedChinese);
    sendLanguageChange(view);
    sendLanguageChange(button);
    EXPECT_EQ(view.usedLabel()->text(), QStringLiteral("已使用 1 GB"));
    EXPECT_EQ(button.toolTip(), QStringLiteral("设置"));
    EXPECT_EQ(button.accessibleName(), QStringLiteral("设置"));
}
