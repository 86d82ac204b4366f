// Saves on real mounted volumes: an edit is never saved onto another volume mounted in the
// iPod's place, and a disk that fills leaves the previous database readable by libgpod.

#include "ImportFixture.h"

#include "../library_write/WriteTestSupport.h"

#include "device/IPodDeviceError.h"
#include "device/IPodStore.h"
#include "support/LibgpodLeaks.h"
#include "support/StoredCoverReads.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ImportTest;
using TestSupport::IPodVolume;

namespace {

class SaveSafetyTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const QString why = TestVolumes::whyMountsAreUnavailable(); !why.isEmpty())
            GTEST_SKIP() << qPrintable(why);
        other.addTrack({.title = QStringLiteral("Other")});
        other.write();
    }
    // A mounted one-song iPod and a session on it.
    void openOneSong() {
        tree.addTrack({.title = QStringLiteral("Song")});
        tree.write();
        ipod = MountedIPod::make(FileSystem::tmpfs, tree);
        ASSERT_TRUE(ipod);
        session = ipod->device().openDatabase();
    }
    // Mounts the other iPod in its place: the session's save is refused and writes nothing.
    void expectSaveRefusedOntoTheOther() {
        ASSERT_TRUE(ipod->swapFor(other));
        const auto otherBefore = ipod->snapshot();
        try {
            session->saveLibrary();
            ADD_FAILURE() << "saved onto the other volume";
        } catch (const IPodDeviceError& error) {
            EXPECT_EQ(error.description(AppLanguage::english).toStdString(),
                      "The iPod was disconnected.");
        }
        EXPECT_EQ(TestSupport::differences(otherBefore, ipod->snapshot()).join(u' ').toStdString(),
                  "");
    }

    IPodVolume other{QStringLiteral("MA477")};
    IPodVolume tree{QStringLiteral("MA477")};
    std::unique_ptr<MountedIPod> ipod;
    std::unique_ptr<IPodDatabase> session;
};

std::unique_ptr<IPodVolume> nanoWithCovers(int plainTracks) {
    auto tree = std::make_unique<IPodVolume>(QStringLiteral("MA477"));
    for (quint32 i = 0; i < 3; ++i)
        tree->addTrack({.title = QStringLiteral("Cover %1").arg(i),
                        .artwork = true,
                        .artworkColor = 0x204080 * (i + 1)});
    if (plainTracks > 0)
        tree->addTracksWithoutFiles(plainTracks, 5000, {.title = QStringLiteral("Plain")});
    tree->addPlaylist(QStringLiteral("Mix"), {0, 2});
    tree->write();
    return tree;
}

// What libgpod reads off the volume: tracks, playlists and covers, one line each.
std::string libraryOn(const QString& mountPoint) {
    IPodDatabase database(mountPoint);
    QStringList lines;
    QSet<quint64> ids;
    for (const Track& track : database.loadTracks()) {
        lines << QStringLiteral("track %1 %2").arg(track.id).arg(track.title);
        ids.insert(track.id);
    }
    for (const IPodPlaylist& playlist : database.loadPlaylists()) {
        QStringList members;
        for (const quint64 id : playlist.trackIDs)
            members << QString::number(id);
        lines << QStringLiteral("playlist %1 %2: %3")
                     .arg(playlist.id)
                     .arg(playlist.name, members.join(u' '));
    }
    const auto covers = TestSupport::storedImages(database.mountPoint(), ids);
    for (auto it = covers.cbegin(); it != covers.cend(); ++it)
        lines << QStringLiteral("cover %1 %2").arg(it.key()).arg(qHash(it.value()));
    lines.sort();
    return lines.join(u'\n').toStdString();
}

// The lines of libraryOn without the track's own: its track line and its cover's.
QStringList libraryWithout(const QString& mountPoint, quint64 trackID) {
    QStringList lines;
    const QString gone = QString::number(trackID) + u' ';
    for (const QString& line : QString::fromStdString(libraryOn(mountPoint)).split(u'\n'))
        if (!line.startsWith(QStringLiteral("track ") + gone) &&
            !line.startsWith(QStringLiteral("cover ") + gone))
            lines << line;
    return lines;
}

} // namespace

TEST_F(SaveSafetyTest, ATagEditIsNotSavedOntoAnotherVolumeInTheIPodsPlace) {
    ASSERT_NO_FATAL_FAILURE(openOneSong());
    ASSERT_TRUE(
        session->updateTrackMetadata(tree.trackID(0), {QStringLiteral("Edited"), {}, {}, {}, {}}));
    expectSaveRefusedOntoTheOther();
}

TEST_F(SaveSafetyTest, APlaylistEditIsNotSavedOntoAnotherVolumeInTheIPodsPlace) {
    ASSERT_NO_FATAL_FAILURE(openOneSong());
    ASSERT_TRUE(session->createPlaylist(QStringLiteral("Mix"), {tree.trackID(0)}));
    expectSaveRefusedOntoTheOther();
    EXPECT_EQ(libraryOn(ipod->mountPoint()).find("playlist"), std::string::npos);
}

// A save that cannot fit is refused before anything changes. Deleting a track with a cover makes
// libgpod move the covers after it into its place before the databases are written, and so
// does replacing a cover; a delete says what would fit.
TEST_F(SaveSafetyTest, ASaveThatCannotFitIsRefusedBeforeAnythingChanges) {
    const struct {
        const char* edit;
        std::function<void(IPodDatabase&, const IPodVolume&)> apply;
        QString reason;
    } cases[] = {
        {"a track with a cover deleted",
         [](IPodDatabase& session, const IPodVolume& tree) {
             session.deleteTracks({tree.trackID(0)});
         },
         QStringLiteral("There is not enough free space on the iPod to save its library without "
                        "these songs. Delete a larger song, or several songs at once.")},
        {"a cover replaced",
         [](IPodDatabase& session, const IPodVolume& tree) {
             ASSERT_TRUE(session.registerCopiedFile(tree.trackID(0), WriteTests::png(120, 0xFF0000),
                                                    std::nullopt, std::nullopt));
         },
         QStringLiteral("There is not enough free space on the iPod to save its library.")},
    };
    const auto covers = nanoWithCovers(600);
    for (const auto& test : cases) {
        SCOPED_TRACE(test.edit);
        ipod = MountedIPod::make(FileSystem::tmpfs, *covers, QStringLiteral("size=8m,mode=0755"));
        ASSERT_TRUE(ipod);
        const std::string before = libraryOn(ipod->mountPoint());
        ASSERT_NE(before.find("cover"), std::string::npos);
        ASSERT_FALSE(TestVolumes::fillVolume(ipod->mountPoint(), 64 << 10).isEmpty());
        const auto snapshot = ipod->snapshot();

        session = ipod->device().openDatabase();
        ASSERT_NO_FATAL_FAILURE(test.apply(*session, *covers));
        try {
            session->saveLibrary();
            ADD_FAILURE() << "saved without room";
        } catch (const IPodDatabaseError& error) {
            EXPECT_EQ(error.description(AppLanguage::english),
                      QStringLiteral("Save library failed: ") + test.reason);
        }
        EXPECT_EQ(TestSupport::differences(snapshot, ipod->snapshot()).join(u' ').toStdString(),
                  "");
        EXPECT_EQ(libraryOn(ipod->mountPoint()), before);
        session.reset();
        ipod.reset();
    }
}

// A batch of 334 songs onto a nano 2G, which stores a cover once for each song: on a fresh one
// with 3 MiB more free than the songs and their covers take, each song with a picture of its
// own, every song is let in and saved; on one holding a cover, 1 MiB short, each song with the
// same album picture, the songs that no longer fit are turned away before they are written and
// the others are saved.
TEST_F(SaveSafetyTest, ABatchOfSongsWithCoversIsLetInAsFarAsItsSaveFits) {
    constexpr int songs = 334;
    constexpr qint64 image = 23528; // measured: one cover's thumbnails
    const QByteArray audio(4096, 'a');
    const QTemporaryDir folder;
    const QString source = folder.filePath(QStringLiteral("song.mp3"));
    QFile made(source);
    ASSERT_TRUE(made.open(QIODevice::WriteOnly) && made.write(audio) == audio.size());
    made.close();
    for (const bool fresh : {true, false}) {
        SCOPED_TRACE(fresh ? "fresh, 3 MiB spare" : "with a cover, 1 MiB short");
        IPodVolume nano(QStringLiteral("MA477"));
        nano.addTrack({.artwork = !fresh});
        nano.write();
        ipod = MountedIPod::make(FileSystem::tmpfs, nano, QStringLiteral("size=24m,mode=0755"));
        ASSERT_TRUE(ipod);
        const qint64 spare = fresh ? qint64(3) << 20 : -(qint64(1) << 20);
        ASSERT_FALSE(
            TestVolumes::fillVolume(ipod->mountPoint(), songs * (audio.size() + image) + spare)
                .isEmpty());
        session = ipod->device().openDatabase();
        int added = 0;
        for (; added < songs; ++added) {
            const QString title = QStringLiteral("Song %1").arg(added);
            const QByteArray cover = WriteTests::png(64, fresh ? quint32(added) : 0x204080);
            const QString file = session->destinationFilename(source);
            if (session->roomForNewTrack(audio.size(), file, title, QStringLiteral("Tester"),
                                         QStringLiteral("Album"), {}, {},
                                         cover) != IPodDatabase::TrackRoom::enough)
                break;
            ASSERT_TRUE(QFile::copy(source, file));
            session->registerCopiedFiles(file, title, QStringLiteral("Tester"),
                                         QStringLiteral("Album"), {}, {}, 1000, 44100, 128, true,
                                         cover);
        }
        EXPECT_EQ(added == songs, fresh);
        EXPECT_NO_THROW(session->saveLibrary());
        session.reset();
        EXPECT_EQ(tracksOn(ipod->mountPoint()).size(), 1 + added);
        ipod.reset();
    }
}

// The disk fills up from elsewhere right as the save begins: libgpod's writes fail and the
// previous database is still there, whole.
TEST_F(SaveSafetyTest, ADiskFillingDuringTheSaveLeavesThePreviousDatabaseReadable) {
    const auto covers = nanoWithCovers(600);
    ipod = MountedIPod::make(FileSystem::tmpfs, *covers, QStringLiteral("size=8m,mode=0755"));
    ASSERT_TRUE(ipod);
    const std::string before = libraryOn(ipod->mountPoint());
    const QByteArray database = covers->readFile(QStringLiteral("iPod_Control/iTunes/iTunesDB"));
    QString filler;
    {
        const TestSupport::IgnoredLibgpodLeaks ignored; // libgpod's failing write leaks
        IPodDatabase filling(ipod->mountPoint(), std::nullopt, {},
                             [&] { filler = TestVolumes::fillVolume(ipod->mountPoint(), 0); });
        ASSERT_TRUE(filling.createPlaylist(QStringLiteral("New"), {covers->trackID(1)}));
        ASSERT_TRUE(filling.updateTrackMetadata(covers->trackID(2),
                                                {QStringLiteral("Edited"), {}, {}, {}, {}}));
        try {
            filling.saveLibrary();
            ADD_FAILURE() << "saved onto a full disk";
        } catch (const IPodDatabaseError& error) {
            EXPECT_TRUE(error.description(AppLanguage::english)
                            .startsWith(QStringLiteral("Save library failed: ")));
        }
    }
    ASSERT_FALSE(filler.isEmpty());
    // The failed writes took their temporary files away themselves.
    EXPECT_EQ(QDir(ipod->mountPoint() + QStringLiteral("/iPod_Control/iTunes"))
                  .entryList({QStringLiteral("iTunesDB.*")}, QDir::Files),
              QStringList());
    EXPECT_TRUE(QFile::remove(filler));
    QFile written(ipod->mountPoint() + QStringLiteral("/iPod_Control/iTunes/iTunesDB"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), database);
    EXPECT_EQ(libraryOn(ipod->mountPoint()), before);
}

// A full iPod is emptied by deleting: the save asks only for what its smaller databases take,
// and when even that is not free, the files the delete leaves unused make room first. The
// covers of the other tracks stay as they were.
TEST_F(SaveSafetyTest, ADeleteOnAFullIPodSucceedsAndKeepsEveryOtherCover) {
    for (quint32 i = 0; i < 8; ++i)
        tree.addTrack({.title = QStringLiteral("Cover %1").arg(i),
                       .audio = QByteArray(481 << 10, char('a' + i)),
                       .artwork = true,
                       .artworkColor = 0x204080 * (i + 1)});
    tree.addTracksWithoutFiles(60, 7000, {.title = QStringLiteral("Plain")});
    tree.write();
    const QStringList expected = libraryWithout(tree.mountPoint(), tree.trackID(0));
    ASSERT_EQ(expected.filter(QStringLiteral("cover ")).size(), 7);

    for (const qint64 left : {qint64(300) << 10, qint64(16) << 10}) {
        SCOPED_TRACE(left);
        ipod = MountedIPod::make(FileSystem::tmpfs, tree, QStringLiteral("size=24m,mode=0755"));
        ASSERT_TRUE(ipod);
        ASSERT_FALSE(TestVolumes::fillVolume(ipod->mountPoint(), left).isEmpty());
        session = ipod->device().openDatabase();
        const QSet<QString> files = session->deleteTracks({tree.trackID(0)});
        ASSERT_EQ(files.size(), 1);
        session->saveLibrary();
        EXPECT_EQ(
            IPodStore::removeTrackFiles(files.values(), [&] { ipod->device().verifyIdentity(); }),
            QStringList());
        EXPECT_FALSE(QFile::exists(*files.cbegin()));
        EXPECT_EQ(libraryOn(ipod->mountPoint()), expected.join(u'\n').toStdString());
        session.reset();
        ipod.reset();
    }
}

// At no byte free, a delete whose covers give back what the save needs is saved: libgpod gives
// their thumbnails back before it writes the databases. Its own file (one small page) would
// not make the room. A cover another track still shows (a classic's tracks of one album share
// theirs) gives nothing back: that delete is refused and the library stays as it was.
TEST_F(SaveSafetyTest, ADeleteIsSavedWithNoByteFreeOnlyWhenItsCoversMakeTheRoom) {
    const struct {
        const char* what;
        QStringList albums;
        bool saved;
    } cases[] = {
        {"a cover of its own",
         {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")},
         true},
        {"a cover another track shows",
         {QStringLiteral("A"), QStringLiteral("A"), QStringLiteral("C")},
         false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        IPodVolume classic(QStringLiteral("MB029"));
        for (quint32 i = 0; i < 3; ++i)
            classic.addTrack({.title = QStringLiteral("Cover %1").arg(i),
                              .album = test.albums[i],
                              .audio = QByteArray(100, char('a' + i)),
                              .artwork = true,
                              .artworkColor = 0x204080});
        classic.write();
        const std::string before = libraryOn(classic.mountPoint());
        const QStringList expected = libraryWithout(classic.mountPoint(), classic.trackID(0));
        ASSERT_EQ(expected.filter(QStringLiteral("cover ")).size(), 2);

        ipod = MountedIPod::make(FileSystem::tmpfs, classic);
        ASSERT_TRUE(ipod);
        ASSERT_FALSE(TestVolumes::fillVolume(ipod->mountPoint(), 0).isEmpty());
        session = ipod->device().openDatabase();
        ASSERT_EQ(session->deleteTracks({classic.trackID(0)}).size(), 1);
        try {
            session->saveLibrary();
            EXPECT_TRUE(test.saved) << "saved without room";
        } catch (const IPodDatabaseError& error) {
            EXPECT_EQ(error.description(AppLanguage::english).toStdString(),
                      test.saved ? ""
                                 : "Save library failed: There is not enough free space on the "
                                   "iPod to save its library without these songs. Delete a "
                                   "larger song, or several songs at once.");
        }
        session.reset();
        EXPECT_EQ(libraryOn(ipod->mountPoint()),
                  test.saved ? expected.join(u'\n').toStdString() : before);
        ipod.reset();
    }
}

// A delete that makes its own room removes the files one by one, each only while the volume is
// still the iPod: another volume mounted in its place, before the save or between two files,
// loses nothing (even files at the very same paths), and the iPod keeps the files not yet
// removed.
TEST_F(SaveSafetyTest, ADeleteMakingItsOwnRoomRemovesNoFileOfAVolumeSwappedIn) {
    for (const char* title : {"A", "B", "C", "Kept"})
        tree.addTrack({.title = QString::fromLatin1(title), .audio = QByteArray(2 << 20, 'x')});
    tree.write();
    for (const int swapAtCheck : {0, 2}) { // 0: before the save begins
        SCOPED_TRACE(swapAtCheck);
        ipod = MountedIPod::make(FileSystem::tmpfs, tree, QStringLiteral("size=12m,mode=0755"));
        ASSERT_TRUE(ipod);
        ASSERT_FALSE(TestVolumes::fillVolume(ipod->mountPoint(), 16 << 10).isEmpty());
        // The iPod's own volume, still reachable once another took its path.
        const int original = ::open(QFile::encodeName(ipod->mountPoint()).constData(),
                                    O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(original, 0);
        int checks = 0;
        TestSupport::TreeSnapshot swappedIn;
        const auto swap = [&] {
            ASSERT_TRUE(ipod->swapFor(tree));
            ASSERT_FALSE(TestVolumes::fillVolume(ipod->mountPoint(), 16 << 10).isEmpty());
            swappedIn = ipod->snapshot();
        };
        session = std::make_unique<IPodDatabase>(ipod->mountPoint(), std::nullopt,
                                                 IPodDatabase::ProductIDProvider{}, [&] {
                                                     if (++checks == swapAtCheck)
                                                         swap();
                                                     ipod->device().verifyIdentity();
                                                 });
        ASSERT_EQ(session->deleteTracks({tree.trackID(0), tree.trackID(1), tree.trackID(2)}).size(),
                  3);
        if (swapAtCheck == 0)
            swap();
        try {
            session->saveLibrary();
            ADD_FAILURE() << "saved after the swap";
        } catch (const IPodDeviceError& error) {
            EXPECT_EQ(error.description(AppLanguage::english).toStdString(),
                      "The iPod was disconnected.");
        }
        ASSERT_FALSE(swappedIn.isEmpty());
        EXPECT_EQ(TestSupport::differences(swappedIn, ipod->snapshot()).join(u' ').toStdString(),
                  "");
        QStringList files;
        for (int i = 0; i < 3; ++i)
            files << tree.trackFile(i);
        files.sort(); // the order of removal
        for (int i = swapAtCheck == 0 ? 0 : 1; i < files.size(); ++i) {
            struct stat status {};
            EXPECT_EQ(::fstatat(original, QFile::encodeName(files[i]).constData(), &status, 0), 0)
                << qPrintable(files[i]);
        }
        ::close(original);
        session.reset();
        ipod.reset();
    }
}

// The iPod pulled as the save begins: what is told is the disconnection, not libgpod's failed
// write.
TEST_F(SaveSafetyTest, ASaveCutShortByAnUnplugReportsTheDisconnection) {
    tree.addTrack({.title = QStringLiteral("Song")});
    tree.write();
    ipod = MountedIPod::make(FileSystem::tmpfs, tree);
    ASSERT_TRUE(ipod);
    bool unplugged = false;
    IPodDatabase unplugging(ipod->mountPoint(), std::nullopt, {}, [&] {
        if (!std::exchange(unplugged, true))
            ASSERT_TRUE(ipod->unplug()); // right after the check
        else
            ipod->device().verifyIdentity();
    });
    ASSERT_TRUE(unplugging.updateTrackMetadata(tree.trackID(0),
                                               {QStringLiteral("Edited"), {}, {}, {}, {}}));
    const TestSupport::IgnoredLibgpodLeaks ignored; // libgpod's failing write leaks
    try {
        unplugging.saveLibrary();
        ADD_FAILURE() << "saved without a volume";
    } catch (const IPodDeviceError& error) {
        EXPECT_EQ(error.description(AppLanguage::english).toStdString(),
                  "The iPod was disconnected.");
    }
}

// The files a delete left unused are removed one by one; another volume mounted in the iPod's
// place between two of them loses nothing, even files at the very same paths.
TEST_F(SaveSafetyTest, ADeleteRemovesNoFileOfAVolumeSwappedInMidway) {
    for (const char* title : {"A", "B", "C"})
        tree.addTrack({.title = QString::fromLatin1(title)});
    tree.write();
    ipod = MountedIPod::make(FileSystem::tmpfs, tree);
    ASSERT_TRUE(ipod);
    QStringList files;
    for (int i = 0; i < tree.trackCount(); ++i)
        files << ipod->mountPoint() + u'/' + tree.trackFile(i);
    int checks = 0;
    TestSupport::TreeSnapshot swappedIn;
    try {
        IPodStore::removeTrackFiles(files, [&] {
            if (++checks == 2) {
                // A copy of the same tree: every file still to go exists on it as well.
                ASSERT_TRUE(ipod->swapFor(tree));
                swappedIn = ipod->snapshot();
            }
            ipod->device().verifyIdentity();
        });
        ADD_FAILURE() << "removed files after the swap";
    } catch (const IPodDeviceError& error) {
        EXPECT_EQ(error.description(AppLanguage::english).toStdString(),
                  "The iPod was disconnected.");
    }
    EXPECT_EQ(checks, 2);
    ASSERT_FALSE(swappedIn.isEmpty());
    EXPECT_EQ(TestSupport::differences(swappedIn, ipod->snapshot()).join(u' ').toStdString(), "");
    for (const QString& file : std::as_const(files))
        EXPECT_TRUE(QFile::exists(file)) << qPrintable(file);
}

namespace {

// A second-generation shuffle of three tracks with a resume file at its first entry.
std::unique_ptr<IPodVolume> shuffleOfThree(const QString& prefix) {
    auto shuffle = std::make_unique<IPodVolume>(QStringLiteral("MA546"));
    for (int i = 0; i < 3; ++i)
        shuffle->addTrack({.title = prefix + QString::number(i)});
    shuffle->write();
    QByteArray pstate(32, '\0');
    pstate[16] = 3; // the entry count; current entry and shuffle position 0
    shuffle->writeFile(QStringLiteral("iPod_Control/iTunes/iTunesPState"), pstate);
    return shuffle;
}

} // namespace

// The shuffle's start track is set on a session opened before another shuffle took the iPod's
// place: the other one's files do not list the track, but what is reported is the swap.
TEST_F(SaveSafetyTest, AStartTrackForAVolumeSwappedAwayReportsTheDisconnection) {
    const auto shuffle = shuffleOfThree(QStringLiteral("Mine "));
    const auto otherShuffle = shuffleOfThree(QStringLiteral("Other "));
    ipod = MountedIPod::make(FileSystem::tmpfs, *shuffle);
    ASSERT_TRUE(ipod);
    session = ipod->device().openDatabase();
    ASSERT_TRUE(ipod->swapFor(*otherShuffle));
    const auto otherBefore = ipod->snapshot();
    try {
        session->setPlaybackStart(shuffle->trackID(1));
        ADD_FAILURE() << "set the start track on the other volume";
    } catch (const IPodDeviceError& error) {
        EXPECT_EQ(error.description(AppLanguage::english).toStdString(),
                  "The iPod was disconnected.");
    } catch (const IPodDatabaseError& error) {
        ADD_FAILURE() << error.description(AppLanguage::english).toStdString();
    }
    EXPECT_EQ(TestSupport::differences(otherBefore, ipod->snapshot()).join(u' ').toStdString(), "");
}
