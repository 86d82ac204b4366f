// The playlist tiles' counts and durations, when tiles may move, and how the grid wraps tiles
// of at least 230 pixels.

#include "browser/PlaylistBrowser.h"

#include "browser/AdaptiveGridLayout.h"
#include "library/IPodDatabaseError.h"

#include <gtest/gtest.h>

#include <QWidget>

namespace {

Track track(quint64 id, double duration) {
    Track t;
    t.id = id;
    t.duration = duration;
    return t;
}

} // namespace

TEST(PlaylistBrowser, CountsEveryEntryButAddsOnlyKnownDurations) {
    // Two tracks share id 7: the first one's duration counts.
    const auto durations =
        PlaylistBrowser::playlistDurations({track(7, 61.5), track(8, 2.0), track(7, 1000)});
    EXPECT_EQ(durations.value(7), 61.5);

    // Id 9 has no track: it is counted but adds nothing; 7 twice adds twice.
    const IPodPlaylist mix{1, QStringLiteral("Mix"), {7, 9, 7, 8}};
    const auto summary = PlaylistBrowser::tileSummary(mix, durations);
    EXPECT_EQ(summary.trackCount, 4);
    EXPECT_DOUBLE_EQ(summary.totalDuration, 125.0);
    EXPECT_EQ(PlaylistBrowser::summaryText(summary, AppLanguage::english),
              QStringLiteral("4 tracks · 02:05"));
    EXPECT_EQ(PlaylistBrowser::summaryText(summary, AppLanguage::simplifiedChinese),
              QStringLiteral("4 首曲目 · 02:05"));

    const auto empty = PlaylistBrowser::tileSummary({2, QStringLiteral("Empty"), {}}, durations);
    EXPECT_EQ(empty, (PlaylistBrowser::TileSummary{0, 0.0}));
    EXPECT_EQ(PlaylistBrowser::summaryText(empty, AppLanguage::english),
              QStringLiteral("0 tracks · 00:00"));
    // Past an hour the hours lead without a zero.
    EXPECT_EQ(PlaylistBrowser::summaryText({1, 3723}, AppLanguage::english),
              QStringLiteral("1 track · 1:02:03"));
    // Counts are grouped as the language writes them; Chinese has one form for every count.
    EXPECT_EQ(PlaylistBrowser::summaryText({40024, 0}, AppLanguage::english),
              QStringLiteral("40,024 tracks · 00:00"));
    EXPECT_EQ(PlaylistBrowser::summaryText({1, 0}, AppLanguage::simplifiedChinese),
              QStringLiteral("1 首曲目 · 00:00"));
}

TEST(PlaylistBrowser, TilesMoveOnlyOnAWritableLibraryWithTwoOrMorePlaylists) {
    IPodLibrary library;
    library.playlists = {{1, QStringLiteral("One"), {}}};
    EXPECT_FALSE(PlaylistBrowser::showsMoveButtons(library));
    library.playlists.append({2, QStringLiteral("Two"), {}});
    EXPECT_TRUE(PlaylistBrowser::showsMoveButtons(library));
    library.writeBlocker = IPodDatabaseError::unsupportedDatabase();
    EXPECT_FALSE(PlaylistBrowser::showsMoveButtons(library));
}

TEST(AdaptiveGridLayout, WrapsTilesOfAtLeastTheMinimumWidthAndSharesTheRest) {
    EXPECT_EQ(AdaptiveGridLayout::columnCount(100, 230, 12), 1);
    EXPECT_EQ(AdaptiveGridLayout::columnCount(471, 230, 12), 1);
    EXPECT_EQ(AdaptiveGridLayout::columnCount(472, 230, 12), 2);
    EXPECT_EQ(AdaptiveGridLayout::columnCount(1000, 230, 12), 4);

    QWidget host;
    auto* grid = new AdaptiveGridLayout(230, 12, &host);
    grid->setContentsMargins(22, 0, 22, 4);
    QList<QWidget*> tiles;
    for (int i = 0; i < 5; ++i) {
        auto* tile = new QWidget(&host);
        tile->setFixedHeight(82);
        grid->addWidget(tile);
        tiles.append(tile);
    }
    // 600 wide: 556 inside the margins, two columns of 272.
    host.resize(600, grid->heightForWidth(600));
    grid->activate();
    grid->setGeometry(host.rect());
    EXPECT_EQ(grid->columns(), 2);
    EXPECT_EQ(tiles[0]->geometry(), QRect(22, 0, 272, 82));
    EXPECT_EQ(tiles[1]->geometry(), QRect(306, 0, 272, 82));
    EXPECT_EQ(tiles[4]->geometry(), QRect(22, 188, 272, 82));
    EXPECT_EQ(grid->heightForWidth(600), 3 * 82 + 2 * 12 + 4);
    // Narrower than two minimum tiles: one column, never a tile below 230 (margins aside).
    EXPECT_EQ(grid->heightForWidth(400), 5 * 82 + 4 * 12 + 4);
    EXPECT_GE(grid->minimumSize().width(), 230 + 44);
    // Hidden tiles take no cell.
    tiles[1]->hide();
    grid->setGeometry(host.rect());
    EXPECT_EQ(tiles[2]->geometry().topLeft(), QPoint(306, 0));
}
