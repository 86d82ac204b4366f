// Edits and saves of real libgpod volumes, each checked by reopening the saved database.

#include "WriteTestSupport.h"
#include "support/IPodVolume.h"
#include "support/StoredCoverReads.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <sys/mount.h>
#include <unistd.h>

using TestSupport::IPodVolume;
using WriteTests::failureOf;
using WriteTests::fileContents;
using Case = IPodDatabaseError::Case;

namespace {

QStringList playlistNames(const IPodDatabase& database) {
    QStringList names;
    for (const IPodPlaylist& playlist : database.loadPlaylists())
        names.append(playlist.name);
    return names;
}

QList<quint64> membersOf(const IPodDatabase& database, const QString& name) {
    for (const IPodPlaylist& playlist : database.loadPlaylists()) {
        if (playlist.name == name)
            return playlist.trackIDs;
    }
    ADD_FAILURE() << "no playlist " << name.toStdString();
    return {};
}

QSet<QString> musicFiles(const QString& root) {
    QSet<QString> files;
    QDirIterator it(root + QStringLiteral("/iPod_Control/Music"), QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.insert(it.next());
    return files;
}

} // namespace

TEST(IPodDatabaseEditing, PlaylistNamesCountUpAndAnIdenticalPlaylistIsNotAddedAgain) {
    IPodVolume volume(QStringLiteral("MA477"));
    const int a = volume.addTrack({.title = QStringLiteral("A")});
    const int b = volume.addTrack({.title = QStringLiteral("B")});
    const int c = volume.addTrack({.title = QStringLiteral("C")});
    volume.addPlaylist(QStringLiteral("Mix"), {a, b});
    volume.addPlaylist(QStringLiteral("Mix (2)"), {c});
    volume.write();
    const quint64 idA = volume.trackID(a), idB = volume.trackID(b), idC = volume.trackID(c);
    {
        IPodDatabase database(volume.mountPoint());
        EXPECT_FALSE(database.createPlaylist(QStringLiteral("Mix"), {idA, idB}));
        EXPECT_TRUE(database.createPlaylist(QStringLiteral("Mix"), {idB, idA}));  // Mix (3)
        EXPECT_FALSE(database.createPlaylist(QStringLiteral("Mix"), {idB, idA})); // now equal
        EXPECT_FALSE(database.createPlaylist(QStringLiteral("Mix"), {idC}));      // = Mix (2)
        EXPECT_TRUE(database.createPlaylist(QStringLiteral("Empty"), {}));
        EXPECT_FALSE(database.createPlaylist(QStringLiteral("Empty"), {}));
        EXPECT_TRUE(database.createPlaylist(QStringLiteral("Empty"), {idC})); // Empty (2)
        EXPECT_EQ(failureOf([&] {
                      database.createPlaylist(QStringLiteral("X"), {idA, idA});
                  }),
                  Case::trackSelectionChanged);
        EXPECT_EQ(failureOf([&] {
                      database.createPlaylist(QStringLiteral("X"), {idA, 7});
                  }),
                  Case::trackSelectionChanged);
        database.saveLibrary();
    }
    IPodDatabase reopened(volume.mountPoint());
    EXPECT_EQ(
        playlistNames(reopened),
        (QStringList{QStringLiteral("Mix"), QStringLiteral("Mix (2)"), QStringLiteral("Mix (3)"),
                     QStringLiteral("Empty"), QStringLiteral("Empty (2)")}));
    EXPECT_EQ(membersOf(reopened, QStringLiteral("Mix (3)")), (QList<quint64>{idB, idA}));
    EXPECT_TRUE(membersOf(reopened, QStringLiteral("Empty")).isEmpty());
    EXPECT_EQ(reopened.playlistNamed(QStringLiteral("Mix (3)"))->sortorder, 1);
}

TEST(IPodDatabaseEditing, PlaylistMembersComeFromTheMainPlaylistListedOnceOrTwice) {
    IPodVolume volume(QStringLiteral("MA477"));
    const int twice = volume.addTrack({.title = QStringLiteral("Twice")});
    const int outside =
        volume.addTrack({.title = QStringLiteral("Outside"), .inMainPlaylist = false});
    volume.appendToMainPlaylist(twice);
    volume.write();
    IPodDatabase database(volume.mountPoint());
    EXPECT_EQ(
        failureOf([&] { database.createPlaylist(QStringLiteral("P"), {volume.trackID(outside)}); }),
        Case::trackSelectionChanged);
    EXPECT_TRUE(database.createPlaylist(QStringLiteral("P"), {volume.trackID(twice)}));
    database.saveLibrary();
    IPodDatabase reopened(volume.mountPoint());
    EXPECT_EQ(membersOf(reopened, QStringLiteral("P")), QList<quint64>{volume.trackID(twice)});
    // The save listed the doubled track once.
    EXPECT_EQ(itdb_playlist_tracks_number(itdb_playlist_mpl(reopened.database())), 1u);
}

TEST(IPodDatabaseEditing, PlaylistsMoveAmongUserPlaylistsAndNotPastTheEnds) {
    IPodVolume volume(QStringLiteral("MA477"));
    const int a = volume.addTrack({});
    volume.addPlaylist(QStringLiteral("One"), {a});
    volume.addPlaylist(QStringLiteral("Two"), {a});
    volume.addPlaylist(QStringLiteral("Three"), {a});
    volume.write();
    {
        IPodDatabase database(volume.mountPoint());
        const auto playlists = database.loadPlaylists();
        EXPECT_FALSE(database.movePlaylist(playlists[0].id, true));
        EXPECT_FALSE(database.movePlaylist(playlists[2].id, false));
        EXPECT_EQ(failureOf([&] { database.movePlaylist(12345, true); }),
                  Case::playlistSelectionChanged);
        EXPECT_TRUE(database.movePlaylist(playlists[2].id, true));
        EXPECT_TRUE(database.movePlaylist(playlists[0].id, false));
        EXPECT_EQ(
            playlistNames(database),
            (QStringList{QStringLiteral("Three"), QStringLiteral("One"), QStringLiteral("Two")}));
        database.saveLibrary();
    }
    EXPECT_EQ(playlistNames(IPodDatabase(volume.mountPoint())),
              (QStringList{QStringLiteral("Three"), QStringLiteral("One"), QStringLiteral("Two")}));
}

TEST(IPodDatabaseEditing, ShufflesGetNoPlaylistEdits) {
    IPodVolume volume(QStringLiteral("MA546"));
    const int a = volume.addTrack({});
    volume.write();
    IPodDatabase database(volume.mountPoint(), std::nullopt, WriteTests::product(0x1301));
    EXPECT_EQ(failureOf([&] { database.createPlaylist(QStringLiteral("P"), {volume.trackID(a)}); }),
              Case::unsupportedDatabase);
    EXPECT_EQ(failureOf([&] { database.movePlaylist(1, true); }), Case::unsupportedDatabase);
}

TEST(IPodDatabaseEditing, TagEditsStoreEmptyTextAsNoneAndAcceptOnlyKnownMusicGenres) {
    IPodVolume volume(QStringLiteral("MA477"));
    const int song = volume.addTrack({.title = QStringLiteral("Song"),
                                      .artist = QStringLiteral("Artist"),
                                      .album = QStringLiteral("Album"),
                                      .genre = QStringLiteral("Jazz")});
    volume.addTrack({.title = QStringLiteral("Other"), .genre = QStringLiteral("Shoegaze")});
    volume.addTrack(
        {.title = QStringLiteral("Talk"), .genre = QStringLiteral("Talk Radio"), .mediatype = 4});
    volume.write();
    const quint64 id = volume.trackID(song);
    {
        IPodDatabase database(volume.mountPoint());
        TrackMetadata metadata{QStringLiteral("Song"), QStringLiteral("Artist"),
                               QStringLiteral("Album"), QString(), QStringLiteral("Jazz")};
        EXPECT_FALSE(database.updateTrackMetadata(id, metadata));
        metadata.genre = QStringLiteral("Talk Radio"); // only a podcast has it
        EXPECT_EQ(failureOf([&] { database.updateTrackMetadata(id, metadata); }),
                  Case::genreSelectionChanged);
        metadata.genre = QStringLiteral("Rock"); // a default genre
        EXPECT_TRUE(database.updateTrackMetadata(id, metadata));
        metadata.genre = QStringLiteral("Shoegaze"); // another music track has it
        metadata.title = QStringLiteral("New Title");
        metadata.artist = QString();
        metadata.albumArtist = QStringLiteral("Band");
        EXPECT_TRUE(database.updateTrackMetadata(id, metadata));
        EXPECT_EQ(failureOf([&] { database.updateTrackMetadata(999, metadata); }),
                  Case::trackSelectionChanged);
        database.saveLibrary();
    }
    IPodDatabase reopened(volume.mountPoint());
    const Itdb_Track* track = IPodDatabase::resolveTracks({id}, reopened.database()->tracks)[0];
    EXPECT_STREQ(track->title, "New Title");
    EXPECT_EQ(track->artist, nullptr);
    EXPECT_STREQ(track->albumartist, "Band");
    EXPECT_STREQ(track->genre, "Shoegaze");
    TrackMetadata cleared;
    IPodDatabase again(volume.mountPoint());
    EXPECT_TRUE(again.updateTrackMetadata(id, cleared)); // an empty genre is always accepted
    const Itdb_Track* edited = IPodDatabase::resolveTracks({id}, again.database()->tracks)[0];
    EXPECT_EQ(edited->title, nullptr);
    EXPECT_EQ(edited->genre, nullptr);
}

TEST(IPodDatabaseEditing, DeletingReturnsOnlyFilesNoRemainingTrackUses) {
    IPodVolume volume(QStringLiteral("MA477"));
    const int alone = volume.addTrack({.title = QStringLiteral("Alone")});
    const int kept = volume.addTrack({.title = QStringLiteral("Kept")});
    const QString shared = QStringLiteral("iPod_Control/Music/F01/SHARED.mp3");
    volume.writeFile(shared, "shared audio");
    const int first = volume.addTrack({.withoutFile = true, .ipodPath = shared});
    const int third = volume.addTrack({.withoutFile = true, .ipodPath = shared});
    // The same file written in other letters (one file on the iPod's FAT volume).
    const int variant = volume.addTrack(
        {.withoutFile = true, .ipodPath = QStringLiteral("iPod_Control/Music/F01/shared.MP3")});
    const int noFile = volume.addTrack({.title = QStringLiteral("No file"), .withoutFile = true});
    volume.addPlaylist(QStringLiteral("P"), {alone, kept, first, alone});
    volume.write();
    const QString root = volume.mountPoint();
    EXPECT_TRUE(
        IPodDatabase(root).deleteTracks({volume.trackID(first), volume.trackID(third)}).isEmpty());
    QSet<QString> removed;
    {
        IPodDatabase database(root);
        removed = database.deleteTracks(
            {volume.trackID(alone), volume.trackID(first), volume.trackID(noFile)});
        EXPECT_EQ(removed, QSet<QString>{root + u'/' + volume.trackFile(alone)});
        database.saveLibrary();
    }
    for (const QString& file : removed)
        QFile::remove(file);
    IPodDatabase reopened(root);
    QSet<quint64> ids;
    for (const Track& track : reopened.loadTracks())
        ids.insert(track.id);
    EXPECT_EQ(
        ids, (QSet<quint64>{volume.trackID(kept), volume.trackID(third), volume.trackID(variant)}));
    EXPECT_EQ(membersOf(reopened, QStringLiteral("P")), QList<quint64>{volume.trackID(kept)});
    // Every file left is one a track uses, and every used file is left.
    EXPECT_EQ(musicFiles(root), reopened.allTrackFileURLs());
    // The last users of the shared file take it along.
    EXPECT_EQ(reopened.deleteTracks({volume.trackID(third), volume.trackID(variant)}),
              QSet<QString>{root + u'/' + shared});
}

TEST(IPodDatabaseEditing, ADeletionWithAFileOutsideTheMusicFoldersRemovesNothing) {
    IPodVolume volume(QStringLiteral("MA477"));
    const int good = volume.addTrack({});
    volume.writeFile(QStringLiteral("iPod_Control/Stray/x.mp3"), "x");
    const int stray = volume.addTrack(
        {.withoutFile = true, .ipodPath = QStringLiteral("iPod_Control/Stray/x.mp3")});
    volume.write();
    IPodDatabase database(volume.mountPoint());
    EXPECT_EQ(failureOf([&] {
                  database.deleteTracks({volume.trackID(good), volume.trackID(stray)});
              }),
              Case::invalidTrackLocation);
    EXPECT_EQ(database.loadTracks().size(), 2);
    EXPECT_EQ(failureOf([&] { database.deleteTracks({}); }), Case::trackSelectionChanged);
}

TEST(IPodDatabaseEditing, ArtworkSurvivesSavesOfAForcedModelSession) {
    IPodVolume volume(QStringLiteral("MA477"));
    const int covered = volume.addTrack({.title = QStringLiteral("Covered"), .artwork = true});
    volume.addTrack({.title = QStringLiteral("Plain")});
    volume.write();
    volume.removeFile(QStringLiteral("iPod_Control/Device/SysInfo"));
    const QString artworkDB = QStringLiteral("iPod_Control/Artwork/ArtworkDB");
    ASSERT_TRUE(volume.exists(artworkDB));
    for (int round = 0; round < 2; ++round) {
        IPodDatabase database(volume.mountPoint(), std::nullopt, WriteTests::product(0x1260));
        ASSERT_FALSE(database.writeBlocker());
        EXPECT_TRUE(database.createPlaylist(QStringLiteral("Round %1").arg(round),
                                            {volume.trackID(covered)}));
        database.saveLibrary();
    }
    EXPECT_FALSE(volume.exists(QStringLiteral("iPod_Control/Device/SysInfo")));
    IPodDatabase reopened(volume.mountPoint(), std::nullopt, WriteTests::product(0x1260));
    EXPECT_TRUE(reopened.loadTracks()[0].hasCoverArtwork);
    EXPECT_FALSE(reopened.loadTracks()[1].hasCoverArtwork);
    EXPECT_EQ(reopened.loadPlaylists().size(), 2);
    EXPECT_TRUE(TestSupport::storedImages(volume.mountPoint(), {volume.trackID(covered)}, 0x1260)
                    .contains(volume.trackID(covered)));
}

TEST(IPodDatabaseEditing, SavingAnUnchangedDatabaseChangesNothing) {
    IPodVolume volume(QStringLiteral("MA477"));
    const int a = volume.addTrack({.title = QStringLiteral("A"), .artwork = true});
    const int b =
        volume.addTrack({.title = QStringLiteral("B"), .artwork = true, .artworkColor = 0xCC3300});
    volume.addPlaylist(QStringLiteral("P"), {b, a});
    volume.write();
    const QSet<quint64> ids{volume.trackID(a), volume.trackID(b)};
    // One save settles libgpod's own normalisations of a database it did not write itself.
    IPodDatabase(volume.mountPoint()).saveLibrary();
    const auto before = fileContents(volume.mountPoint());
    const auto artworkBefore = TestSupport::storedImages(volume.mountPoint(), ids);
    const auto tracksBefore = IPodDatabase(volume.mountPoint()).loadTracks();
    IPodDatabase(volume.mountPoint()).saveLibrary();
    const auto after = fileContents(volume.mountPoint());
    EXPECT_EQ(before.keys(), after.keys());
    // libgpod lists the thumbnail formats of the ArtworkDB in no fixed order; what it says
    // stays the same.
    const QString artworkDB = QStringLiteral("/iPod_Control/Artwork/ArtworkDB");
    for (const QString& key : before.keys()) {
        if (key == artworkDB)
            EXPECT_EQ(before.value(key).size(), after.value(key).size());
        else
            EXPECT_EQ(before.value(key), after.value(key)) << key.toStdString();
    }
    IPodDatabase reopened(volume.mountPoint());
    EXPECT_EQ(TestSupport::storedImages(volume.mountPoint(), ids), artworkBefore);
    EXPECT_EQ(artworkBefore.size(), 2);
    const auto tracksAfter = reopened.loadTracks();
    ASSERT_EQ(tracksAfter.size(), tracksBefore.size());
    for (qsizetype i = 0; i < tracksAfter.size(); ++i) {
        EXPECT_EQ(tracksAfter[i].id, tracksBefore[i].id);
        EXPECT_EQ(tracksAfter[i].title, tracksBefore[i].title);
        EXPECT_EQ(tracksAfter[i].hasCoverArtwork, tracksBefore[i].hasCoverArtwork);
    }
}

TEST(IPodDatabaseEditing, AnEmptyDatabaseIsSavedOnlyOntoAFreshlyPreparedIPod) {
    IPodVolume volume(QStringLiteral("MA477"));
    const int only = volume.addTrack({});
    volume.write();
    {
        IPodDatabase database(volume.mountPoint());
        database.deleteTracks({volume.trackID(only)});
        EXPECT_EQ(failureOf([&] { database.saveLibrary(); }), Case::emptyLibrary);
    }
    // The refusal names its own reason in both languages.
    EXPECT_EQ(IPodDatabaseError::emptyLibrary().description(AppLanguage::english),
              QStringLiteral("An iPod library with no tracks cannot be saved. Keep at least one "
                             "track on the iPod, or add music before creating a playlist."));
    EXPECT_EQ(IPodDatabaseError::emptyLibrary().description(AppLanguage::simplifiedChinese),
              QStringLiteral("没有曲目的 iPod 资料库无法保存。请在 iPod 上至少保留一首曲目，或先"
                             "添加音乐再创建播放列表。"));
    const auto fresh = IPodVolume::emptyFolder();
    fresh->writeFile(QStringLiteral("iPod_Control/iTunes/ItunesControl"), "control");
    QDir().mkpath(fresh->path(QStringLiteral("iPod_Control/Music/F00")));
    IPodDatabase database(fresh->mountPoint(), std::nullopt, WriteTests::product(0x1302));
    ASSERT_FALSE(database.writeBlocker());
    database.saveLibrary();
    EXPECT_TRUE(fresh->exists(QStringLiteral("iPod_Control/iTunes/iTunesDB")));
}

TEST(IPodDatabaseEditing, EveryEditPassesTheWriteGate) {
    IPodVolume blocked(QStringLiteral("MA477"));
    const int a = blocked.addTrack({});
    blocked.write();
    // A product ID the database contradicts blocks editing.
    IPodDatabase database(blocked.mountPoint(), std::nullopt, WriteTests::product(0x1261));
    ASSERT_TRUE(database.writeBlocker());
    const quint64 id = blocked.trackID(a);
    for (const auto& edit : std::initializer_list<std::function<void()>>{
             [&] { database.createPlaylist(QStringLiteral("P"), {id}); },
             [&] { database.updateTrackMetadata(id, {}); }, [&] { database.deleteTracks({id}); },
             [&] { database.saveLibrary(); }})
        EXPECT_EQ(failureOf(edit), Case::unsupportedDatabase);

    if (::geteuid() != 0)
        GTEST_SKIP() << "a read-only mount needs root";
    IPodVolume volume(QStringLiteral("MA477"));
    volume.addTrack({});
    volume.write();
    QTemporaryDir mount;
    const QByteArray source = QFile::encodeName(volume.mountPoint());
    const QByteArray target = QFile::encodeName(mount.path());
    ASSERT_EQ(::mount(source.constData(), target.constData(), nullptr, MS_BIND, nullptr), 0);
    const int remounted =
        ::mount(nullptr, target.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr);
    if (remounted == 0) {
        IPodDatabase readOnly(mount.path());
        EXPECT_EQ(failureOf([&] { readOnly.saveLibrary(); }), Case::readOnlyVolume);
    }
    ::umount(target.constData());
    ASSERT_EQ(remounted, 0);
}

TEST(IPodDatabaseEditing, AFileReachedThroughALinkCountsAsInUse) {
    IPodVolume volume(QStringLiteral("MA477"));
    const int target = volume.addTrack({.title = QStringLiteral("Target")});
    const QString link = QStringLiteral("iPod_Control/Music/F03/LINK.mp3");
    QDir().mkpath(volume.path(QStringLiteral("iPod_Control/Music/F03")));
    ASSERT_TRUE(QFile::link(volume.path(volume.trackFile(target)), volume.path(link)));
    const int linked = volume.addTrack({.withoutFile = true, .ipodPath = link});
    volume.write();
    IPodDatabase database(volume.mountPoint());
    EXPECT_TRUE(database.deleteTracks({volume.trackID(target)}).isEmpty());
    EXPECT_EQ(database.loadTracks().size(), 1);
    EXPECT_EQ(database.loadTracks()[0].id, volume.trackID(linked));
}

// The opener's checkpoint runs right before anything is written, after every check that reads.
TEST(IPodDatabaseEditing, ASaveStopsAtTheSessionCheckpointBeforeWriting) {
    IPodVolume volume(QStringLiteral("MA477"));
    const int song = volume.addTrack({.title = QStringLiteral("Song")});
    volume.write();
    int checks = 0;
    bool swapped = false;
    IPodDatabase database(volume.mountPoint(), std::nullopt, {}, [&] {
        ++checks;
        if (swapped)
            throw std::runtime_error("The iPod was disconnected.");
    });
    ASSERT_TRUE(database.updateTrackMetadata(volume.trackID(song),
                                             {QStringLiteral("New"), {}, {}, {}, {}}));
    ASSERT_TRUE(database.createPlaylist(QStringLiteral("Mix"), {volume.trackID(song)}));
    swapped = true;
    const auto before = TestSupport::snapshotTree(volume.mountPoint());
    EXPECT_THROW(database.saveLibrary(), std::runtime_error);
    EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume.mountPoint())),
              QStringList());
    EXPECT_EQ(checks, 1);
    swapped = false;
    database.saveLibrary();
    EXPECT_EQ(checks, 4); // and once more before writing the save's record and removing it
    EXPECT_EQ(playlistNames(IPodDatabase(volume.mountPoint())), QStringList{"Mix"});
}
