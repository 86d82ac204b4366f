// The search rule, playlist rows, the duration text and the status line: the pure rules the
// library views are built on.

#include "browser/LibrarySearch.h"
#include "browser/FormattedDuration.h"
#include "browser/LibraryContent.h"
#include "browser/SelectionStatus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

Track track(quint64 id, const QString& title, const QString& artist = {}, const QString& album = {},
            const QString& genre = {}) {
    Track t;
    t.id = id;
    t.title = title;
    t.artist = artist;
    t.album = album;
    t.genre = genre;
    return t;
}

bool found(const Track& t, const QString& searchText) {
    return LibrarySearch::matches(t, LibrarySearch::fold(LibrarySearch::query(searchText)));
}

} // namespace

TEST(LibrarySearch, FindsTitleThenArtistIgnoringCaseAndDiacriticsButNoOtherField) {
    EXPECT_TRUE(found(track(1, QStringLiteral("Hyperballad"), QStringLiteral("Björk")),
                      QStringLiteral("bjork")));
    EXPECT_TRUE(found(track(2, QStringLiteral("BJÖRK live")), QStringLiteral("  Bjork\n")));
    // The album and the genre alone never match.
    EXPECT_FALSE(found(track(3, QStringLiteral("Other"), QStringLiteral("Someone"),
                             QStringLiteral("Björk"), QStringLiteral("Björk")),
                       QStringLiteral("bjork")));
    EXPECT_TRUE(found(track(4, QStringLiteral("Crème Brûlée")), QStringLiteral("creme BRULEE")));
    EXPECT_TRUE(found(track(5, QStringLiteral("Ágætis byrjun"), QStringLiteral("Sigur Rós")),
                      QStringLiteral("sigur ros")));
    // Compatibility forms fold too: a ligature and full-width letters.
    EXPECT_TRUE(found(track(6, QStringLiteral("\uFB01nal Ｃｕｔ")), QStringLiteral("final cut")));
    // Text without case or marks is found as it is; inner spaces of a query count.
    EXPECT_TRUE(
        found(track(7, QStringLiteral("吻别"), QStringLiteral("张学友")), QStringLiteral("学友")));
    EXPECT_FALSE(found(track(8, QStringLiteral("Blue Monday")), QStringLiteral("blue  monday")));
    EXPECT_EQ(LibrarySearch::fold(u"Ärger über Œuvre"), QStringLiteral("arger uber œuvre"));
}

TEST(LibrarySearch, ABlankQueryMatchesEverythingAndTheEmptyListIsNamedForIt) {
    EXPECT_TRUE(found(track(1, QString()), QStringLiteral(" \n\t ")));
    EXPECT_EQ(LibrarySearch::emptyLibraryTitle(QStringLiteral(" \n "), AppLanguage::english),
              QStringLiteral("Library is empty"));
    EXPECT_EQ(LibrarySearch::emptyLibraryTitle(QStringLiteral("x"), AppLanguage::english),
              QStringLiteral("No Matching Tracks"));
    EXPECT_EQ(LibrarySearch::emptyLibraryTitle(QString(), AppLanguage::simplifiedChinese),
              QStringLiteral("资料库为空"));
    const QList<Track> tracks = {track(1, QStringLiteral("b")), track(2, QStringLiteral("a")),
                                 track(3, QStringLiteral("ab"))};
    const QList<Track> kept = LibraryContent::searchFiltered(tracks, QStringLiteral(" A "));
    ASSERT_EQ(kept.size(), 2);
    EXPECT_EQ(kept[0].id, 2u); // input order kept
    EXPECT_EQ(kept[1].id, 3u);
}

TEST(PlaylistContent, PositionsCountEveryEntryAndSurviveMissingTracksAndTheSearch) {
    const QList<Track> library = {track(7, QStringLiteral("Seven")),
                                  track(8, QStringLiteral("Eight")),
                                  track(10, QStringLiteral("Ten"))};
    // 7, 9, 7 with 9 missing: two rows numbered 1 and 3, both of track 7 and distinct.
    QList<TrackRow> rows = LibraryContent::playlistContentRows({7, 9, 7}, library, {});
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].track.id, 7u);
    EXPECT_EQ(rows[0].position, 1);
    EXPECT_EQ(rows[1].position, 3);
    EXPECT_NE(rows[0].id(), rows[1].id());

    // Only the third entry matches: one row, numbered 3.
    rows = LibraryContent::playlistContentRows({7, 8, 10}, library, QStringLiteral("ten"));
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].position, 3);

    // Every id missing: no rows, and no search to blame.
    EXPECT_TRUE(LibraryContent::playlistContentRows({1, 2}, library, {}).isEmpty());

    // A snapshot that repeats an id: the first track of it wins.
    const QList<Track> repeated = {track(5, QStringLiteral("First")),
                                   track(5, QStringLiteral("Second"))};
    rows = LibraryContent::playlistContentRows({5}, repeated, {});
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].track.title, QStringLiteral("First"));

    rows = LibraryContent::playlistRows(library);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[2].position, 3);
}

TEST(FormattedDuration, WholeSecondsAsMinutesOrHoursAndZeroForAnythingUnreadable) {
    EXPECT_EQ(formattedDuration(-5), QStringLiteral("00:00"));
    EXPECT_EQ(formattedDuration(0), QStringLiteral("00:00"));
    EXPECT_EQ(formattedDuration(59.9), QStringLiteral("00:59"));
    EXPECT_EQ(formattedDuration(3599), QStringLiteral("59:59"));
    EXPECT_EQ(formattedDuration(3600), QStringLiteral("1:00:00"));
    EXPECT_EQ(formattedDuration(3723), QStringLiteral("1:02:03"));
    EXPECT_EQ(formattedDuration(36000), QStringLiteral("10:00:00"));
    // Values a tag or a broken database can hold.
    EXPECT_EQ(formattedDuration(std::nan("")), QStringLiteral("00:00"));
    EXPECT_EQ(formattedDuration(std::numeric_limits<double>::infinity()), QStringLiteral("00:00"));
    EXPECT_EQ(formattedDuration(-std::numeric_limits<double>::infinity()), QStringLiteral("00:00"));
    EXPECT_EQ(formattedDuration(1e30), QStringLiteral("00:00"));
    EXPECT_EQ(formattedDuration(-1e30), QStringLiteral("00:00"));
    EXPECT_EQ(formattedDuration(9.2e18), QStringLiteral("2555555555555555:33:20"));
}

TEST(SelectionStatus, OneSelectedTrackThenThePreviewThenTheCount) {
    Track wav = track(1, QStringLiteral("Song"));
    wav.format = QStringLiteral("WAV audio file");
    wav.sizeBytes = 4'200'000;
    Track mp3 = track(2, QStringLiteral("Other"));
    mp3.format = QStringLiteral("MPEG audio file");
    mp3.sizeBytes = 512;
    IPodLibrary library;
    library.tracks = {wav, mp3};
    const AppLanguage en = AppLanguage::english;
    EXPECT_EQ(SelectionStatus::text({1}, library.tracks, std::nullopt, library, en),
              QStringLiteral("Selected “Song” · WAV (4.2 MB)"));
    // One selected id that is not displayed falls through to the preview, then to nothing.
    EXPECT_EQ(SelectionStatus::text({99}, library.tracks, 2, library, en),
              QStringLiteral("MPEG audio file · 512 bytes"));
    EXPECT_FALSE(SelectionStatus::text({99}, library.tracks, std::nullopt, library, en));
    EXPECT_FALSE(SelectionStatus::text({}, library.tracks, 2, std::nullopt, en));
    // Two selected tracks are counted even while a preview plays.
    EXPECT_EQ(SelectionStatus::text({1, 2}, library.tracks, 2, library, en),
              QStringLiteral("2 selected"));
    EXPECT_EQ(SelectionStatus::text({1, 2}, library.tracks, std::nullopt, library,
                                    AppLanguage::simplifiedChinese),
              QStringLiteral("已选择 2 项"));
}
