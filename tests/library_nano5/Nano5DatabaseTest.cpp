#include "Nano5Fixture.h"

#include "library/Nano5Database.h"
#include "library/Nano5Error.h"

#include <gtest/gtest.h>

#include <set>

namespace fs = std::filesystem;
using namespace Nano5Playlist;
using Nano5Fixture::query;
using Nano5Fixture::TempFolder;
using Nano5Fixture::withSQL;

namespace {

constexpr std::int64_t masterPid = 777;

QByteArray libraryWithMaster() {
    return withSQL(Nano5Fixture::emptyLibraryDatabase(),
                   "INSERT INTO container (pid, name, name_order) VALUES (777, 'Nano', 100);");
}

Nano5Song song(std::int64_t pid, const char* title, const char* artist, const char* albumArtist,
               const char* album) {
    Nano5Song s;
    s.itemPid = pid;
    s.title = QString::fromUtf8(title);
    s.artist = QString::fromUtf8(artist);
    s.albumArtist = QString::fromUtf8(albumArtist);
    s.album = QString::fromUtf8(album);
    s.dateModified = 800000000;
    s.totalTimeMs = 3000;
    s.containerPid = masterPid;
    s.bitRate = 128;
    s.channels = 2;
    s.sampleRate = 44100;
    s.duration = 132300;
    return s;
}

void expectKind(Nano5Error::Kind kind, const std::function<void()>& fn) {
    try {
        fn();
        ADD_FAILURE() << "no error";
    } catch (const Nano5Error& error) {
        EXPECT_EQ(error.kind(), kind);
    }
}

class Nano5DatabaseTest : public ::testing::Test {
protected:
    TempFolder folder;
    fs::path temp(const char* name) const { return folder.path() / name; }
};

} // namespace

TEST_F(Nano5DatabaseTest, FirstSongCreatesItsRowsInOrder) {
    QByteArray db = writeTrackLibrary(libraryWithMaster(), temp("Library.itdb"),
                                      song(11, "One", "Band", "", "Debut"));
    EXPECT_EQ(query(db, "SELECT kind, name, name_order, sort_name, has_songs FROM artist"),
              std::vector<QString>{"2|Band|100|Band|1"});
    EXPECT_EQ(query(db, "SELECT name, name_order FROM track_artist"),
              std::vector<QString>{"Band|100"});
    // Filed under the artist's row, since the album artist is empty.
    EXPECT_EQ(query(db,
                    "SELECT album.name, album.name_order, album.artist_order FROM album, artist "
                    "WHERE album.artist_pid = artist.pid"),
              std::vector<QString>{"Debut|100|100"});
    EXPECT_EQ(query(db, "SELECT pid, media_kind, is_song, title, title_order, physical_order, "
                        "artist_order, album_order, album_artist_order FROM item"),
              std::vector<QString>{"11|1|1|One|0|0|100|100|100"});
    EXPECT_EQ(query(db, "SELECT item_pid, container_pid, physical_order FROM item_to_container"),
              std::vector<QString>{"11|777|0"});
    EXPECT_EQ(query(db, "SELECT * FROM avformat_info"),
              std::vector<QString>{"11|301|128|2|44100|132300"});

    // A second song of the same band reuses its rows; a new band is ordered 100 further on.
    db = writeTrackLibrary(db, temp("Library.itdb"), song(12, "Two", "Band", "", "Debut"));
    db = writeTrackLibrary(db, temp("Library.itdb"), song(13, "Three", "Other", "", "Later"));
    EXPECT_EQ(query(db, "SELECT name, name_order FROM artist ORDER BY name_order"),
              (std::vector<QString>{"Band|100", "Other|200"}));
    EXPECT_EQ(query(db, "SELECT count(*) FROM album"), std::vector<QString>{"2"});
    EXPECT_EQ(query(db, "SELECT pid, title_order, physical_order FROM item ORDER BY pid"),
              (std::vector<QString>{"11|0|0", "12|1|1", "13|2|2"}));
}

TEST_F(Nano5DatabaseTest, AlbumArtistAndUnknownArtistRules) {
    QByteArray db = withSQL(libraryWithMaster(),
                            "INSERT INTO artist (pid, kind, name, name_order, is_unknown) VALUES "
                            "(9, 2, '', 40, 1), (5, 2, 'Twin', 10, 0), (3, 2, 'Twin', 20, 0);");
    // The album artist names the artist row; the track artist is the song's own.
    db = writeTrackLibrary(db, temp("Library.itdb"), song(1, "A", "Guest", "Twin", "Split"));
    EXPECT_EQ(query(db, "SELECT artist_pid, track_artist_pid = (SELECT pid FROM track_artist WHERE "
                        "name = 'Guest'), album_artist_order FROM item WHERE pid = 1"),
              std::vector<QString>{"3|1|20"}); // the lowest pid of the two "Twin" rows
    // Both empty: the unknown artist row.
    db = writeTrackLibrary(db, temp("Library.itdb"), song(2, "B", "", "", ""));
    EXPECT_EQ(query(db, "SELECT artist_pid, track_artist_pid, album_artist_order FROM item WHERE "
                        "pid = 2"),
              std::vector<QString>{"9|0|40"});
    EXPECT_EQ(query(db, "SELECT name, artist_pid FROM album WHERE artist_pid = 9"),
              std::vector<QString>{"|9"});

    // Without an unknown row: artist pid and order 0, nothing inserted.
    QByteArray bare = writeTrackLibrary(libraryWithMaster(), temp("Library.itdb"),
                                        song(4, "C", "", "", "Nameless"));
    EXPECT_EQ(query(bare, "SELECT artist_pid, track_artist_pid, album_artist_order FROM item"),
              std::vector<QString>{"0|0|0"});
    EXPECT_EQ(query(bare, "SELECT count(*) FROM artist"), std::vector<QString>{"0"});
}

TEST_F(Nano5DatabaseTest, HighDbidsMatchAsTheSameBitPattern) {
    const std::uint64_t dbid = 0xbccaa1879b59d135ull;
    QByteArray db = writeTrackLibrary(libraryWithMaster(), temp("Library.itdb"),
                                      song(sqlPid(dbid), "High", "Band", "", "X"));
    db = writePlaylistLibrary(db, temp("Library.itdb"), sqlPid(0xfedcba9876543210ull),
                              QStringLiteral("Mix"), {dbid, dbid});
    EXPECT_EQ(query(db, "SELECT item_pid, physical_order, shuffle_order FROM item_to_container "
                        "WHERE container_pid = " +
                            QByteArray::number(sqlPid(0xfedcba9876543210ull)))
                  .size(),
              2u);
    EXPECT_EQ(query(db, "SELECT name, name_order, distinguished_kind, media_kinds FROM container "
                        "WHERE name = 'Mix'"),
              std::vector<QString>{"Mix|200|0|1"});
    EXPECT_EQ(static_cast<std::uint64_t>(query(db, "SELECT pid FROM item").front().toLongLong()),
              dbid);
}

TEST_F(Nano5DatabaseTest, PlaylistRowsRefuseVanishedTracks) {
    QByteArray db = writeTrackLibrary(libraryWithMaster(), temp("Library.itdb"),
                                      song(21, "Here", "Band", "", "X"));
    expectKind(Nano5Error::Kind::trackSelectionChanged, [&] {
        writePlaylistLibrary(db, temp("Library.itdb"), 55, QStringLiteral("Gone"), {21, 22});
    });
    // An empty playlist gets its container row and no members.
    const QByteArray empty =
        writePlaylistLibrary(db, temp("Library.itdb"), 56, QStringLiteral("Empty"), {});
    EXPECT_EQ(query(empty, "SELECT count(*) FROM item_to_container WHERE container_pid = 56"),
              std::vector<QString>{"0"});
    EXPECT_EQ(query(empty, "SELECT count(*) FROM container WHERE pid = 56"),
              std::vector<QString>{"1"});
    // A song joining a playlist that is not there.
    Nano5Song orphan = song(30, "Lost", "Band", "", "X");
    orphan.containerPid = 12345;
    expectKind(Nano5Error::Kind::unsupportedDatabase,
               [&] { writeTrackLibrary(db, temp("Library.itdb"), orphan); });
}

TEST_F(Nano5DatabaseTest, DynamicAndLocationRows) {
    QByteArray dynamic = writeDynamicDatabase(Nano5Fixture::emptyDynamicDatabase(),
                                              temp("Dynamic.itdb"), 70, insertContainerUI);
    dynamic = writeDynamicDatabase(dynamic, temp("Dynamic.itdb"), 71, insertItemStats);
    EXPECT_EQ(query(dynamic, "SELECT * FROM container_ui"), std::vector<QString>{"70|7|0|1|0|0|0"});
    EXPECT_EQ(query(dynamic, "SELECT item_pid FROM item_stats"), std::vector<QString>{"71"});
    // The same playlist twice changes no row the second time.
    expectKind(Nano5Error::Kind::unsupportedDatabase,
               [&] { writeDynamicDatabase(dynamic, temp("Dynamic.itdb"), 70, insertContainerUI); });

    const QByteArray locations =
        writeLocationsDatabase(Nano5Fixture::emptyLocationsDatabase(), temp("Locations.itdb"), 71,
                               QStringLiteral("0A1B2C3D.mp3"), 800000000, 4321);
    EXPECT_EQ(query(locations, "SELECT * FROM location"),
              std::vector<QString>{"71|1|1179208773|F00/0A1B2C3D.mp3|1297101600|1|800000000|4321"});
    EXPECT_EQ(locations.size() % 1024, 0);
    expectKind(Nano5Error::Kind::unsupportedDatabase, [&] {
        writeLocationsDatabase(Nano5Fixture::emptyLocationsDatabase("iPod_Control/Other"),
                               temp("Locations.itdb"), 71, QStringLiteral("0A1B2C3D.mp3"), 1, 1);
    });
}

TEST_F(Nano5DatabaseTest, FrameChecksVersions) {
    expectKind(Nano5Error::Kind::unsupportedDatabase, [&] {
        writeTrackLibrary(Nano5Fixture::emptyLibraryDatabase(25), temp("Library.itdb"),
                          song(1, "A", "B", "", "C"));
    });
    expectKind(Nano5Error::Kind::unsupportedDatabase, [&] {
        writeDynamicDatabase(
            withSQL(Nano5Fixture::emptyDynamicDatabase(), "PRAGMA user_version = 1;"),
            temp("Dynamic.itdb"), 1, insertItemStats);
    });
    // Not a database at all.
    expectKind(Nano5Error::Kind::unsupportedDatabase, [&] {
        writeDynamicDatabase(QByteArray(4096, 'x'), temp("Dynamic.itdb"), 1, insertItemStats);
    });
}

TEST(Nano5RandomTest, PidsAreInRangeAndDistinct) {
    std::set<std::int64_t> pids;
    for (int i = 0; i < 1000; ++i) {
        const std::int64_t pid = newPid();
        EXPECT_GE(pid, 1);
        pids.insert(pid);
    }
    EXPECT_EQ(pids.size(), 1000u);
    for (int i = 0; i < 200; ++i)
        EXPECT_LT(randomValue(3), 3u);
    EXPECT_EQ(randomValue(1), 0u);
}
