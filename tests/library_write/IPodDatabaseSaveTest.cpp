// The save hands libgpod its track list laid out for libgpod's own reordering; what lands on
// the volume must be exactly what a plain itdb_write of the same edit writes.

#include "WriteTestSupport.h"
#include "support/IPodVolume.h"
#include "support/StoredCoverReads.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <functional>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using TestSupport::IPodVolume;
using WriteTests::fileContents;
using WriteTests::png;

namespace {

void copyTree(const QString& from, const QString& to) {
    const auto files = fileContents(from);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString target = to + it.key();
        ASSERT_TRUE(QDir().mkpath(QFileInfo(target).path()));
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(it.value()), it.value().size());
    }
}

// An iTunesDB with what libgpod draws afresh on every write zeroed: the 64-bit ids of the
// album records (mhia, list type 4) and artist records (mhii, list type 8), and on hashed
// models the signature at bytes 88-107 that covers them. Empty when the layout is not as
// expected.
QByteArray withoutFreshIDs(QByteArray db, bool hashed) {
    const auto u32 = [&](qsizetype at) {
        return at >= 0 && at + 4 <= db.size() ? qFromLittleEndian<quint32>(db.constData() + at)
                                              : quint32(0);
    };
    const auto tagAt = [&](qsizetype at, const char* tag) { return db.mid(at, 4) == tag; };
    if (!tagAt(0, "mhbd") || db.size() < 108)
        return {};
    if (hashed)
        std::fill(db.begin() + 88, db.begin() + 108, '\0');
    qsizetype set = u32(4);
    while (set < db.size()) {
        if (!tagAt(set, "mhsd") || u32(set + 8) == 0)
            return {};
        const quint32 type = u32(set + 12);
        if (type == 4 || type == 8) {
            const qsizetype list = set + u32(set + 4);
            const char* recordTag = type == 4 ? "mhia" : "mhii";
            qsizetype record = list + u32(list + 4);
            for (quint32 i = 0, count = u32(list + 8); i < count; ++i) {
                if (!tagAt(record, recordTag) || u32(record + 8) == 0 || record + 28 > db.size())
                    return {};
                std::fill(db.begin() + record + 20, db.begin() + record + 28, '\0');
                record += u32(record + 8);
            }
        }
        set += u32(set + 8);
    }
    return db;
}

struct Edit {
    quint64 retitled;
    quint64 deleted;
    quint64 recovered;
    QList<quint64> playlist;
};

// One session's worth of edits, the same on both copies.
void applyEdit(IPodDatabase& database, const Edit& edit, bool playlists) {
    ASSERT_TRUE(database.updateTrackMetadata(edit.retitled, {QStringLiteral("Retitled"),
                                                             QStringLiteral("Someone Else"),
                                                             QStringLiteral("Album 1"),
                                                             {},
                                                             QStringLiteral("Jazz")}));
    EXPECT_EQ(database.deleteTracks({edit.deleted}).size(), 1);
    if (!playlists)
        return;
    EXPECT_TRUE(database.registerCopiedFile(edit.recovered, png(160, 0xAA3311), {}, {}));
    EXPECT_TRUE(database.createPlaylist(QStringLiteral("Picked"), edit.playlist));
    // libgpod gives a new playlist a random id and the current time; both copies get the same.
    Itdb_Playlist* picked = database.playlistNamed(QStringLiteral("Picked"));
    picked->id = 0x5EED'0000'0000'0001ULL;
    picked->timestamp = 1'700'000'000;
    EXPECT_TRUE(database.movePlaylist(database.userPlaylists().last().second->id, true));
}

std::string described(const QList<Track>& tracks) {
    QStringList lines;
    for (const Track& t : tracks)
        lines.append(QStringLiteral("%1 %2|%3|%4|%5 cover %6 at %7")
                         .arg(t.id)
                         .arg(t.title, t.artist, t.album, t.genre)
                         .arg(t.hasCoverArtwork)
                         .arg(t.playbackPosition.value_or(0)));
    return lines.join(QLatin1Char('\n')).toStdString();
}

std::string described(const QList<IPodPlaylist>& playlists) {
    QStringList lines;
    for (const IPodPlaylist& playlist : playlists) {
        QStringList members;
        for (quint64 id : playlist.trackIDs)
            members.append(QString::number(id));
        lines.append(QStringLiteral("%1 %2: %3")
                         .arg(playlist.id)
                         .arg(playlist.name, members.join(QLatin1Char(' '))));
    }
    return lines.join(QLatin1Char('\n')).toStdString();
}

QList<quint64> trackListOrder(const IPodDatabase& database) {
    QList<quint64> ids;
    for (GList* link = database.database()->tracks; link; link = link->next)
        ids.append(static_cast<const Itdb_Track*>(link->data)->dbid);
    return ids;
}

void expectSameBytesAsAPlainWrite(const QString& model, bool artwork) {
    SCOPED_TRACE(model.toStdString());
    IPodVolume volume(model);
    QList<int> tracks;
    for (int i = 0; i < 40; ++i) {
        tracks.append(volume.addTrack({.title = QStringLiteral("Song %1").arg(i),
                                       .artist = QStringLiteral("Artist %1").arg(i % 4),
                                       .album = QStringLiteral("Album %1").arg(i % 5),
                                       .genre = QStringLiteral("Rock"),
                                       .artwork = artwork && i % 3 == 0,
                                       .artworkColor = (0x102030u * quint32(i + 1)) & 0xFFFFFFu,
                                       .inMainPlaylist = i % 9 != 4}));
    }
    volume.addPlaylist(QStringLiteral("Mixed"), {tracks[30], tracks[2], tracks[17], tracks[5]});
    volume.write();
    const auto id = [&](int i) { return volume.trackID(tracks[i]); };
    const Edit edit{id(7), id(12), id(1), {id(33), id(3), id(21), id(8)}};

    QTemporaryDir plainCopy;
    ASSERT_TRUE(plainCopy.isValid());
    copyTree(volume.mountPoint(), plainCopy.path());

    IPodDatabase arranged(volume.mountPoint());
    ASSERT_FALSE(arranged.writeBlocker());
    applyEdit(arranged, edit, artwork);
    arranged.saveLibrary();

    IPodDatabase plain(plainCopy.path());
    applyEdit(plain, edit, artwork);
    GError* error = nullptr;
    ASSERT_TRUE(itdb_write(plain.database(), &error));
    ASSERT_EQ(error, nullptr);

    // libgpod leaves its track list in the order it wrote, either way.
    EXPECT_EQ(trackListOrder(arranged), trackListOrder(plain));

    auto written = fileContents(volume.mountPoint());
    // The save recorded the deleted track's file, which its caller removes.
    EXPECT_TRUE(
        written.remove(QStringLiteral("/iPod_Control/iTunes/") + IPodDatabase::pendingFilesRecord));
    const auto expected = fileContents(plainCopy.path());
    ASSERT_EQ(written.keys(), expected.keys());
    const QString iTunesDB = QStringLiteral("/iPod_Control/iTunes/iTunesDB");
    const QString artworkDB = QStringLiteral("/iPod_Control/Artwork/ArtworkDB");
    for (const QString& name : written.keys()) {
        if (name == iTunesDB) {
            const bool hashed = model == QStringLiteral("MB029");
            const QByteArray ours = withoutFreshIDs(written.value(name), hashed);
            ASSERT_FALSE(ours.isEmpty());
            EXPECT_TRUE(ours == withoutFreshIDs(expected.value(name), hashed));
        } else if (name == artworkDB) {
            // libgpod lists the thumbnail formats in no fixed order; the images are compared
            // through libgpod below.
            EXPECT_EQ(written.value(name).size(), expected.value(name).size());
        } else {
            EXPECT_TRUE(written.value(name) == expected.value(name)) << name.toStdString();
        }
    }
    EXPECT_TRUE(written.contains(iTunesDB));
    EXPECT_EQ(written.contains(artworkDB), artwork);

    IPodDatabase reread(volume.mountPoint());
    IPodDatabase rereadPlain(plainCopy.path());
    EXPECT_EQ(described(reread.loadTracks()), described(rereadPlain.loadTracks()));
    EXPECT_EQ(described(reread.loadPlaylists()), described(rereadPlain.loadPlaylists()));
    QSet<quint64> ids;
    for (const Track& track : reread.loadTracks())
        ids.insert(track.id);
    EXPECT_EQ(TestSupport::storedImages(volume.mountPoint(), ids),
              TestSupport::storedImages(plainCopy.path(), ids));
    if (artwork) {
        EXPECT_TRUE(TestSupport::storedImages(volume.mountPoint(), {edit.recovered})
                        .contains(edit.recovered));
    }
}

} // namespace

TEST(IPodDatabaseSave, WritesTheSameBytesAsAPlainWriteOfTheSameEdit) {
    expectSameBytesAsAPlainWrite(QStringLiteral("MA477"), true);  // nano, with artwork
    expectSameBytesAsAPlainWrite(QStringLiteral("MB029"), true);  // classic, hashed database
    expectSameBytesAsAPlainWrite(QStringLiteral("MA546"), false); // shuffle, with iTunesSD
}

namespace {

const QString itunes = QStringLiteral("iPod_Control/iTunes/");
const QString artwork = QStringLiteral("iPod_Control/Artwork/");
const QString saveRecord = itunes + IPodDatabase::saveRecord;

// Gives the track a title it has not had yet, and saves.
void saveAnEdit(IPodDatabase& session, quint64 trackID) {
    static int edits = 0;
    ASSERT_TRUE(session.updateTrackMetadata(
        trackID, {QStringLiteral("Edit %1").arg(++edits), {}, {}, {}, {}}));
    session.saveLibrary();
}

} // namespace

// What a save cut short left of libgpod's temporary databases goes at the next save: a file
// that appeared while a save of ours was under way (its record still there), named as GLib
// names libgpod's temporary file ("<name>.XXXXXX", six capitals or digits, beside the database)
// and either empty or beginning as libgpod writes that database, whole or cut short, with bytes
// no other file beside it holds. Anything else of a like name may be the user's and stays: every
// copy that was there before that save began, whatever its bytes, and a copy made since of the
// database or of any file there.
TEST(IPodDatabaseSave, RemovesOnlyTheTemporaryDatabasesOfASaveCutShort) {
    IPodVolume volume(QStringLiteral("MA477"));
    volume.addTrack({.title = QStringLiteral("Song"), .artwork = true});
    volume.write();
    IPodVolume shuffle2(QStringLiteral("MA546"));
    IPodVolume shuffle4(QStringLiteral("MC584"));
    for (IPodVolume* shuffle : {&shuffle2, &shuffle4}) {
        shuffle->addTrack({.title = QStringLiteral("Song")});
        shuffle->write();
    }
    const QByteArray database = volume.readFile(itunes + QStringLiteral("iTunesDB"));
    const QByteArray artworkDatabase = volume.readFile(artwork + QStringLiteral("ArtworkDB"));
    const QByteArray shuffle2SD = shuffle2.readFile(itunes + QStringLiteral("iTunesSD"));
    const QByteArray shuffle4SD = shuffle4.readFile(itunes + QStringLiteral("iTunesSD"));
    ASSERT_TRUE(database.startsWith("mhbd") && artworkDatabase.startsWith("mhfd") &&
                shuffle4SD.startsWith("bdhs") && shuffle2SD.size() > 18);
    const QString folder = volume.mountPoint() + u'/' + itunes;
    const auto hardLink = [&](const char* from, const char* to) {
        ASSERT_EQ(::link(QFile::encodeName(folder + QLatin1String(from)).constData(),
                         QFile::encodeName(folder + QLatin1String(to)).constData()),
                  0);
    };
    // A database's bytes as no other file holds them, as a save's own write has them.
    int marks = 0;
    const auto unlike = [&](const QByteArray& bytes) {
        return bytes + '#' + QByteArray::number(++marks);
    };

    // The user's copies of the databases, there before any save.
    const struct {
        QString file;
        QByteArray bytes;
    } copies[] = {
        {itunes + QStringLiteral("iTunesDB.ORIGIN"), database},
        {itunes + QStringLiteral("iTunesDB.OLD001"), database},
        {itunes + QStringLiteral("iTunesDB.SAVED0"), database.left(64)},
        {artwork + QStringLiteral("ArtworkDB.SAVED0"), artworkDatabase},
        {itunes + QStringLiteral("iTunesSD.COPY01"), shuffle2SD},
        {itunes + QStringLiteral("iTunesSD.COPY02"), shuffle4SD},
    };
    for (const auto& copy : copies)
        volume.writeFile(copy.file, copy.bytes);
    ASSERT_NO_FATAL_FAILURE(hardLink("iTunesDB", "iTunesDB.LINKED")); // the live database

    // A save that ends with the iPod gone: its record stays.
    {
        IPodDatabase cut(volume.mountPoint(), std::nullopt, {}, [&] {
            if (volume.exists(saveRecord))
                throw std::runtime_error("unplugged");
        });
        ASSERT_NO_FATAL_FAILURE(saveAnEdit(cut, volume.trackID(0)));
    }
    ASSERT_TRUE(volume.exists(saveRecord));
    const QByteArray live = volume.readFile(itunes + QStringLiteral("iTunesDB"));
    const QByteArray liveArtwork = volume.readFile(artwork + QStringLiteral("ArtworkDB"));

    // What appeared since that save began.
    const QByteArray user = "Backup made on 2024-05-01\n";
    const QByteArray twin = unlike(database);
    const struct {
        QString file;
        QByteArray bytes;
        bool removed;
    } cases[] = {
        {itunes + QStringLiteral("iTunesDB.IXW7Z3"), unlike(database), true},
        {itunes + QStringLiteral("iTunesDB.0Q2A03"), unlike(database.left(64)), true}, // cut short
        {itunes + QStringLiteral("iTunesSD.MYJ2Z3"), unlike(shuffle2SD), true},
        {itunes + QStringLiteral("iTunesSD.RJI9Z3"), unlike(shuffle4SD), true},
        {artwork + QStringLiteral("ArtworkDB.GUGVZ3"), unlike(artworkDatabase), true},
        // Cut before its first write.
        {itunes + QStringLiteral("iTunesDB.EMPTY0"), {}, true},
        {artwork + QStringLiteral("ArtworkDB.EMPTY0"), {}, true},
        // The user's files.
        {itunes + QStringLiteral("iTunesDB.USER01"), user, false},
        {itunes + QStringLiteral("iTunesDB.USER02"), user.repeated(40), false},
        {itunes + QStringLiteral("iTunesSD.ABC123"), user.repeated(2), false},
        {artwork + QStringLiteral("ArtworkDB.XYZ123"), user, false},
        {itunes + QStringLiteral("iTunesDB.SHORT0"), database.left(7), false},
        {itunes + QStringLiteral("iTunesDB.SHORT1"), shuffle2SD.left(17).prepend("mhbd"), false},
        {itunes + QStringLiteral("iTunesSD.SHORT2"), shuffle2SD.left(17), false},
        // Copies: of the database (cp iTunesDB iTunesDB.BACKUP), of a copy, of each other.
        {itunes + QStringLiteral("iTunesDB.BACKUP"), live, false},
        {artwork + QStringLiteral("ArtworkDB.BACKUP"), liveArtwork, false},
        {itunes + QStringLiteral("iTunesDB.COPY00"), database, false},
        {itunes + QStringLiteral("iTunesDB.TWIN01"), twin, false},
        {itunes + QStringLiteral("iTunesDB.TWIN02"), twin, false},
        // Another database's bytes, or a name GLib does not make.
        {itunes + QStringLiteral("iTunesDB.ARTDB0"), unlike(artworkDatabase), false},
        {itunes + QStringLiteral("iTunesSD.ITDB00"), unlike(database), false},
        {artwork + QStringLiteral("ArtworkDB.ITDB00"), unlike(database), false},
        {itunes + QStringLiteral("iTunesDB.ixw7z3"), unlike(database), false},
        {itunes + QStringLiteral("iTunesDB.IXW7Z"), unlike(database), false},
        {itunes + QStringLiteral("iTunesDB.IXW7Z3A"), unlike(database), false},
        {itunes + QStringLiteral("iTunesDB.IXW7Z3~"), unlike(database), false},
        {itunes + QStringLiteral("iTunesDB-IXW7Z3"), unlike(database), false},
        {itunes + QStringLiteral("ArtworkDB.IXW7Z3"), unlike(artworkDatabase), false},
        {itunes + QStringLiteral("iTunesPState.AB12Z3"), unlike(database), false},
        {artwork + QStringLiteral("iTunesDB.IXW7Z3"), unlike(database), false},
        {QStringLiteral("iTunesDB.IXW7Z3"), unlike(database), false},
        {QStringLiteral("iPod_Control/Music/F00/iTunesDB.IXW7Z3"), unlike(database), false},
    };
    for (const auto& test : cases)
        volume.writeFile(test.file, test.bytes);
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("iTunesDB.DIR0Z3")));
    ASSERT_TRUE(QFile::link(folder + QStringLiteral("iTunesDB.ixw7z3"),
                            folder + QStringLiteral("iTunesDB.LNK0Z3")));
    // A database's bytes with a second name: its other name keeps them.
    volume.writeFile(itunes + QStringLiteral("iTunesDB.TWO0Z3"), unlike(database));
    ASSERT_NO_FATAL_FAILURE(hardLink("iTunesDB.TWO0Z3", "Kept"));
    // Last written just inside or just outside what a save can take: from a step of FAT's
    // clock before the record (a copy keeping its original's date, as cp -p does, is older) to
    // ten minutes after it (a copy made later is no save's).
    struct stat record {};
    ASSERT_EQ(::stat(QFile::encodeName(volume.path(saveRecord)).constData(), &record), 0);
    const struct {
        QString file;
        qint64 secondsAfterSave;
        bool removed;
    } dated[] = {
        {itunes + QStringLiteral("iTunesDB.EARLY0"), -3, false},
        {itunes + QStringLiteral("iTunesDB.EARLY1"), -2, true},
        {itunes + QStringLiteral("iTunesDB.LATER1"), 600, true},
        {itunes + QStringLiteral("iTunesDB.LATER0"), 601, false},
    };
    for (const auto& test : dated) {
        volume.writeFile(test.file, unlike(database));
        const timespec times[2] = {{record.st_mtim.tv_sec + test.secondsAfterSave, 0},
                                   {record.st_mtim.tv_sec + test.secondsAfterSave, 0}};
        ASSERT_EQ(
            ::utimensat(AT_FDCWD, QFile::encodeName(volume.path(test.file)).constData(), times, 0),
            0);
    }

    // The next save, and one after it (which finds no save of ours cut short).
    for (const char* save : {"the next save", "a later save"}) {
        SCOPED_TRACE(save);
        IPodDatabase session(volume.mountPoint());
        ASSERT_NO_FATAL_FAILURE(saveAnEdit(session, volume.trackID(0)));
        EXPECT_FALSE(volume.exists(saveRecord));
        for (const auto& test : cases) {
            EXPECT_EQ(volume.exists(test.file), !test.removed) << qPrintable(test.file);
            if (!test.removed && volume.exists(test.file)) {
                EXPECT_EQ(volume.readFile(test.file), test.bytes) << qPrintable(test.file);
            }
        }
        for (const auto& test : dated)
            EXPECT_EQ(volume.exists(test.file), !test.removed) << qPrintable(test.file);
        for (const auto& copy : copies)
            EXPECT_EQ(volume.readFile(copy.file), copy.bytes) << qPrintable(copy.file);
        EXPECT_TRUE(volume.readFile(itunes + QStringLiteral("iTunesDB.LINKED")).startsWith("mhbd"));
        for (const char* kept : {"iTunesDB.DIR0Z3", "iTunesDB.TWO0Z3", "Kept"})
            EXPECT_TRUE(volume.exists(itunes + QString::fromLatin1(kept))) << kept;
        EXPECT_TRUE(QFileInfo(folder + QStringLiteral("iTunesDB.LNK0Z3")).isSymLink());
    }
}

// A save record that is not whole and as written names nothing: the save after it removes no
// file, sets the record aside as it is (a link stays a link, a FIFO is never read) and saves.
TEST(IPodDatabaseSave, ASaveRecordThatCannotBeReadSweepsNothing) {
    const QByteArray header = "Lorvanel save 1\n";
    const struct {
        const char* what;
        std::function<void(const IPodVolume&, const QString& path)> make;
        bool setAside;
    } cases[] = {
        {"a link to a record",
         [&](const IPodVolume& v, const QString& path) {
             v.writeFile(itunes + QStringLiteral("elsewhere"), header);
             ASSERT_TRUE(QFile::link(v.path(itunes + QStringLiteral("elsewhere")), path));
         },
         true},
        {"a FIFO",
         [](const IPodVolume&, const QString& path) {
             ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
         },
         true},
        {"too large",
         [&](const IPodVolume& v, const QString&) {
             v.writeFile(saveRecord, header + QByteArray((1 << 20) + 1, '\n'));
         },
         true},
        {"another header",
         [](const IPodVolume& v, const QString&) { v.writeFile(saveRecord, "Lorvanel save 2\n"); },
         true},
        {"cut short",
         [&](const IPodVolume& v, const QString&) { v.writeFile(saveRecord, header + "iPod"); },
         false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        IPodVolume volume(QStringLiteral("MA477"));
        volume.addTrack({.title = QStringLiteral("Song")});
        volume.write();
        const QString leftover = itunes + QStringLiteral("iTunesDB.IXW7Z3");
        volume.writeFile(leftover, volume.readFile(itunes + QStringLiteral("iTunesDB")));
        ASSERT_NO_FATAL_FAILURE(test.make(volume, volume.path(saveRecord)));
        const TestSupport::TreeSnapshot before = TestSupport::snapshotTree(volume.mountPoint());

        IPodDatabase session(volume.mountPoint());
        ASSERT_NO_FATAL_FAILURE(saveAnEdit(session, volume.trackID(0)));
        EXPECT_TRUE(volume.exists(leftover));
        EXPECT_FALSE(volume.exists(saveRecord));
        if (test.setAside) {
            const TestSupport::TreeSnapshot after = TestSupport::snapshotTree(volume.mountPoint());
            ASSERT_TRUE(before.contains(saveRecord));
            EXPECT_EQ(after.value(saveRecord + QStringLiteral(".set-aside-1")),
                      before.value(saveRecord));
        }
    }
}

// A save whose own record cannot be written (here its temporary name is taken by a folder, and
// every name to set that aside by files) still saves, and takes away an earlier save's record:
// that one must not speak for this save should it be cut short too.
TEST(IPodDatabaseSave, ASaveWhoseRecordCannotBeWrittenLeavesNoEarlierRecord) {
    IPodVolume volume(QStringLiteral("MA477"));
    volume.addTrack({.title = QStringLiteral("Song")});
    volume.write();
    volume.writeFile(saveRecord, "Lorvanel save 1\n");
    const QString temporary = saveRecord + QStringLiteral(".new");
    ASSERT_TRUE(QDir().mkpath(volume.path(temporary)));
    for (int i = 1; i <= 1000; ++i)
        volume.writeFile(temporary + QStringLiteral(".set-aside-%1").arg(i), {});
    const QByteArray database = volume.readFile(itunes + QStringLiteral("iTunesDB"));

    // Cut short right after libgpod's write.
    IPodDatabase cut(volume.mountPoint(), std::nullopt, {}, [&] {
        if (volume.readFile(itunes + QStringLiteral("iTunesDB")) != database)
            throw std::runtime_error("unplugged");
    });
    ASSERT_NO_FATAL_FAILURE(saveAnEdit(cut, volume.trackID(0)));
    EXPECT_NE(volume.readFile(itunes + QStringLiteral("iTunesDB")), database);
    EXPECT_FALSE(volume.exists(saveRecord));
    EXPECT_TRUE(QFileInfo(volume.path(temporary)).isDir());
}
