#include "Nano5Volume.h"

#include "support/AudioFixtures.h"

#include "library/Nano5Commit.h"
#include "library/Nano5Container.h"
#include "library/Nano5Database.h"
#include "library/Nano5Error.h"
#include "library/Nano5Locations.h"
#include "library/Nano5Writer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>

#include <cstring>
#include <functional>
#include <set>

#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;
using namespace Nano5Playlist;
using Nano5Fixture::query;
using Nano5Fixture::readFile;
using Nano5Fixture::writeFile;
using Nano5Volume::Volume;

namespace {

// Fails the Nth file operation; in crash mode every later one too, as if the power had gone.
class FailingOps : public Nano5FileOps {
public:
    FailingOps(int failAt, bool crash)
        : failAt(failAt)
        , crash(crash) {}
    int calls = 0;

protected:
    void willPerform(Operation, const fs::path&) override {
        ++calls;
        if (calls == failAt || (crash && failAt > 0 && calls > failAt))
            throw std::system_error(EIO, std::generic_category(), "injected");
    }

private:
    int failAt;
    bool crash;
};

struct Unplugged : std::runtime_error {
    Unplugged()
        : std::runtime_error("unplugged") {}
};

// A checkpoint that counts its calls and fails the Nth.
struct CountingCheckpoint {
    int failAt = 0;
    std::shared_ptr<int> calls = std::make_shared<int>(0);
    Checkpoint closure() const {
        return [failAt = failAt, calls = calls] {
            if (++*calls == failAt)
                throw Unplugged();
        };
    }
};

Nano5Error::Kind kindOf(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const Nano5Error& error) {
        return error.kind();
    }
    ADD_FAILURE() << "no Nano5Error thrown";
    return Nano5Error::Kind::invalidTrack;
}

// One real MP3 per test process (ctest runs processes side by side), removed at exit.
const fs::path& song() {
    struct Song {
        fs::path path;
        Song() {
            const QString file =
                QDir::tempPath() + QStringLiteral("/nano5-writer-song-%1.mp3").arg(::getpid());
            TestSupport::ToneSpec spec;
            spec.seconds = 1.0;
            if (!TestSupport::makeTone(file, spec))
                throw std::runtime_error("ffmpeg could not make the song");
            path = file.toStdString();
        }
        ~Song() {
            std::error_code ignored;
            fs::remove(path, ignored);
        }
    };
    static const Song song;
    return song.path;
}

// A playlist in a libgpod session on the volume, as the database session builds one.
struct Session {
    GLibHandles::DatabasePtr db;
    Itdb_Playlist* playlist = nullptr;
    std::vector<std::uint64_t> members;

    Session(const Volume& volume, const char* name, const std::vector<size_t>& picks) {
        db = volume.parse();
        if (!db)
            throw std::runtime_error("libgpod cannot parse the volume");
        playlist = itdb_playlist_new(name, FALSE);
        itdb_playlist_add(db.get(), playlist, -1);
        for (size_t pick : picks) {
            Itdb_Track* track = static_cast<Itdb_Track*>(g_list_nth_data(db->tracks, guint(pick)));
            itdb_playlist_add_track(playlist, track, -1);
            members.push_back(track->dbid);
        }
    }
};

void createIn(
    const Volume& volume, Session& session, const QString& name,
    const Checkpoint& checkpoint = [] {}, Nano5FileOps& ops = Nano5FileOps::system()) {
    createPlaylist(session.playlist, name, session.members, volume.library.cdb, volume.sysInfo,
                   volume.mount, checkpoint, ops);
}

fs::path importInto(
    const Volume& volume, const Checkpoint& checkpoint = [] {},
    Nano5FileOps& ops = Nano5FileOps::system(),
    const QString& title = QStringLiteral("Night Drive")) {
    return importTrack(song(), title, QStringLiteral("The Testers"), QStringLiteral("Roads"),
                       QString(), 44100, 44100, 2, volume.sysInfo, volume.mount, checkpoint, ops);
}

// The volume's files carry valid signatures for the device, of the kinds its iTunesCDB had.
void expectSignedForTheDevice(const Volume& volume,
                              Nano5Volume::Signatures kinds = Nano5Volume::Signatures::hash58) {
    using namespace Nano5Signing;
    const QByteArray cdb = volume.cdb();
    if (Nano5Volume::hasHash72(kinds))
        EXPECT_EQ(cdbParameters(cdb), Nano5Volume::testDevice());
    else
        EXPECT_EQ(cdb.sliced(hash72Offset, hash72Length), QByteArray(hash72Length, '\0'));
    if (Nano5Volume::hasHash58(kinds))
        EXPECT_EQ(cdb.sliced(hash58Offset, hash58Length), hash58(Nano5Volume::guid(), cdb));
    else
        EXPECT_EQ(cdb.sliced(hash58Offset, hash58Length), QByteArray(hash58Length, '\0'));
    EXPECT_EQ(checksumParameters(volume.database("Locations.itdb.cbk")), Nano5Volume::testDevice());
}

// The entries that differ between two views of a volume, for readable failures.
std::vector<std::string> changes(const std::map<std::string, QByteArray>& before,
                                 const std::map<std::string, QByteArray>& after) {
    std::vector<std::string> out;
    for (const auto& [name, bytes] : before) {
        const auto it = after.find(name);
        if (it == after.end())
            out.push_back("removed " + name);
        else if (it->second != bytes)
            out.push_back("changed " + name);
    }
    for (const auto& [name, bytes] : after) {
        if (!before.count(name))
            out.push_back("added " + name);
    }
    return out;
}

} // namespace

TEST(Nano5WriterTest, NewPlaylistReadsBackFromLibgpodAndSQLite) {
    for (bool bothLists : {false, true}) {
        SCOPED_TRACE(bothLists ? "playlists in types 2 and 3" : "playlists in type 3 only");
        Nano5Volume::Options options;
        options.keepPlaylistDataset = bothLists;
        Volume volume(options);
        Session session(volume, "Mix \xE2\x80\x94 1", {2, 0, 2});
        const std::uint64_t pid = session.playlist->id;
        createIn(volume, session, QStringLiteral("Mix — 1"));

        const auto db = volume.parse();
        ASSERT_TRUE(db);
        Itdb_Playlist* found = itdb_playlist_by_id(db.get(), pid);
        ASSERT_TRUE(found);
        EXPECT_STREQ(found->name, "Mix \xE2\x80\x94 1");
        std::vector<std::uint64_t> members;
        for (GList* item = found->members; item; item = item->next)
            members.push_back(static_cast<Itdb_Track*>(item->data)->dbid);
        EXPECT_EQ(members, session.members);
        // The user playlist that was there is still whole.
        Itdb_Playlist* road = itdb_playlist_by_id(db.get(), volume.library.playlistID);
        ASSERT_TRUE(road);
        EXPECT_EQ(g_list_length(road->members), 3u);
        expectSignedForTheDevice(volume);

        const QString spid = QString::number(sqlPid(pid));
        const QByteArray library = volume.database("Library.itdb");
        EXPECT_EQ(query(library, ("SELECT name, name_order, distinguished_kind FROM container "
                                  "WHERE pid = " +
                                  spid.toStdString())
                                     .c_str()),
                  std::vector<QString>{QStringLiteral("Mix — 1|300|0")});
        const auto rows = query(library, ("SELECT item_pid, physical_order FROM item_to_container "
                                          "WHERE container_pid = " +
                                          spid.toStdString() + " ORDER BY physical_order")
                                             .c_str());
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[0], QString::number(sqlPid(session.members[0])) + QStringLiteral("|0"));
        EXPECT_EQ(rows[2], QString::number(sqlPid(session.members[2])) + QStringLiteral("|2"));
        EXPECT_EQ(query(volume.database("Dynamic.itdb"),
                        "SELECT play_order, album_field_order FROM container_ui"),
                  std::vector<QString>{QStringLiteral("7|1")});
        EXPECT_FALSE(fs::exists(playlistTransactionFolder(volume.mount)));
    }
}

TEST(Nano5WriterTest, EmptyPlaylistWritesOnlyItsContainer) {
    Volume volume;
    Session session(volume, "Empty", {});
    createIn(volume, session, QStringLiteral("Empty"));
    const auto db = volume.parse();
    ASSERT_TRUE(db);
    Itdb_Playlist* found = itdb_playlist_by_id(db.get(), session.playlist->id);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->members, nullptr);
    EXPECT_EQ(query(volume.database("Library.itdb"),
                    "SELECT COUNT(*) FROM item_to_container WHERE container_pid NOT IN "
                    "(SELECT pid FROM container WHERE name IN ('Nano', 'Road Trip'))"),
              std::vector<QString>{QStringLiteral("0")});
}

TEST(Nano5WriterTest, ImportedSongReadsBackEverywhere) {
    Volume volume;
    const fs::path first = importInto(volume);
    const fs::path second = importInto(
        volume, [] {}, Nano5FileOps::system(), QStringLiteral("Second"));

    for (const auto& path : {first, second}) {
        EXPECT_EQ(path.parent_path(), fs::canonical(volume.mount / "iPod_Control/Music/F00"));
        EXPECT_TRUE(QString::fromStdString(path.filename().string())
                        .contains(QRegularExpression(QStringLiteral("^[0-9A-F]{8}\\.mp3$"))));
        EXPECT_EQ(readFile(path), readFile(song()));
    }
    EXPECT_NE(first, second);

    const auto db = volume.parse();
    ASSERT_TRUE(db);
    ASSERT_EQ(g_list_length(db->tracks), 5u);
    Itdb_Playlist* master = itdb_playlist_mpl(db.get());
    ASSERT_TRUE(master);
    ASSERT_EQ(g_list_length(master->members), 5u);
    auto* added = static_cast<Itdb_Track*>(g_list_nth_data(master->members, 3));
    auto* last = static_cast<Itdb_Track*>(g_list_nth_data(master->members, 4));
    EXPECT_STREQ(added->title, "Night Drive");
    EXPECT_STREQ(added->artist, "The Testers");
    EXPECT_STREQ(added->album, "Roads");
    EXPECT_STREQ(last->title, "Second");
    EXPECT_EQ(added->id, 1001u + 3);
    EXPECT_EQ(last->id, 1001u + 4);
    EXPECT_EQ(added->tracklen, 1000);
    EXPECT_EQ(added->samplerate, 44100);
    EXPECT_EQ(added->size, fs::file_size(song()));
    EXPECT_EQ(QString::fromUtf8(added->ipod_path),
              QStringLiteral(":iPod_Control:Music:F00:") +
                  QString::fromStdString(first.filename().string()));
    EXPECT_NE(added->dbid, last->dbid);

    const QString pid = QString::number(sqlPid(added->dbid));
    const QByteArray library = volume.database("Library.itdb");
    EXPECT_EQ(query(library, ("SELECT title, artist, album, album_artist, total_time_ms, "
                              "title_order, physical_order FROM item WHERE pid = " +
                              pid.toStdString())
                                 .c_str()),
              std::vector<QString>{QStringLiteral("Night Drive|The Testers|Roads||1000|3|3")});
    EXPECT_EQ(query(library, ("SELECT audio_format, channels, sample_rate, duration FROM "
                              "avformat_info WHERE item_pid = " +
                              pid.toStdString())
                                 .c_str()),
              std::vector<QString>{QStringLiteral("301|2|44100|44100")});
    EXPECT_EQ(query(library, ("SELECT container_pid FROM item_to_container WHERE item_pid = " +
                              pid.toStdString())
                                 .c_str()),
              std::vector<QString>{QString::number(sqlPid(volume.library.masterID))});
    // One artist and album row for both songs (empty album artist: filed under the artist).
    EXPECT_EQ(query(library, "SELECT name, name_order FROM artist"),
              std::vector<QString>{QStringLiteral("The Testers|100")});
    EXPECT_EQ(query(library, "SELECT COUNT(*) FROM album"),
              std::vector<QString>{QStringLiteral("1")});
    EXPECT_EQ(query(volume.database("Dynamic.itdb"), "SELECT COUNT(*) FROM item_stats"),
              std::vector<QString>{QStringLiteral("2")});
    const QByteArray locations = volume.database("Locations.itdb");
    EXPECT_EQ(query(locations, ("SELECT location, file_size FROM location WHERE item_pid = " +
                                pid.toStdString())
                                   .c_str()),
              std::vector<QString>{QStringLiteral("F00/") +
                                   QString::fromStdString(first.filename().string()) + u'|' +
                                   QString::number(fs::file_size(song()))});
    const QByteArray checksum = volume.database("Locations.itdb.cbk");
    EXPECT_EQ(checksum.sliced(46), locationsChecksum(locations).sliced(46));
    expectSignedForTheDevice(volume);
    EXPECT_FALSE(fs::exists(importTransactionFolder(volume.mount)));
}

TEST(Nano5WriterTest, UnplugAtEveryCheckpointLeavesTheDeviceAsItWas) {
    for (bool import : {false, true}) {
        SCOPED_TRACE(import ? "import" : "playlist");
        int total = 0;
        {
            Volume volume(Nano5Fixture::memoryTempBase());
            CountingCheckpoint counter;
            if (import) {
                importInto(volume, counter.closure());
            } else {
                Session session(volume, "Mix", {1});
                createIn(volume, session, QStringLiteral("Mix"), counter.closure());
            }
            total = *counter.calls;
        }
        ASSERT_GT(total, 5);
        for (int n = 1; n <= total; ++n) {
            Volume volume(Nano5Fixture::memoryTempBase());
            const auto before = volume.contents();
            CountingCheckpoint counter{n};
            if (import) {
                EXPECT_THROW(importInto(volume, counter.closure()), Unplugged) << "at " << n;
            } else {
                Session session(volume, "Mix", {1});
                EXPECT_THROW(createIn(volume, session, QStringLiteral("Mix"), counter.closure()),
                             Unplugged)
                    << "at " << n;
            }
            EXPECT_EQ(changes(before, volume.contents()), std::vector<std::string>{})
                << "unplugged at checkpoint " << n;
        }
    }
}

TEST(Nano5WriterTest, FailedFileOperationAtEveryStepLeavesTheDeviceAsItWas) {
    for (bool import : {false, true}) {
        SCOPED_TRACE(import ? "import" : "playlist");
        int total = 0;
        {
            Volume volume(Nano5Fixture::memoryTempBase());
            FailingOps counter(0, false);
            if (import) {
                importInto(
                    volume, [] {}, counter);
            } else {
                Session session(volume, "Mix", {1});
                createIn(
                    volume, session, QStringLiteral("Mix"), [] {}, counter);
            }
            total = counter.calls;
        }
        ASSERT_GT(total, 10);
        int succeeded = 0;
        for (int n = 1; n <= total; ++n) {
            Volume volume(Nano5Fixture::memoryTempBase());
            const auto before = volume.contents();
            FailingOps ops(n, false);
            bool threw = false;
            try {
                if (import) {
                    importInto(
                        volume, [] {}, ops);
                } else {
                    Session session(volume, "Mix", {1});
                    createIn(
                        volume, session, QStringLiteral("Mix"), [] {}, ops);
                }
            } catch (const std::system_error&) {
                threw = true;
            }
            if (threw) {
                EXPECT_EQ(succeeded, 0) << "a failure after a successful cleanup step " << n;
                EXPECT_EQ(changes(before, volume.contents()), std::vector<std::string>{})
                    << "failed file operation " << n;
                continue;
            }
            // Only the removal of a finished transaction's folder may fail without an error;
            // the next recovery removes what is left.
            ++succeeded;
            recoverTransactions(volume.mount, [] {});
            EXPECT_FALSE(fs::exists(import ? importTransactionFolder(volume.mount)
                                           : playlistTransactionFolder(volume.mount)));
            const auto db = volume.parse();
            ASSERT_TRUE(db);
            EXPECT_EQ(g_list_length(import ? db->tracks : db->playlists), (import ? 4u : 3u))
                << "failed file operation " << n;
        }
        EXPECT_GT(succeeded, 0);
    }
}

TEST(Nano5WriterTest, ImportAfterACrashSettlesTheEarlierOneFirst) {
    // A crash part-way through the commit, then the next import on the same device.
    int total = 0;
    {
        Volume volume(Nano5Fixture::memoryTempBase());
        FailingOps counter(0, false);
        importInto(
            volume, [] {}, counter);
        total = counter.calls;
    }
    std::set<bool> outcomes;
    for (int n = 1; n <= total; n += 3) {
        Volume volume(Nano5Fixture::memoryTempBase());
        const fs::path cdb = volume.mount / "iPod_Control/iTunes/iTunesCDB";
        const QByteArray cdbBefore = readFile(cdb);
        FailingOps crash(n, true);
        try {
            importInto(
                volume, [] {}, crash);
        } catch (const std::exception&) {
            // The commit or its own rollback was cut off; the next import settles it.
        }
        // The iTunesCDB is the last file the import replaces: once it is new, so is the rest.
        const bool complete = readFile(cdb) != cdbBefore;
        outcomes.insert(complete);
        const fs::path next = importInto(
            volume, [] {}, Nano5FileOps::system(), QStringLiteral("After"));
        const auto db = volume.parse();
        ASSERT_TRUE(db) << "crash at " << n;
        // The crashed song is fully there when its commit was complete, else fully gone; the new
        // one is last.
        const guint count = g_list_length(db->tracks);
        EXPECT_EQ(count, complete ? 5u : 4u) << "crash at " << n;
        auto* last =
            static_cast<Itdb_Track*>(g_list_last(itdb_playlist_mpl(db.get())->members)->data);
        EXPECT_STREQ(last->title, "After");
        EXPECT_EQ(query(volume.database("Library.itdb"), "SELECT COUNT(*) FROM item"),
                  std::vector<QString>{QString::number(count)});
        std::set<std::string> songs;
        for (const auto& entry : fs::directory_iterator(volume.mount / "iPod_Control/Music/F00"))
            songs.insert(entry.path().filename().string());
        EXPECT_EQ(songs.size(), count - 3) << "crash at " << n;
        EXPECT_TRUE(songs.count(next.filename().string()));
    }
    EXPECT_EQ(outcomes, (std::set<bool>{false, true}));
}

TEST(Nano5WriterTest, RefusesAChangedOrDamagedLibraryAndTouchesNothing) {
    {
        // The library changed since the session was opened.
        Volume volume;
        Session session(volume, "Mix", {0});
        importInto(volume);
        const auto before = volume.contents();
        EXPECT_EQ(kindOf([&] { createIn(volume, session, QStringLiteral("Mix")); }),
                  Nano5Error::Kind::unsupportedDatabase);
        EXPECT_EQ(changes(before, volume.contents()), std::vector<std::string>{});
    }
    {
        // A chosen track has gone from Library.itdb.
        Volume volume;
        Session session(volume, "Mix", {0, 1});
        writeFile(volume.itlp() / "Library.itdb",
                  Nano5Fixture::withSQL(
                      volume.database("Library.itdb"),
                      ("DELETE FROM item WHERE pid = " + std::to_string(sqlPid(session.members[1])))
                          .c_str()));
        const auto before = volume.contents();
        EXPECT_EQ(kindOf([&] { createIn(volume, session, QStringLiteral("Mix")); }),
                  Nano5Error::Kind::trackSelectionChanged);
        EXPECT_EQ(changes(before, volume.contents()), std::vector<std::string>{});
    }
    {
        // A library without any MP3 record has no template for the new one.
        Nano5Volume::Options options;
        options.fileType = 0x4D344120; // "M4A "
        Volume volume(options);
        const auto before = volume.contents();
        EXPECT_EQ(kindOf([&] { importInto(volume); }), Nano5Error::Kind::unsupportedDatabase);
        EXPECT_EQ(changes(before, volume.contents()), std::vector<std::string>{});
    }
    {
        // A checksum file that does not describe Locations.itdb, a truncated iTunesCDB, a
        // base location elsewhere, a Library.itdb of another version.
        const std::vector<std::function<void(Volume&)>> damages = {
            [](Volume& v) {
                QByteArray cbk = v.database("Locations.itdb.cbk");
                cbk[70] = static_cast<char>(cbk[70] ^ 0x40);
                writeFile(v.itlp() / "Locations.itdb.cbk", cbk);
            },
            [](Volume& v) {
                QByteArray cdb = v.cdb();
                cdb.chop(10);
                Nano5Playlist::writeUInt32LE(cdb, 8, static_cast<std::uint32_t>(cdb.size()));
                writeFile(v.itunes() / "iTunesCDB", cdb);
            },
            [](Volume& v) {
                writeFile(v.itlp() / "Locations.itdb",
                          Nano5Fixture::withSQL(v.database("Locations.itdb"),
                                                "UPDATE base_location SET path = 'Elsewhere'"));
                writeFile(v.itlp() / "Locations.itdb.cbk",
                          Nano5Volume::deviceSignedChecksum(
                              locationsChecksum(v.database("Locations.itdb"))));
            },
            [](Volume& v) {
                writeFile(
                    v.itlp() / "Library.itdb",
                    Nano5Fixture::withSQL(v.database("Library.itdb"), "PRAGMA user_version = 25"));
            },
            [](Volume& v) { writeFile(v.itlp() / "Library.itdb-wal", {}); },
        };
        for (size_t i = 0; i < damages.size(); ++i) {
            Volume volume;
            damages[i](volume);
            const auto before = volume.contents();
            EXPECT_EQ(kindOf([&] { importInto(volume); }), Nano5Error::Kind::unsupportedDatabase)
                << "damage " << i;
            EXPECT_EQ(changes(before, volume.contents()), std::vector<std::string>{})
                << "damage " << i;
        }
    }
}

TEST(Nano5WriterTest, RefusesBadSongsAndUnsafeFolders) {
    Volume volume;
    const auto before = volume.contents();
    auto importWith = [&](const fs::path& source, std::int64_t frames, std::int64_t rate) {
        return kindOf([&] {
            importTrack(source, QStringLiteral("t"), {}, {}, {}, frames, rate, 2, volume.sysInfo,
                        volume.mount, [] {});
        });
    };
    const fs::path empty = volume.mount.parent_path() / "empty.mp3";
    writeFile(empty, {});
    EXPECT_EQ(importWith(empty, 44100, 44100), Nano5Error::Kind::invalidTrack);
    EXPECT_EQ(importWith(song(), 0, 44100), Nano5Error::Kind::invalidTrack);
    EXPECT_EQ(importWith(song(), 10, 44100), Nano5Error::Kind::invalidTrack); // under 1 ms
    EXPECT_EQ(importWith(song(), 44100, 0), Nano5Error::Kind::invalidTrack);
    EXPECT_EQ(importWith(song(), 44100, 70000), Nano5Error::Kind::invalidTrack);
    EXPECT_EQ(importWith(song(), std::int64_t(1) << 62, 44100), Nano5Error::Kind::invalidTrack);
    EXPECT_EQ(changes(before, volume.contents()), std::vector<std::string>{});

    // F00 as a link to a folder elsewhere, then Music as one.
    const fs::path f00 = volume.mount / "iPod_Control/Music/F00";
    const fs::path elsewhere = volume.mount.parent_path() / "elsewhere";
    fs::create_directories(elsewhere);
    fs::remove(f00);
    fs::create_directory_symlink(elsewhere, f00);
    EXPECT_EQ(kindOf([&] { importInto(volume); }), Nano5Error::Kind::invalidTrackLocation);
    fs::remove(f00);
    writeFile(f00, "not a folder");
    EXPECT_EQ(kindOf([&] { importInto(volume); }), Nano5Error::Kind::invalidTrackLocation);
    EXPECT_TRUE(fs::is_empty(elsewhere));
}

TEST(Nano5WriterTest, GateWantsTheNanoWithTheSQLiteLibrary) {
    EXPECT_NO_THROW(checkSysInfoExtended(Nano5Fixture::sysInfoExtended()));
    auto variant = [](const char* from, const char* to) {
        return Nano5Fixture::sysInfoExtended().replace(from, to);
    };
    for (const QByteArray& bad :
         {variant("<integer>3</integer>", "<string>3</string>"),
          variant("<key>SQLiteDB</key><true/>", "<key>SQLiteDB</key><false/>"),
          variant("<integer>16</integer>", "<integer>15</integer>"),
          variant("<key>FamilyID</key>", "<key>Family</key>"),
          QByteArray("<plist><array/></plist>"), QByteArray("not a property list")}) {
        EXPECT_EQ(kindOf([&] { checkSysInfoExtended(bad); }), Nano5Error::Kind::unsupportedDatabase)
            << bad.constData();
    }
    // A refused gate stops the writers before the device changes.
    Volume volume;
    const auto before = volume.contents();
    EXPECT_EQ(kindOf([&] {
                  importTrack(song(), {}, {}, {}, {}, 44100, 44100, 2,
                              variant("<integer>16</integer>", "<integer>15</integer>"),
                              volume.mount, [] {});
              }),
              Nano5Error::Kind::unsupportedDatabase);
    EXPECT_EQ(changes(before, volume.contents()), std::vector<std::string>{});
}

TEST(Nano5WriterTest, EachWriteCarriesTheSignaturesTheDeviceChecks) {
    using Nano5Volume::Signatures;
    // hash58 alone is the default volume, tested with every write above.
    for (Signatures kinds : {Signatures::both, Signatures::hash72, Signatures::none}) {
        SCOPED_TRACE(static_cast<int>(kinds));
        Nano5Volume::Options options;
        options.signatures = kinds;
        Volume volume(options);
        importInto(volume);
        expectSignedForTheDevice(volume, kinds);
        Session session(volume, "Mix", {0, 3});
        createPlaylist(session.playlist, QStringLiteral("Mix"), session.members, volume.cdb(),
                       volume.sysInfo, volume.mount, [] {});
        expectSignedForTheDevice(volume, kinds);
        const auto db = volume.parse();
        ASSERT_TRUE(db);
        EXPECT_EQ(g_list_length(db->tracks), 4u);
        EXPECT_TRUE(itdb_playlist_by_id(db.get(), session.playlist->id));
    }
}

TEST(Nano5WriterTest, ChecksumFileSignedFromTheITunesCDBWhenItsOwnHeadIsBroken) {
    Nano5Volume::Options options;
    options.signatures = Nano5Volume::Signatures::both;
    Volume volume(options);
    QByteArray cbk = volume.database("Locations.itdb.cbk");
    cbk[1] = 7; // not a signature of the scheme any more
    writeFile(volume.itlp() / "Locations.itdb.cbk", cbk);
    importInto(volume);
    expectSignedForTheDevice(volume, options.signatures);
}

TEST(Nano5WriterTest, RefusesWhenNoFileVouchesForTheDevice) {
    // Nothing we can verify: a checksum file whose head does not decrypt and an iTunesCDB with
    // hash58 alone; then signatures we cannot reproduce in the iTunesCDB itself.
    const std::vector<std::pair<const char*, std::function<void(Volume&)>>> cases = {
        {"no hash72 anywhere",
         [](Volume& v) {
             QByteArray cbk = v.database("Locations.itdb.cbk");
             cbk[20] = static_cast<char>(cbk[20] ^ 0x10);
             writeFile(v.itlp() / "Locations.itdb.cbk", cbk);
         }},
        {"hash58 of another device",
         [](Volume& v) {
             QByteArray cdb = v.cdb();
             cdb[Nano5Signing::hash58Offset] =
                 static_cast<char>(cdb[Nano5Signing::hash58Offset] ^ 1);
             writeFile(v.itunes() / "iTunesCDB", cdb);
             v.library.cdb = cdb;
         }},
        {"damaged hash72",
         [](Volume& v) {
             QByteArray cdb = Nano5Volume::deviceSigned(v.cdb(), Nano5Volume::Signatures::hash72);
             cdb[Nano5Signing::hash72Offset + 45] =
                 static_cast<char>(cdb[Nano5Signing::hash72Offset + 45] ^ 0x55);
             writeFile(v.itunes() / "iTunesCDB", cdb);
             v.library.cdb = cdb;
         }},
    };
    for (const auto& [what, damage] : cases) {
        SCOPED_TRACE(what);
        Volume volume;
        damage(volume);
        const auto before = volume.contents();
        EXPECT_EQ(kindOf([&] { importInto(volume); }), Nano5Error::Kind::unsupportedDatabase);
        Session session(volume, "Mix", {0});
        EXPECT_EQ(kindOf([&] { createIn(volume, session, QStringLiteral("Mix")); }),
                  Nano5Error::Kind::unsupportedDatabase);
        EXPECT_EQ(changes(before, volume.contents()), std::vector<std::string>{});
    }
}

TEST(Nano5WriterTest, ALibraryInLibgpodsOwnLayoutIsRefusedUntouched) {
    // libgpod writes its own header version, 584-byte track records and both playlist datasets,
    // and SQLite files of another schema; the writers add records only to the device's layout.
    const Nano5Volume::LibgpodNanoVolume volume(Nano5Volume::fireWireGUID,
                                                Nano5Volume::testDevice());
    const auto before = Nano5Volume::treeContents(volume.mount);
    EXPECT_EQ(kindOf([&] {
                  importTrack(song(), QStringLiteral("t"), {}, {}, {}, 44100, 44100, 2,
                              volume.sysInfo, volume.mount, [] {});
              }),
              Nano5Error::Kind::unsupportedDatabase);
    GLibHandles::ErrorSlot error;
    const GLibHandles::DatabasePtr db(itdb_parse(volume.mount.c_str(), error.out()));
    ASSERT_TRUE(db);
    Itdb_Playlist* playlist = itdb_playlist_new("Mix", FALSE);
    itdb_playlist_add(db.get(), playlist, -1);
    EXPECT_EQ(kindOf([&] {
                  createPlaylist(playlist, QStringLiteral("Mix"), {}, volume.cdb(), volume.sysInfo,
                                 volume.mount, [] {});
              }),
              Nano5Error::Kind::unsupportedDatabase);
    EXPECT_EQ(changes(before, Nano5Volume::treeContents(volume.mount)), std::vector<std::string>{});
}

TEST(Nano5WriterTest, SigningFolderIsGoneWhateverTheOutcome) {
    song(); // made in the usual temporary folder
    Volume volume;
    Nano5Fixture::TempFolder privateTemp;
    const QByteArray saved = qgetenv("TMPDIR");
    qputenv("TMPDIR", QByteArray::fromStdString(privateTemp.path().string()));
    ASSERT_EQ(QDir::tempPath().toStdString(), privateTemp.path().string());

    importInto(volume);
    EXPECT_TRUE(fs::is_empty(privateTemp.path())) << "after an import";
    CountingCheckpoint late{9};
    EXPECT_THROW(importInto(volume, late.closure()), Unplugged);
    EXPECT_TRUE(fs::is_empty(privateTemp.path())) << "after an unplugged import";
    Session session(volume, "Mix", {0});
    // The iTunesCDB's hash58 is not for the device this description names.
    const QByteArray otherDevice =
        Nano5Fixture::sysInfoExtended(QStringLiteral("000A27001A2B3C4E5E6F708192A3B4C5D6E7F801"));
    EXPECT_THROW(createPlaylist(session.playlist, QStringLiteral("Mix"), session.members,
                                volume.cdb(), otherDevice, volume.mount, [] {}),
                 Nano5Error);
    EXPECT_TRUE(fs::is_empty(privateTemp.path())) << "after a refused signature";

    if (saved.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", saved);
}
