// The music-folder rule and the track-file accessors.

#include "library/IPodDatabase.h"
#include "support/IPodVolume.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <system_error>

using TestSupport::IPodVolume;

namespace {

IPodDatabaseError::Case failureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const IPodDatabaseError& error) {
        return error.errorCase();
    }
    ADD_FAILURE() << "no IPodDatabaseError";
    return IPodDatabaseError::Case::library;
}

} // namespace

TEST(IPodDatabaseTrackFiles, OnlyFilesDirectlyInANumberedMusicFolderPass) {
    IPodVolume volume(QStringLiteral("MA477"));
    volume.write();
    QDir().mkpath(volume.path(QStringLiteral("ipod_control/music/f07")));
    IPodDatabase database(volume.mountPoint());
    const QString root = volume.mountPoint();
    EXPECT_EQ(
        database.validatedMusicFileURL(root + QStringLiteral("/iPod_Control/Music/F01/a.mp3")),
        root + QStringLiteral("/iPod_Control/Music/F01/a.mp3"));
    EXPECT_EQ(
        database.validatedMusicFileURL(root + QStringLiteral("/ipod_control/music/f07/new.m4a")),
        root + QStringLiteral("/ipod_control/music/f07/new.m4a"));
    for (const char* bad :
         {"/iPod_Control/Music/F123/a.mp3", "/iPod_Control/Music/F01/sub/a.mp3",
          "/iPod_Control/Music/a.mp3", "/iPod_Control/Music/F01/a:b.mp3",
          "/iPod_Control/Music/FX1/a.mp3", "/Music/F01/a.mp3", "/iPod_Control/Music/F01/"}) {
        EXPECT_EQ(failureOf([&] { database.validatedMusicFileURL(root + QLatin1String(bad)); }),
                  IPodDatabaseError::Case::invalidTrack)
            << bad;
    }
    EXPECT_EQ(failureOf([&] {
                  database.validatedMusicFileURL(
                      QStringLiteral("/tmp/iPod_Control/Music/F01/a.mp3"));
              }),
              IPodDatabaseError::Case::invalidTrack);
}

TEST(IPodDatabaseTrackFiles, MusicFolderLinkedOutsideTheMountIsRefused) {
    IPodVolume volume(QStringLiteral("MA477"));
    const int song = volume.addTrack({.title = QStringLiteral("Song")});
    volume.write();
    QTemporaryDir outside;
    const QString music = volume.path(QStringLiteral("iPod_Control/Music"));
    ASSERT_TRUE(QDir().rename(music, outside.path() + QStringLiteral("/Music")));
    ASSERT_TRUE(QFile::link(outside.path() + QStringLiteral("/Music"), music));
    IPodDatabase database(volume.mountPoint());
    EXPECT_EQ(failureOf([&] { database.fileURL(volume.trackID(song)); }),
              IPodDatabaseError::Case::invalidTrack);
    EXPECT_TRUE(database.allTrackFileURLs().isEmpty());
}

TEST(IPodDatabaseTrackFiles, AMissingFileFailsAloneAndUnknownIDsFailTheCall) {
    IPodVolume volume(QStringLiteral("MA477"));
    const int kept = volume.addTrack({.title = QStringLiteral("Kept")});
    const int gone = volume.addTrack({.title = QStringLiteral("Gone")});
    const int folder = volume.addTrack({.title = QStringLiteral("Folder")});
    volume.write();
    volume.removeFile(volume.trackFile(gone));
    volume.removeFile(volume.trackFile(folder));
    QDir().mkpath(volume.path(volume.trackFile(folder)));
    IPodDatabase database(volume.mountPoint());

    const auto files =
        database.fileURLs({volume.trackID(kept), volume.trackID(gone), volume.trackID(folder)});
    ASSERT_EQ(files.size(), 3);
    EXPECT_EQ(files[0].track.id, volume.trackID(kept));
    EXPECT_EQ(files[0].path, volume.path(volume.trackFile(kept)));
    EXPECT_FALSE(files[0].track.playbackPosition);
    EXPECT_EQ(files[1].track.title, QStringLiteral("Gone"));
    EXPECT_FALSE(files[1].path);
    EXPECT_TRUE(files[1].error);
    EXPECT_EQ(failureOf([&] { std::rethrow_exception(files[2].error); }),
              IPodDatabaseError::Case::invalidTrackLocation);
    EXPECT_EQ(database.allTrackFileURLs(), QSet<QString>{volume.path(volume.trackFile(kept))});

    EXPECT_EQ(failureOf([&] { database.fileURL(12345); }),
              IPodDatabaseError::Case::trackSelectionChanged);
    EXPECT_EQ(failureOf([&] {
                  database.fileURLs({volume.trackID(kept), 12345});
              }),
              IPodDatabaseError::Case::trackSelectionChanged);
    EXPECT_EQ(failureOf([&] { database.fileURLs({}); }),
              IPodDatabaseError::Case::trackSelectionChanged);
}

TEST(IPodDatabaseTrackFiles, ResolveTracksRefusesSharedIDs) {
    IPodVolume volume(QStringLiteral("MA477"));
    volume.addTrack({.withoutFile = true, .dbid = 77});
    volume.addTrack({.withoutFile = true, .dbid = 78});
    volume.write();
    IPodDatabase database(volume.mountPoint());
    EXPECT_EQ(IPodDatabase::resolveTracks({78, 77}, database.database()->tracks).size(), 2);
    auto* first = static_cast<Itdb_Track*>(database.database()->tracks->data);
    auto* second = static_cast<Itdb_Track*>(database.database()->tracks->next->data);
    second->dbid = first->dbid;
    EXPECT_EQ(
        failureOf([&] { IPodDatabase::resolveTracks({first->dbid}, database.database()->tracks); }),
        IPodDatabaseError::Case::trackSelectionChanged);
}
