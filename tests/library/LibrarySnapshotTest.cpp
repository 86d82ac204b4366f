// The library a load shows, read in this process or sent back by the helper process: both give
// the same values, and the binary form from the helper is taken only when it is exactly one
// snapshot with every value in range.

#include "library/LibrarySnapshot.h"
#include "library/DatabasePreflight.h"
#include "library/IPodDatabase.h"
#include "support/IPodVolume.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

using TestSupport::IPodVolume;

namespace {

// A library with what the binary form shares and leaves out: albums listed together, covers,
// ratings, a track the main playlist does not list, one listed twice, empty and non-Latin texts.
class LibrarySnapshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        DatabasePreflight::forgetReadDatabases();
        QList<int> album;
        for (int i = 0; i < 4; ++i) {
            album.append(volume.addTrack({.title = QStringLiteral("Part %1").arg(i),
                                          .artist = QStringLiteral("Björk"),
                                          .album = QStringLiteral("Homogenic"),
                                          .genre = QStringLiteral("Electronic"),
                                          .rating = quint32(20 * i),
                                          .playcount = quint32(i),
                                          .artwork = i == 0}));
        }
        const int other = volume.addTrack({.title = QStringLiteral("夜曲"),
                                           .artist = QStringLiteral("周杰伦"),
                                           .filetype = QStringLiteral("AAC audio file"),
                                           .extension = QStringLiteral("m4a"),
                                           .tracklenMs = 215'000});
        const int spoken = volume.addTrack({.title = QString(),
                                            .filetype = QStringLiteral("Audible file"),
                                            .extension = QStringLiteral("aa"),
                                            .mediatype = 8,
                                            .inMainPlaylist = false});
        volume.appendToMainPlaylist(other);
        volume.addPlaylist(QStringLiteral("Mix"), {other, album[2], other, spoken});
        volume.addPlaylist(QStringLiteral("Empty"), {});
        volume.write();
    }

    DatabasePreflight::Request request() const {
        return {volume.mountPoint(), std::nullopt, 0x1260, "snapshot volume"};
    }
    LibrarySnapshot readHere() const {
        const IPodDatabase database(volume.mountPoint(), std::nullopt, [] { return 0x1260; });
        return LibrarySnapshot::read(database);
    }

    IPodVolume volume{QStringLiteral("MA477")};
};

// The offset of the first track's record in the binary form of a snapshot (one that has a main
// playlist name and a model, no serial model or number).
qsizetype firstTrackOffset(const LibrarySnapshot& snapshot) {
    const auto textBytes = [](const QString& text) { return 4 + 2 * text.size(); };
    qsizetype offset = 4 + 1 + textBytes(*snapshot.mainPlaylistName);
    offset +=
        1 + 1 + 4 + 1 + (snapshot.model->colorName ? textBytes(*snapshot.model->colorName) : 0);
    offset += textBytes(snapshot.model->iconName);
    offset += 1 + 1;   // serial model, serial number: none
    return offset + 4; // the track count
}

void putNumber(QByteArray& bytes, qsizetype offset, auto value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

} // namespace

TEST_F(LibrarySnapshotTest, TheHelpersLibraryEqualsTheOneReadHere) {
    const LibrarySnapshot here = readHere();
    // The main playlist's order (one track listed twice), then the track it does not list.
    ASSERT_EQ(here.tracks.size(), 7);
    ASSERT_EQ(here.playlists.size(), 2);
    ASSERT_TRUE(here.model);
    EXPECT_EQ(here.tracks[5].title, QStringLiteral("夜曲"));
    EXPECT_EQ(here.tracks[5].playbackPosition, 6);
    EXPECT_EQ(here.tracks[6].playbackPosition, std::nullopt);
    EXPECT_EQ(here.tracks[1].ratingStars, 1);
    EXPECT_TRUE(here.tracks[0].hasCoverArtwork);
    EXPECT_FALSE(here.tracks[6].isMusic);

    const std::optional<LibrarySnapshot> fromHelper = DatabasePreflight::read(request());
    ASSERT_TRUE(fromHelper);
    EXPECT_EQ(*fromHelper, here);
    // Read cleanly now, the unchanged files are opened here next time: nothing comes back.
    EXPECT_EQ(DatabasePreflight::read(request()), std::nullopt);

    // Texts shared with the track before are written once and come back whole.
    const QByteArray bytes = here.encoded();
    const QString album = QStringLiteral("Homogenic");
    EXPECT_EQ(
        bytes.count(QByteArrayView(reinterpret_cast<const char*>(album.utf16()), album.size() * 2)),
        1);
    EXPECT_EQ(LibrarySnapshot::decoded(bytes), here);
}

TEST_F(LibrarySnapshotTest, OnlyOneWholeSnapshotWithValuesInRangeIsTaken) {
    const LibrarySnapshot snapshot = readHere();
    const QByteArray bytes = snapshot.encoded();
    ASSERT_TRUE(LibrarySnapshot::decoded(bytes));

    // Cut anywhere, or with anything after it.
    for (qsizetype length = 0; length < bytes.size(); ++length)
        EXPECT_FALSE(LibrarySnapshot::decoded(QByteArrayView(bytes).first(length))) << length;
    EXPECT_FALSE(LibrarySnapshot::decoded(bytes + '\0'));

    // Any one byte changed: either another sound snapshot, which goes through the binary form
    // unchanged, or none (the sanitizers watch the reads and allocations).
    for (qsizetype at = 0; at < bytes.size(); ++at) {
        for (const char value : {'\x00', '\x02', '\x7f', '\xff'}) {
            QByteArray changed = bytes;
            changed[at] = value;
            if (const auto decoded = LibrarySnapshot::decoded(changed)) {
                EXPECT_EQ(LibrarySnapshot::decoded(decoded->encoded()), decoded) << at;
            }
        }
    }

    const qsizetype track = firstTrackOffset(snapshot);
    ASSERT_EQ(std::memcmp(bytes.constData() + track, &snapshot.tracks[0].id, 8), 0);
    const auto refused = [&](const char* what, auto change) {
        QByteArray changed = bytes;
        change(changed);
        EXPECT_FALSE(LibrarySnapshot::decoded(changed)) << what;
    };
    refused("another layout's tag", [](QByteArray& b) { b[0] = char(b[0] ^ 1); });
    // A count far beyond what the bytes could hold is refused before anything is reserved.
    refused("a huge track count",
            [&](QByteArray& b) { putNumber(b, track - 4, quint32(0x7fffffff)); });
    // The first track cannot share a text with a track before it.
    const qsizetype title = track + 8;
    const qsizetype artist = title + 4 + 2 * snapshot.tracks[0].title.size();
    refused("a shared text without a track before",
            [&](QByteArray& b) { putNumber(b, artist, quint32(0xffffffff)); });
    refused("a text longer than what is left",
            [&](QByteArray& b) { putNumber(b, title, quint32(0x7ffffff0)); });
    // Values that no database read gives.
    const qsizetype cover = artist + 4 + 2 * snapshot.tracks[0].artist.size() + 4 +
                            2 * snapshot.tracks[0].album.size() + 4 +
                            2 * snapshot.tracks[0].albumArtist.size();
    refused("a flag that is neither 0 nor 1", [&](QByteArray& b) { b[cover] = 2; });
    const qsizetype rating = cover + 1 + 4 + 2 * snapshot.tracks[0].genre.size();
    refused("six stars", [&](QByteArray& b) { putNumber(b, rating, 6); });
    refused("negative stars", [&](QByteArray& b) { putNumber(b, rating, -1); });
    const qsizetype duration = rating + 4 + 4 + 1 + 4 + 2 * snapshot.tracks[0].format.size() + 4;
    ASSERT_EQ(std::memcmp(bytes.constData() + duration, &snapshot.tracks[0].duration, 8), 0);
    refused("an endless track", [&](QByteArray& b) {
        putNumber(b, duration, std::numeric_limits<double>::infinity());
    });
    refused("a track of no number", [&](QByteArray& b) {
        putNumber(b, duration, std::numeric_limits<double>::quiet_NaN());
    });
    refused("a negative length", [&](QByteArray& b) { putNumber(b, duration, -1.0); });
    ASSERT_EQ(snapshot.tracks[0].playbackPosition, 1);
    refused("position 0", [&](QByteArray& b) { putNumber(b, duration + 8 + 1, 0); });
}

// How the helper reports a refused opening: the error comes back as it was, or not at all.
TEST(LibrarySnapshotErrorTest, AnErrorAloneComesBackAsItWas) {
    for (const IPodDatabaseError& error :
         {IPodDatabaseError::library(QStringLiteral("Read library"), QStringLiteral("Broken")),
          IPodDatabaseError::library(QStringLiteral("Read library"), std::nullopt),
          IPodDatabaseError::unsupportedDatabase(), IPodDatabaseError::missingMainPlaylist(),
          IPodDatabaseError::emptyLibrary()}) {
        const QByteArray bytes = LibrarySnapshot::encodedError(error);
        EXPECT_EQ(LibrarySnapshot::decodedError(bytes), error);
        EXPECT_FALSE(LibrarySnapshot::decodedError(bytes + '\0'));
        for (qsizetype length = 0; length < bytes.size(); ++length)
            EXPECT_FALSE(LibrarySnapshot::decodedError(QByteArrayView(bytes).first(length)));
    }
}
