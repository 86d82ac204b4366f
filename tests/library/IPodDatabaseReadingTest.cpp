// Reading the library and the device information of real volumes.

#include "library/IPodDatabase.h"
#include "support/IPodVolume.h"

#include <gtest/gtest.h>

using TestSupport::IPodVolume;
using TestSupport::TrackSpec;

namespace {

QByteArray pstate(quint32 current, quint32 count, quint32 mode, int size = 32) {
    QByteArray bytes(size, '\0');
    const auto put = [&](int offset, quint32 value) {
        for (int i = 0; i < 4 && offset + i < size; ++i)
            bytes[offset + i] = char((value >> (8 * i)) & 0xFF);
    };
    put(4, current);
    put(16, count);
    put(20, mode);
    return bytes;
}

const QString pstatePath = QStringLiteral("iPod_Control/iTunes/iTunesPState");

} // namespace

TEST(IPodDatabaseReading, TracksCarryEveryFieldInMainPlaylistOrderThenTheRest) {
    IPodVolume volume(QStringLiteral("MA477"), {.name = QStringLiteral("  My Nano ")});
    const int a = volume.addTrack({.title = QStringLiteral("A"),
                                   .artist = QStringLiteral("Ar"),
                                   .album = QStringLiteral("Al"),
                                   .albumArtist = QStringLiteral("AA"),
                                   .genre = QStringLiteral("Jazz"),
                                   .rating = 100,
                                   .playcount = 7,
                                   .tracklenMs = 61500,
                                   .audio = QByteArray(1234, 'x'),
                                   .artwork = true});
    const int b = volume.addTrack({.title = QStringLiteral("B"),
                                   .filetype = QStringLiteral("AAC audio file"),
                                   .extension = QStringLiteral("m4a"),
                                   .rating = 99});
    const int orphan = volume.addTrack({.title = QStringLiteral("Orphan"),
                                        .filetype = QStringLiteral("WAV audio file"),
                                        .extension = QStringLiteral("AIFF"),
                                        .mediatype = 0,
                                        .rating = 101,
                                        .inMainPlaylist = false});
    const int video = volume.addTrack({.title = QString(), .filetype = QString(), .mediatype = 2});
    volume.appendToMainPlaylist(a);
    volume.addPlaylist(QStringLiteral("Mix"), {b, a, b});
    volume.write();

    IPodDatabase database(volume.mountPoint());
    EXPECT_EQ(database.mainPlaylistName(), QStringLiteral("  My Nano "));
    const QList<Track> tracks = database.loadTracks();
    ASSERT_EQ(tracks.size(), 5);
    EXPECT_EQ(tracks[0].id, volume.trackID(a));
    EXPECT_EQ(tracks[0].title, QStringLiteral("A"));
    EXPECT_EQ(tracks[0].artist, QStringLiteral("Ar"));
    EXPECT_EQ(tracks[0].album, QStringLiteral("Al"));
    EXPECT_EQ(tracks[0].albumArtist, QStringLiteral("AA"));
    EXPECT_EQ(tracks[0].genre, QStringLiteral("Jazz"));
    EXPECT_TRUE(tracks[0].hasCoverArtwork);
    EXPECT_EQ(tracks[0].ratingStars, 5);
    EXPECT_EQ(tracks[0].playCount, 7u);
    EXPECT_TRUE(tracks[0].isMusic);
    EXPECT_EQ(tracks[0].format, QStringLiteral("MP3"));
    EXPECT_EQ(tracks[0].sizeBytes, 1234u);
    EXPECT_DOUBLE_EQ(tracks[0].duration, 61.5);
    EXPECT_EQ(tracks[0].playbackPosition, 1);
    EXPECT_EQ(tracks[1].id, volume.trackID(b));
    EXPECT_EQ(tracks[1].format, QStringLiteral("AAC"));
    EXPECT_EQ(tracks[1].ratingStars, 4);
    EXPECT_FALSE(tracks[1].hasCoverArtwork);
    EXPECT_EQ(tracks[2].id, volume.trackID(video));
    EXPECT_FALSE(tracks[2].isMusic);
    EXPECT_EQ(tracks[2].format, QString());
    EXPECT_EQ(tracks[2].title, QString());
    EXPECT_EQ(tracks[3].id, volume.trackID(a)); // listed twice
    EXPECT_EQ(tracks[3].playbackPosition, 4);
    EXPECT_EQ(tracks[4].id, volume.trackID(orphan));
    EXPECT_FALSE(tracks[4].playbackPosition);
    EXPECT_TRUE(tracks[4].isMusic); // media type 0 with .AIFF
    EXPECT_EQ(tracks[4].format, QStringLiteral("WAV audio file"));
    EXPECT_EQ(tracks[4].ratingStars, 0);

    const auto playlists = database.loadPlaylists();
    ASSERT_EQ(playlists.size(), 1);
    EXPECT_EQ(playlists[0].name, QStringLiteral("Mix"));
    EXPECT_EQ(playlists[0].trackIDs,
              (QList<quint64>{volume.trackID(b), volume.trackID(a), volume.trackID(b)}));
    const auto user = database.userPlaylists();
    ASSERT_EQ(user.size(), 1);
    EXPECT_EQ(user[0].first, 1); // the main playlist is entry 0
}

TEST(IPodDatabaseReading, ShufflesHaveNoRatingsOrPlaylistsAndBlankNamesAreNone) {
    IPodVolume volume(QStringLiteral("MA546"), {.name = QStringLiteral(" \t ")});
    const int a = volume.addTrack({.rating = 100});
    volume.addPlaylist(QStringLiteral("Mix"), {a});
    volume.write();
    IPodDatabase database(volume.mountPoint(), std::nullopt,
                          [] { return std::optional<int>(0x1301); });
    EXPECT_EQ(database.loadTracks()[0].ratingStars, 0);
    EXPECT_TRUE(database.loadPlaylists().isEmpty());
    EXPECT_FALSE(database.mainPlaylistName());
    EXPECT_TRUE(database.supportsPlaybackStart());
}

TEST(IPodDatabaseReading, ShuffleModelSerialComesFromTheVolumeThenTheCaller) {
    IPodVolume volume(QStringLiteral("MC306"));
    volume.write();
    IPodDatabase database(volume.mountPoint());
    int asked = 0;
    const auto serial = [&] {
        ++asked;
        return std::optional<QString>(QStringLiteral("XXXXXXXXALG"));
    };
    EXPECT_EQ(database.model(serial)->iconName, QStringLiteral("iPod132-Pink"));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(database.model()->iconName, QStringLiteral("iPod132-Silver")); // model number C306
    volume.writeSysInfoExtended(TestSupport::sysInfoExtendedXML(
        {{QStringLiteral("SerialNumber"), QStringLiteral("XXXXXXXXALD")}}));
    EXPECT_EQ(database.model(serial)->iconName, QStringLiteral("iPod132-Blue"));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(database.serialNumber(), QStringLiteral("XXXXXXXXALD"));
}

TEST(IPodDatabaseReading, FirmwareVersion) {
    const auto volume = IPodVolume::emptyFolder();
    const QString root = volume->mountPoint();
    EXPECT_FALSE(IPodDatabase::firmwareVersion(root));
    volume->writeSysInfo("ModelNumStr: MA477\nvisibleBuildID: 0x01038000 (1.3)\n");
    EXPECT_EQ(IPodDatabase::firmwareVersion(root), QStringLiteral("1.3"));
    volume->writeSysInfo("VisibleBuildID: 0x01038000 (1.3)\nvisibleBuildID: 0x01038000\n");
    EXPECT_FALSE(IPodDatabase::firmwareVersion(root));
    volume->writeSysInfo("visibleBuildID: 1.2.3.4.5\n");
    EXPECT_FALSE(IPodDatabase::firmwareVersion(root));
    volume->writeSysInfo("\n\nvisibleBuildID:  2.0.1 \n");
    EXPECT_EQ(IPodDatabase::firmwareVersion(root), QStringLiteral("2.0.1"));
    const QByteArray xml = TestSupport::sysInfoExtendedXML(
        {{QStringLiteral("VisibleBuildID"), QStringLiteral("0x0F (1.1.2)")}});
    volume->writeSysInfoExtended(xml);
    EXPECT_EQ(IPodDatabase::firmwareVersion(root), QStringLiteral("1.1.2"));
    EXPECT_EQ(IPodDatabase::firmwareVersion(xml), QStringLiteral("1.1.2"));
    EXPECT_FALSE(IPodDatabase::normalizedVersion(QStringLiteral("(1.3)")));
    EXPECT_FALSE(IPodDatabase::normalizedVersion(QStringLiteral("1")));
}

TEST(IPodDatabaseReading, SecondGenerationShuffleResumeState) {
    IPodVolume volume(QStringLiteral("MA546"));
    for (int i = 0; i < 3; ++i)
        volume.addTrack({.title = QStringLiteral("T%1").arg(i)});
    volume.write();
    IPodDatabase database(volume.mountPoint());
    EXPECT_FALSE(database.readShuffle2PlaybackMode()); // no iTunesPState

    volume.writeFile(pstatePath, pstate(1, 3, 2));
    auto state = database.readShuffle2PlaybackMode();
    ASSERT_TRUE(state);
    EXPECT_EQ(state->resumeTrackID, volume.trackID(1));
    EXPECT_EQ(state->savedPlaybackMode, Shuffle2PlaybackMode::shuffle);

    volume.writeFile(pstatePath, pstate(3, 3, 1)); // current index past the end
    state = database.readShuffle2PlaybackMode();
    ASSERT_TRUE(state);
    EXPECT_FALSE(state->resumeTrackID);
    EXPECT_EQ(state->savedPlaybackMode, Shuffle2PlaybackMode::sequential);

    for (int size : {31, 33}) {
        volume.writeFile(pstatePath, pstate(0, 3, 1, size));
        EXPECT_FALSE(database.readShuffle2PlaybackMode()) << size;
    }
    volume.removeFile(QStringLiteral("iPod_Control/iTunes/iTunesSD"));
    volume.writeFile(pstatePath, pstate(0, 3, 3));
    EXPECT_FALSE(database.readShuffle2PlaybackMode());
    volume.writeFile(pstatePath, pstate(0, 3, 2));
    state = database.readShuffle2PlaybackMode();
    ASSERT_TRUE(state);
    EXPECT_FALSE(state->resumeTrackID);
    EXPECT_EQ(state->savedPlaybackMode, Shuffle2PlaybackMode::shuffle);
}

TEST(IPodDatabaseReading, TwoTracksWithTheSamePathHaveNoResumeTrack) {
    IPodVolume volume(QStringLiteral("MA546"));
    const QString path = QStringLiteral("iPod_Control/Music/F00/SAME.mp3");
    volume.addTrack({.withoutFile = true, .ipodPath = path});
    volume.addTrack({.withoutFile = true, .ipodPath = path});
    volume.write();
    volume.writeFile(pstatePath, pstate(0, 2, 1));
    const auto state = IPodDatabase(volume.mountPoint()).readShuffle2PlaybackMode();
    ASSERT_TRUE(state);
    EXPECT_FALSE(state->resumeTrackID);
}
