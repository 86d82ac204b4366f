#include "transfer/TransferSettings.h"
#include "platform/Settings.h"

#include <gtest/gtest.h>

#include <QSettings>

namespace {

class TransferSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }
    static void clear() {
        QSettings s(QStringLiteral("Lorvanel"), QStringLiteral("Lorvanel"));
        s.clear();
    }
    static void store(const QString& key, const QVariant& value) {
        QSettings s(QStringLiteral("Lorvanel"), QStringLiteral("Lorvanel"));
        s.setValue(key, value);
    }
};

TEST_F(TransferSettingsTest, MissingAndUnusableValuesReadAsTheDefaults) {
    EXPECT_EQ(TransferSettings::load(), TransferSettings::defaults());
    EXPECT_EQ(TransferSettings::defaults().packed(), (std::array<std::uint8_t, 4>{3, 1, 0, 1}));
    for (const QVariant& bad : {QVariant(100), QVariant(0), QVariant(-128), QVariant(384),
                                QVariant(QStringLiteral("fast"))}) {
        store(TransferSettings::Key::bitrate, bad);
        EXPECT_EQ(TransferSettings::load().bitrate, TransferSettings::Bitrate::kbps320);
    }
    store(TransferSettings::Key::bitrate, 192);
    store(TransferSettings::Key::onlyUnsupported, QStringLiteral("NO"));
    store(TransferSettings::Key::parseFilenameTags, false);
    store(TransferSettings::Key::autoEject, true);
    const TransferSettings s = TransferSettings::load();
    EXPECT_EQ(s.bitrate, TransferSettings::Bitrate::kbps192);
    EXPECT_TRUE(s.onlyUnsupported); // a text that is no Boolean keeps the default
    EXPECT_FALSE(s.parseFilenameTags);
    EXPECT_TRUE(s.autoEject);
}

TEST_F(TransferSettingsTest, BitratesAndPacking) {
    EXPECT_FALSE(TransferSettings::bitrateFromRawValue(200).has_value());
    EXPECT_FALSE(TransferSettings::bitrateFromRawValue(384).has_value());
    EXPECT_EQ(TransferSettings::bitrateFromRawValue(256), TransferSettings::Bitrate::kbps256);
    for (auto b : TransferSettings::allBitrates)
        EXPECT_EQ(TransferSettings::bitrateFromRawValue(TransferSettings::rawValue(b)), b);
    const TransferSettings s = TransferSettings::unpacked({1, 0xFE, 0x03, 0x02});
    EXPECT_EQ(s.bitrate, TransferSettings::Bitrate::kbps192);
    EXPECT_FALSE(s.onlyUnsupported);
    EXPECT_TRUE(s.autoEject);
    EXPECT_FALSE(s.parseFilenameTags);
}

} // namespace
