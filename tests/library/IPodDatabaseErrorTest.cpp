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
                C::invalidTrackLocation, C::invalidPlaybackState, C::missingMainPlaylist,
                C::emptyLibrary}) {
        const QString english = IPodDatabaseError(c).description(AppLanguage::english);
        const QString chinese = IPodDatabaseError(c).description(AppLanguage::simplifiedChinese);
        EXPECT_FALSE(english.isEmpty());
        EXPECT_NE(english, chinese);
        texts.insert(english);
    }
    EXPECT_EQ(texts.size(), 11);
    EXPECT_EQ(IPodDatabaseError::readOnlyVolume().description(AppLanguage::english),
              QStringLiteral("This iPod volume is mounted read-only."));
}

// Each place tried is named with what stopped it there, and the advice is the one for what did:
// room for a full folder, rights (or another TMPDIR) for one that could not be written.
TEST(IPodDatabaseError, TheScratchSpaceReasonNamesEachFolderTriedAndWhatToDo) {
    using Reason = ScratchFolder::Refusal::Reason;
    const ScratchFolder::Refusal full{QStringLiteral("/tmp"), Reason::full};
    const ScratchFolder::Refusal locked{QStringLiteral("/run/user/1000"), Reason::unwritable};
    const ScratchFolder::Refusal cache{QStringLiteral("/home/me/.cache/Lorvanel"),
                                       Reason::unwritable};
    struct Language {
        AppLanguage language;
        QString full, unwritable, freeSpace, makeWritable;
    };
    const Language languages[] = {
        {AppLanguage::english, QStringLiteral(" (full)"), QStringLiteral(" (cannot be written)"),
         QStringLiteral("Free some space"), QStringLiteral("writable for your user")},
        {AppLanguage::simplifiedChinese, QStringLiteral("（已满）"), QStringLiteral("（无法写入）"),
         QStringLiteral("释放一些空间"), QStringLiteral("可由你的用户写入")},
    };
    const QList<ScratchFolder::Refusal> cases[] = {
        {full}, {locked, cache}, {full, locked, cache}, {}};
    for (const Language& l : languages) {
        QSet<QString> texts;
        for (const QList<ScratchFolder::Refusal>& refusals : cases) {
            const QString text =
                IPodDatabaseError::noScratchSpace(refusals).description(l.language);
            SCOPED_TRACE(text.toStdString());
            texts.insert(text);
            bool anyFull = false, anyUnwritable = false;
            for (const ScratchFolder::Refusal& refusal : refusals) {
                const bool isFull = refusal.reason == Reason::full;
                EXPECT_TRUE(text.contains(refusal.place + (isFull ? l.full : l.unwritable)));
                anyFull = anyFull || isFull;
                anyUnwritable = anyUnwritable || !isFull;
            }
            EXPECT_EQ(text.contains(l.freeSpace), anyFull);
            EXPECT_EQ(text.contains(l.makeWritable), anyUnwritable);
            EXPECT_EQ(text.contains(QStringLiteral("TMPDIR")), !anyFull);
            EXPECT_FALSE(text.contains(QStringLiteral("home folder")));
        }
        EXPECT_EQ(texts.size(), 4);
    }
}

// The reason says what can be done; nothing it advises erases the iPod.
TEST(IPodDatabaseError, TheOversizedDescriptionReasonSaysWhatToDo) {
    for (const std::optional<QString>& file :
         {std::optional(QStringLiteral("iPod_Control/Device/SysInfoExtended")),
          std::optional<QString>()}) {
        const IPodDatabaseError error = IPodDatabaseError::artworkFormatsOutOfBounds(file);
        const QString english = error.description(AppLanguage::english);
        EXPECT_TRUE(english.contains(QStringLiteral("Until then you can still browse and export "
                                                    "its songs.")))
            << english.toStdString();
        EXPECT_TRUE(english.contains(file ? QStringLiteral("put back this iPod’s own copy")
                                          : QStringLiteral("Eject the iPod and connect it again")))
            << english.toStdString();
        EXPECT_TRUE(error.description(AppLanguage::simplifiedChinese)
                        .contains(QStringLiteral("你仍可浏览和导出其中的歌曲")));
        for (const char* erasing : {"restore", "Restore", "erase", "Erase", "delete", "Delete"})
            EXPECT_FALSE(english.contains(QLatin1String(erasing))) << erasing;
    }
}
