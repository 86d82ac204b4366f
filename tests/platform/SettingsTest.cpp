#include "platform/Settings.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QSignalSpy>

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings(QStringLiteral("Lorvanel"), QStringLiteral("Lorvanel")).clear();
    }
    void TearDown() override { SetUp(); }
    static void store(const QString& key, const QVariant& value) {
        QSettings settings(QStringLiteral("Lorvanel"), QStringLiteral("Lorvanel"));
        settings.setValue(key, value);
    }
};

} // namespace

TEST_F(SettingsTest, MissingKeysGiveTheDefaults) {
    EXPECT_EQ(Settings::languageRawValue(), QStringLiteral("system"));
    EXPECT_EQ(Settings::aacBitrate(), 320);
    EXPECT_TRUE(Settings::onlyUnsupported());
    EXPECT_FALSE(Settings::autoEject());
    EXPECT_TRUE(Settings::parseFilenameTags());
    EXPECT_EQ(Settings::shuffle2FinishName(), QStringLiteral("Green"));
}

TEST_F(SettingsTest, OutOfRangeValuesFallBack) {
    for (const QVariant& odd : {QVariant(100), QVariant(321), QVariant(QStringLiteral("fast")),
                                QVariant(-256), QVariant(0)}) {
        store(Settings::Keys::aacBitrate, odd);
        EXPECT_EQ(Settings::aacBitrate(), 320) << odd.toString().toStdString();
    }
    for (int allowed : {128, 192, 256, 320}) {
        store(Settings::Keys::aacBitrate, allowed);
        EXPECT_EQ(Settings::aacBitrate(), allowed);
    }
    store(Settings::Keys::appLanguage, QStringLiteral("fr"));
    EXPECT_EQ(Settings::languageRawValue(), QStringLiteral("system"));
    store(Settings::Keys::appLanguage, QStringLiteral("ZH-HANS"));
    EXPECT_EQ(Settings::languageRawValue(), QStringLiteral("system"));
    store(Settings::Keys::onlyUnsupported, QStringLiteral("maybe"));
    EXPECT_TRUE(Settings::onlyUnsupported());
    store(Settings::Keys::autoEject, QStringLiteral("maybe"));
    EXPECT_FALSE(Settings::autoEject());
}

TEST_F(SettingsTest, WritesAreReadBackAndAnnounced) {
    QSignalSpy spy(&Settings::shared(), &Settings::changed);
    Settings::shared().setValue(Settings::Keys::autoEject, true);
    Settings::shared().setValue(Settings::Keys::onlyUnsupported, false);
    Settings::shared().setValue(Settings::Keys::aacBitrate, 192);
    EXPECT_TRUE(Settings::autoEject());
    EXPECT_FALSE(Settings::onlyUnsupported());
    EXPECT_EQ(Settings::aacBitrate(), 192);
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(0).at(0).toString(), Settings::Keys::autoEject);
    EXPECT_EQ(spy.at(2).at(0).toString(), Settings::Keys::aacBitrate);

    Settings::shared().remove(Settings::Keys::autoEject);
    EXPECT_FALSE(Settings::autoEject());
    EXPECT_EQ(spy.count(), 4);
}

TEST_F(SettingsTest, KeysAreTheDottedNamesOnDisk) {
    Settings::shared().setValue(Settings::Keys::parseFilenameTags, false);
    QSettings settings(QStringLiteral("Lorvanel"), QStringLiteral("Lorvanel"));
    EXPECT_TRUE(settings.contains(QStringLiteral("transfer.parseFilenameTags")));
    EXPECT_TRUE(settings.fileName().endsWith(QStringLiteral("Lorvanel/Lorvanel.conf")))
        << settings.fileName().toStdString();
    // The test harness keeps every suite away from the real configuration.
    EXPECT_TRUE(settings.fileName().contains(QStringLiteral("lorvanel-test-home")));
}
