#include "library/CoverFlowGroup.h"

#include <gtest/gtest.h>

namespace {

Track track(quint64 id, const QString& artist, const QString& album, const QString& albumArtist,
            const QString& genre = {}, bool artwork = false) {
    Track t;
    t.id = id;
    t.artist = artist;
    t.album = album;
    t.albumArtist = albumArtist;
    t.genre = genre;
    t.hasCoverArtwork = artwork;
    return t;
}

} // namespace

TEST(CoverFlowGroup, AlbumsGroupByAlbumArtistOrElseArtistInOrderOfFirstAppearance) {
    const QList<Track> tracks{
        track(1, QStringLiteral("B"), QStringLiteral("X"), {}),
        track(2, QStringLiteral("Z"), QStringLiteral("X"), QStringLiteral("A")),
        track(3, QStringLiteral("A"), QStringLiteral("X"), {}),
        track(4, QStringLiteral("B"), QStringLiteral("X"), {}),
        track(5, {}, {}, {}),
    };
    const auto groups = CoverFlowGroup::groups(tracks, CoverFlowGroup::Grouping::albums);
    ASSERT_EQ(groups.size(), 3);
    EXPECT_EQ(groups[0].id, (CoverFlowGroup::ID{QStringLiteral("X"), QStringLiteral("B")}));
    EXPECT_EQ(groups[0].tracks.size(), 2);
    EXPECT_EQ(groups[0].tracks[1].id, 4u);
    EXPECT_EQ(groups[1].id, (CoverFlowGroup::ID{QStringLiteral("X"), QStringLiteral("A")}));
    EXPECT_EQ(groups[1].tracks.size(), 2);
    EXPECT_EQ(groups[2].id, (CoverFlowGroup::ID{QString(), QString()}));
}

TEST(CoverFlowGroup, ArtistAndGenreKeysAreExactStrings) {
    const QList<Track> tracks{
        track(1, QStringLiteral("a"), {}, {}, QStringLiteral("rock")),
        track(2, QStringLiteral("A"), {}, {}, QStringLiteral("Rock")),
        track(3, QStringLiteral("a"), {}, {}, QStringLiteral("rock")),
    };
    const auto genres = CoverFlowGroup::groups(tracks, CoverFlowGroup::Grouping::genres);
    ASSERT_EQ(genres.size(), 2);
    EXPECT_EQ(genres[0].id.artist, QString());
    const auto artists = CoverFlowGroup::groups(tracks, CoverFlowGroup::Grouping::artists);
    ASSERT_EQ(artists.size(), 2);
    EXPECT_EQ(artists[0].tracks.size(), 2);
    EXPECT_TRUE(CoverFlowGroup::groups({}, CoverFlowGroup::Grouping::albums).isEmpty());
}

TEST(CoverFlowGroup, ArtworkTrackIsTheFirstWithArtworkElseTheFirst) {
    CoverFlowGroup group;
    EXPECT_FALSE(group.artworkTrackID());
    group.tracks = {track(7, {}, {}, {}), track(8, {}, {}, {})};
    EXPECT_EQ(group.artworkTrackID(), 7u);
    group.tracks.append(track(9, {}, {}, {}, {}, true));
    group.tracks.append(track(10, {}, {}, {}, {}, true));
    EXPECT_EQ(group.artworkTrackID(), 9u);
}

TEST(CoverFlowGroup, GroupingsAndTheirTitles) {
    ASSERT_EQ(CoverFlowGroup::allGroupings.size(), 3u);
    EXPECT_EQ(CoverFlowGroup::allGroupings[0], CoverFlowGroup::Grouping::artists);
    EXPECT_EQ(CoverFlowGroup::allGroupings[2], CoverFlowGroup::Grouping::genres);
    EXPECT_EQ(CoverFlowGroup::title(CoverFlowGroup::Grouping::albums), QStringLiteral("Albums"));
    EXPECT_EQ(CoverFlowGroup::unknownTitle(CoverFlowGroup::Grouping::genres),
              QStringLiteral("Unknown Genre"));
}
