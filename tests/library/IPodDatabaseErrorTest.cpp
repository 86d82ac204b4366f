#include "library/IPodDatabaseError.h"

#include "platform/Settings.h"

#include <gtest/gtest.h>

TEST(IPodDatabaseError, LibraryFailureNamesOperationAndDetail) {
    const auto withDetail =
        IPodDatabaseError::library(QStringLiteral("Read library"), QStringLiteral("bad %1 header"));
    EXPECT_EQ(withDetail.description(AppLanguage::english),
              QStringLiteral("Read library failed: bad %1 header"));
    const auto withoutDetail =
        IPodDatabaseError::library(QStringLiteral("Save library"), std::nullopt);
    EXPECT_EQ(withoutDetail.description(AppLanguage::english),
              QStringLiteral("Save library failed: libgpod returned no error details."));
    const auto emptyDetail = IPodDatabaseError::library(QStringLiteral("Read library"), QString());
    EXPECT_EQ(emptyDetail.description(AppLanguage::english),
              QStringLiteral("Read library failed: "));
    EXPECT_STREQ(withDetail.what(), "Read library failed: bad %1 header");
}

TEST(IPodDatabaseError, DescriptionFollowsTheStoredLanguageWhenAsked) {
    const IPodDatabaseError error = IPodDatabaseError::missingMainPlaylist();
    Settings::shared().setValue(AppLanguages::storageKey(), QStringLiteral("zh-Hans"));
    EXPECT_EQ(error.description(), QStringLiteral("iPod 数据库缺少主播放列表。"));
    EXPECT_EQ(
        IPodDatabaseError::library(QStringLiteral("Read library"), std::nullopt).description(),
        QStringLiteral("读取资料库失败：libgpod 未返回错误详情。"));
    Settings::shared().setValue(AppLanguages::storageKey(), QStringLiteral("en"));
    EXPECT_EQ(error.description(),
              QStringLiteral("The iPod database is missing its main playlist."));
}

TEST(IPodDatabaseError, EveryCaseHasItsOwnText) {
    using C = IPodDatabaseError::Case;
    QSet<QString> texts;
    for (C c : {C::unsupportedDatabase, C::invalidFireWireID, C::readOnlyVolume, C::invalidTrack,
                C::trackSelectionChanged, C::genreSelectionChanged, C::playlistSelectionChanged,
                C::invalidTrackLocation, C::invalidPlaybackState, C::deviceInUse,
                C::missingMainPlaylist, C::emptyLibrary}) {
        const QString english = IPodDatabaseError(c).description(AppLanguage::english);
        const QString chinese = IPodDatabaseError(c).description(AppLanguage::simplifiedChinese);
        EXPECT_FALSE(english.isEmpty());
        EXPECT_NE(english, chinese);
        texts.insert(english);
    }
    EXPECT_EQ(texts.size(), 12);
    EXPECT_EQ(IPodDatabaseError::readOnlyVolume().description(AppLanguage::english),
              QStringLiteral("This iPod volume is mounted read-only."));
}
