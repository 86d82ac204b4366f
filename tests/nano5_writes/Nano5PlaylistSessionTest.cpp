// A new playlist on a fifth-generation nano through a database session, as the store's edit
// runs it: the session builds the playlist, the nano's writer puts it on the volume, and a new
// session sees it.

#include "Nano5Volume.h"

#include "../device/TestVolumes.h"

#include "library/IPodDatabase.h"
#include "library/Nano5Error.h"
#include "library/Nano5Playlist.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

using Nano5Volume::Volume;

namespace {

struct Unplugged : std::runtime_error {
    Unplugged()
        : std::runtime_error("unplugged") {}
};

std::unique_ptr<IPodDatabase> openNano(const Volume& volume) {
    return IPodDatabase::open(QString::fromStdString(volume.mount.string()), volume.sysInfo,
                              [] { return std::optional<int>(Nano5Playlist::productID); });
}

QList<quint64> ids(const std::vector<std::uint64_t>& list) {
    return QList<quint64>(list.begin(), list.end());
}

std::optional<IPodPlaylist> playlistNamed(const IPodDatabase& session, const QString& name) {
    for (const IPodPlaylist& playlist : session.loadPlaylists()) {
        if (playlist.name == name)
            return playlist;
    }
    return std::nullopt;
}

TEST(Nano5PlaylistSessionTest, CreatedPlaylistIsOnTheDeviceForTheNextSession) {
    Volume volume;
    const auto& tracks = volume.library.trackIDs;
    const QList<quint64> members{tracks[2], tracks[0]};
    {
        const auto session = openNano(volume);
        ASSERT_TRUE(session->hasNano5SourceCDB());
        int checks = 0;
        session->createNano5Playlist(QStringLiteral("Evening"), members, volume.sysInfo,
                                     [&] { ++checks; });
        EXPECT_GT(checks, 0);
    }
    const auto reopened = openNano(volume);
    const auto created = playlistNamed(*reopened, QStringLiteral("Evening"));
    ASSERT_TRUE(created);
    EXPECT_EQ(created->trackIDs, members);
    // The fixture's own playlist is still there, and only one new playlist came.
    EXPECT_TRUE(playlistNamed(*reopened, QStringLiteral("Road Trip")));
    EXPECT_EQ(reopened->loadPlaylists().size(), 2);
    EXPECT_TRUE(reopened->hasNano5SourceCDB()); // the new files are a sound nano library

    // A second playlist on the library the first one wrote, with a name already taken.
    reopened->createNano5Playlist(QStringLiteral("Evening"), {tracks[1]}, volume.sysInfo, [] {});
    const auto third = openNano(volume);
    const auto counted = playlistNamed(*third, QStringLiteral("Evening (2)"));
    ASSERT_TRUE(counted);
    EXPECT_EQ(counted->trackIDs, QList<quint64>{tracks[1]});
}

TEST(Nano5PlaylistSessionTest, AnIdenticalPlaylistWritesNothing) {
    Volume volume;
    const auto before = volume.contents();
    const auto session = openNano(volume);
    const auto existing = playlistNamed(*session, QStringLiteral("Road Trip"));
    ASSERT_TRUE(existing);
    bool checked = false;
    session->createNano5Playlist(QStringLiteral("Road Trip"), existing->trackIDs, volume.sysInfo,
                                 [&] { checked = true; });
    EXPECT_FALSE(checked);
    EXPECT_EQ(volume.contents(), before);
}

TEST(Nano5PlaylistSessionTest, RefusalsLeaveTheDeviceAsItWas) {
    Volume volume;
    const auto before = volume.contents();
    const QList<quint64> members = ids(volume.library.trackIDs);

    // The device goes away during the write: its error comes through, nothing changed.
    {
        const auto session = openNano(volume);
        EXPECT_THROW(session->createNano5Playlist(QStringLiteral("Gone"), members, volume.sysInfo,
                                                  [] { throw Unplugged(); }),
                     Unplugged);
    }
    // The session's own checkpoint (the device it was opened on) holds the write as well.
    {
        const auto session = IPodDatabase::open(
            QString::fromStdString(volume.mount.string()), volume.sysInfo,
            [] { return std::optional<int>(Nano5Playlist::productID); }, [] { throw Unplugged(); });
        EXPECT_THROW(
            session->createNano5Playlist(QStringLiteral("Gone"), members, volume.sysInfo, [] {}),
            Unplugged);
    }
    // A session that was not opened as a nano has no source library to write against.
    {
        const auto plain = IPodDatabase::open(QString::fromStdString(volume.mount.string()));
        ASSERT_FALSE(plain->hasNano5SourceCDB());
        try {
            plain->createNano5Playlist(QStringLiteral("Plain"), members, volume.sysInfo, [] {});
            ADD_FAILURE() << "created without a source library";
        } catch (const IPodDatabaseError& error) {
            EXPECT_EQ(error, IPodDatabaseError::unsupportedDatabase());
        }
    }
    // The library changed on the device after the session was opened.
    {
        const auto session = openNano(volume);
        Nano5Volume::Options smaller;
        smaller.trackCount = 2;
        const Volume other(smaller);
        Nano5Fixture::writeFile(volume.itunes() / "iTunesCDB", other.cdb());
        const auto changedContents = volume.contents();
        try {
            session->createNano5Playlist(QStringLiteral("Stale"), members, volume.sysInfo, [] {});
            ADD_FAILURE() << "wrote over a library the session did not read";
        } catch (const Nano5Error& error) {
            EXPECT_EQ(error.kind(), Nano5Error::Kind::unsupportedDatabase);
        }
        EXPECT_EQ(volume.contents(), changedContents);
        Nano5Fixture::writeFile(volume.itunes() / "iTunesCDB", volume.library.cdb);
    }
    // A vanished track: the library no longer lists it.
    {
        const auto session = openNano(volume);
        try {
            session->createNano5Playlist(QStringLiteral("Missing"), {members[0], 99999},
                                         volume.sysInfo, [] {});
            ADD_FAILURE() << "created with a track the library lacks";
        } catch (const IPodDatabaseError& error) {
            EXPECT_EQ(error, IPodDatabaseError::trackSelectionChanged());
        }
    }
    EXPECT_EQ(volume.contents(), before);
}

// A folder the nano's writer writes into that is a symbolic link: at the open the session offers
// no nano write and is read-only naming it, tracks listed; one that appears after the open stops
// the write. Nothing is written, on the volume or where the link leads.
TEST(Nano5PlaylistSessionTest, AFolderThatIsALinkIsNotWrittenThrough) {
    namespace fs = std::filesystem;
    for (const char* folder :
         {"iPod_Control/iTunes/iTunes Library.itlp", "iPod_Control/iTunes", "iPod_Control"}) {
        for (const bool atOpen : {true, false}) {
            SCOPED_TRACE(std::string(folder) + (atOpen ? " at the open" : " after the open"));
            Volume volume;
            QTemporaryDir outside;
            ASSERT_TRUE(outside.isValid());
            const fs::path moved = outside.path().toStdString() + "/moved";
            const auto link = [&] {
                fs::rename(volume.mount / folder, moved);
                fs::create_symlink(moved, volume.mount / folder);
            };
            if (atOpen)
                link();
            const auto session = openNano(volume);
            if (atOpen) {
                EXPECT_FALSE(session->hasNano5SourceCDB());
                EXPECT_EQ(session->writeBlocker(),
                          IPodDatabaseError::linkedFolder(QString::fromLatin1(folder)));
                EXPECT_EQ(session->loadTracks().size(), qsizetype(volume.library.trackIDs.size()));
            } else {
                ASSERT_TRUE(session->hasNano5SourceCDB());
                link();
            }
            const auto before = volume.contents();
            const auto outsideBefore = Nano5Volume::treeContents(moved);
            try {
                session->createNano5Playlist(QStringLiteral("Linked"), ids(volume.library.trackIDs),
                                             volume.sysInfo, [] {});
                ADD_FAILURE() << "written through the link";
            } catch (const IPodDatabaseError& error) {
                if (!atOpen) {
                    EXPECT_EQ(error, IPodDatabaseError::linkedFolder(QString::fromLatin1(folder)));
                }
            }
            EXPECT_EQ(volume.contents(), before);
            EXPECT_EQ(Nano5Volume::treeContents(moved), outsideBefore);
        }
    }
}

TEST(Nano5PlaylistSessionTest, ReadOnlyVolumeIsRefused) {
    if (const QString why = TestVolumes::whyMountsAreUnavailable(); !why.isEmpty())
        GTEST_SKIP() << qPrintable(why);
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString mountPath = work.filePath(QStringLiteral("mnt"));
    ASSERT_TRUE(QDir().mkpath(mountPath));
    const auto mount = TestVolumes::Mount::tmpfs(mountPath, QStringLiteral("size=32m"));
    ASSERT_TRUE(mount);
    {
        Volume volume(mountPath);
        const auto session = openNano(volume);
        ASSERT_TRUE(mount->remount(QStringLiteral("ro")));
        try {
            session->createNano5Playlist(QStringLiteral("Blocked"), {volume.library.trackIDs[0]},
                                         volume.sysInfo, [] {});
            ADD_FAILURE() << "wrote to a read-only volume";
        } catch (const IPodDatabaseError& error) {
            EXPECT_EQ(error, IPodDatabaseError::readOnlyVolume());
        }
        ASSERT_TRUE(mount->remount(QStringLiteral("rw")));
    }
}

} // namespace
