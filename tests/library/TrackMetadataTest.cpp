#include "library/TrackMetadata.h"
#include "library/Shuffle2PlaybackMode.h"

#include <gtest/gtest.h>

namespace {

TrackMetadata withTitle(const QString& title, const QString& artist = {}) {
    return TrackMetadata{title, artist, QStringLiteral("Album"), QStringLiteral("AA"),
                         QStringLiteral("Rock")};
}

} // namespace

TEST(TrackMetadata, SplitsAtTheFirstSeparatorOnly) {
    const auto split = withTitle(QStringLiteral("Artist - Song - Live")).splitArtistAndTitle();
    ASSERT_TRUE(split);
    EXPECT_EQ(split->artist, QStringLiteral("Artist"));
    EXPECT_EQ(split->title, QStringLiteral("Song - Live"));
    EXPECT_EQ(split->album, QStringLiteral("Album"));
    EXPECT_EQ(split->albumArtist, QStringLiteral("AA"));
    EXPECT_EQ(split->genre, QStringLiteral("Rock"));
}

TEST(TrackMetadata, FallsBackToABareHyphenAndRefusesEmptyHalves) {
    const auto split = withTitle(QStringLiteral("AC-DC")).splitArtistAndTitle();
    ASSERT_TRUE(split);
    EXPECT_EQ(split->artist, QStringLiteral("AC"));
    EXPECT_EQ(split->title, QStringLiteral("DC"));
    EXPECT_FALSE(withTitle(QStringLiteral("-Intro")).splitArtistAndTitle());
    EXPECT_FALSE(withTitle(QStringLiteral("Outro -")).splitArtistAndTitle());
    EXPECT_FALSE(withTitle(QStringLiteral("No hyphen")).splitArtistAndTitle());
    EXPECT_FALSE(splitAtDashSeparator(QStringLiteral("a - b"), QString()));
}

TEST(TrackMetadata, NeverReplacesADifferentFilledInArtist) {
    const QString title = QStringLiteral("  Foo  -  Bar ");
    for (const QString& artist :
         {QString(), QStringLiteral("   "), QStringLiteral("Foo"), QStringLiteral(" Foo ")}) {
        const auto split = withTitle(title, artist).splitArtistAndTitle();
        ASSERT_TRUE(split) << artist.toStdString();
        EXPECT_EQ(split->artist, QStringLiteral("Foo"));
        EXPECT_EQ(split->title, QStringLiteral("Bar"));
    }
    EXPECT_FALSE(withTitle(title, QStringLiteral("Baz")).splitArtistAndTitle());
}

TEST(TrackMetadata, EqualityComparesAllFiveFieldsExactly) {
    const TrackMetadata a = withTitle(QStringLiteral("T"));
    TrackMetadata b = a;
    EXPECT_EQ(a, b);
    b.genre = QStringLiteral("rock");
    EXPECT_NE(a, b);
    b = a;
    b.albumArtist += u' ';
    EXPECT_NE(a, b);
    EXPECT_EQ(TrackMetadata::defaultGenres().size(), 6);
    EXPECT_TRUE(TrackMetadata::defaultGenres().contains(QStringLiteral("Hip Hop/Rap")));
}

TEST(Shuffle2PlaybackMode, OnlyOneAndTwoAreModes) {
    EXPECT_EQ(Shuffle2PlaybackModes::fromRawValue(1), Shuffle2PlaybackMode::sequential);
    EXPECT_EQ(Shuffle2PlaybackModes::fromRawValue(2), Shuffle2PlaybackMode::shuffle);
    EXPECT_FALSE(Shuffle2PlaybackModes::fromRawValue(0));
    EXPECT_FALSE(Shuffle2PlaybackModes::fromRawValue(3));
}
