// Opening damaged databases: every damaged copy of a libgpod-written database is either refused
// with a "Read library" error or read cleanly, nothing on the volume changes, and a length that
// leaves its record never reaches libgpod.

#include "library/DatabasePreflight.h"
#include "library/IPodDatabase.h"
#include "library/Nano5Container.h"
#include "library/StoredCovers.h"
#include "support/DamagedDatabases.h"
#include "support/IPodVolume.h"
#include "support/LibgpodLeaks.h"

#include <gtest/gtest.h>

#include <QDir>

#include <gpod/itdb.h>

#include <algorithm>

using TestSupport::IPodVolume;

namespace {

const QString iTunesDB = QStringLiteral("iPod_Control/iTunes/iTunesDB");
const QString iTunesCDB = QStringLiteral("iPod_Control/iTunes/iTunesCDB");
const QString artworkDB = QStringLiteral("iPod_Control/Artwork/ArtworkDB");
const QString damagedDB = QStringLiteral("Read library failed: The iTunesDB file is damaged.");
const QString damagedCDB = QStringLiteral("Read library failed: The iTunesCDB file is damaged.");

IPodDatabase::ProductIDProvider product(int id) {
    return [id] { return std::optional<int>(id); };
}

// A nano with tracks, artwork and a playlist: every kind of record libgpod writes.
std::unique_ptr<IPodVolume> fullVolume() {
    auto volume = std::make_unique<IPodVolume>(QStringLiteral("MA477"));
    QList<int> songs;
    for (int i = 0; i < 3; ++i)
        songs.append(volume->addTrack({.title = QStringLiteral("Song %1").arg(i),
                                       .artist = QStringLiteral("Artist"),
                                       .album = QStringLiteral("Album"),
                                       .albumArtist = QStringLiteral("Artist"),
                                       .genre = QStringLiteral("Pop"),
                                       .artwork = i == 0}));
    volume->addPlaylist(QStringLiteral("Favourites"), {songs[0], songs[2]});
    volume->write();
    return volume;
}

// The English text of the opening's failure, or none when it opened (and then read cleanly).
std::optional<QString> openingFailure(const QString& mountPoint,
                                      const IPodDatabase::ProductIDProvider& pid = {}) {
    const TestSupport::IgnoredLibgpodLeaks ignored;
    try {
        IPodDatabase database(mountPoint, std::nullopt, pid);
        database.loadTracks();
        database.loadPlaylists();
        database.model();
        return std::nullopt;
    } catch (const IPodDatabaseError& error) {
        return error.description(AppLanguage::english);
    }
}

// The tracks libgpod itself reads from the volume.
int libgpodTrackCount(const QString& mountPoint) {
    const TestSupport::IgnoredLibgpodLeaks ignored;
    Itdb_iTunesDB* database = itdb_parse(QFile::encodeName(mountPoint).constData(), nullptr);
    if (!database)
        return -1;
    const int count = int(g_list_length(database->tracks));
    itdb_free(database);
    return count;
}

// A dataset of raw data, as the vendor's software writes with types 9, 11 and 12: read as
// records, its bytes would give lengths that leave it.
QByteArray rawDataset(quint32 type) {
    QByteArray dataset(96, '\0');
    dataset.replace(0, 4, "mhsd");
    QByteArray body = QByteArray("mhod") + QByteArray(60, '\xff');
    for (int i = 0; i < 16; ++i)
        body += char(i * 37 + int(type));
    TestSupport::writeUInt32(dataset, 4, 96);
    TestSupport::writeUInt32(dataset, 8, quint32(96 + body.size()));
    TestSupport::writeUInt32(dataset, 12, type);
    return dataset + body;
}

// The database with raw datasets inserted after its first dataset and at its end, the header's
// length and dataset count fixed up as the vendor's files have them.
QByteArray withRawDatasets(const QByteArray& database) {
    const qsizetype first = TestSupport::readUInt32(database, 4);
    const qsizetype second = first + TestSupport::readUInt32(database, first + 8);
    QByteArray bytes = database.left(second) + rawDataset(9) + database.mid(second) +
                       rawDataset(11) + rawDataset(12);
    TestSupport::writeUInt32(bytes, 8, quint32(bytes.size()));
    TestSupport::writeUInt32(bytes, 20, TestSupport::readUInt32(bytes, 20) + 3);
    return bytes;
}

} // namespace

TEST(DamagedDatabase, DatasetsOfRawDataAreSkippedAndTheDatabaseOpens) {
    const auto volume = fullVolume();
    volume->writeFile(iTunesDB, withRawDatasets(volume->readFile(iTunesDB)));
    ASSERT_EQ(libgpodTrackCount(volume->mountPoint()), 3);
    const auto opensWithAllTracks = [&](const IPodDatabase::ProductIDProvider& pid) {
        const auto before = TestSupport::snapshotTree(volume->mountPoint());
        EXPECT_EQ(openingFailure(volume->mountPoint(), pid), std::nullopt);
        const TestSupport::IgnoredLibgpodLeaks ignored;
        EXPECT_EQ(IPodDatabase(volume->mountPoint(), std::nullopt, pid).loadTracks().size(), 3);
        EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume->mountPoint())),
                  QStringList());
    };
    opensWithAllTracks({});
    opensWithAllTracks(product(0x1260));

    // The same datasets inside a compressed database, checked by the container's own walk.
    const QByteArray cdb = volume->writeITunesCDBFromITunesDB();
    EXPECT_NO_THROW(Nano5Playlist::completePayload(cdb));
    ASSERT_EQ(libgpodTrackCount(volume->mountPoint()), 3);
    opensWithAllTracks({});

    // Only the lengths of such a dataset are checked: one that leaves the file is refused.
    QByteArray leaving = volume->readFile(iTunesDB);
    TestSupport::writeUInt32(leaving, leaving.size() - rawDataset(12).size() + 8, 0x10000);
    volume->removeFile(iTunesCDB);
    volume->writeFile(iTunesDB, leaving);
    EXPECT_EQ(openingFailure(volume->mountPoint()), damagedDB);
}

TEST(DamagedDatabase, EachDamagedCopyIsRefusedOrReadsCleanlyAndNothingIsWritten) {
    const auto volume = fullVolume();
    const QByteArray good = volume->readFile(iTunesDB);
    const auto copies = TestSupport::damagedCopies(good);
    ASSERT_GT(copies.size(), 100);
    int refused = 0;
    for (const auto& copy : copies) {
        SCOPED_TRACE(copy.label.toStdString());
        volume->writeFile(iTunesDB, copy.bytes);
        const auto before = TestSupport::snapshotTree(volume->mountPoint());
        const auto failure = openingFailure(volume->mountPoint());
        if (copy.leavesItsRecord) {
            EXPECT_EQ(failure, damagedDB);
        }
        if (failure) {
            ++refused;
            EXPECT_TRUE(failure->startsWith(QStringLiteral("Read library failed: ")))
                << qPrintable(*failure);
        }
        EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume->mountPoint())),
                  QStringList());
    }
    EXPECT_GT(refused, copies.size() / 2);
    volume->writeFile(iTunesDB, good);
    EXPECT_EQ(openingFailure(volume->mountPoint()), std::nullopt);
}

TEST(DamagedDatabase, ADatabaseLibgpodReturnsWithAnErrorIsRefusedAsDamaged) {
    const auto volume = fullVolume();
    QByteArray bytes = volume->readFile(iTunesDB);
    // The item count of the user playlist one too high: the lengths all hold, libgpod returns
    // the database together with an error.
    for (const auto& spot : TestSupport::findRecords(bytes)) {
        if (spot.tag == "mhyp" && spot.offset > 0) {
            TestSupport::writeUInt32(bytes, spot.offset + 16,
                                     TestSupport::readUInt32(bytes, spot.offset + 16) + 1);
        }
    }
    volume->writeFile(iTunesDB, bytes);
    EXPECT_EQ(openingFailure(volume->mountPoint()), damagedDB);
    EXPECT_EQ(openingFailure(volume->mountPoint(), product(0x1260)), damagedDB);
}

TEST(DamagedDatabase, ACompressedDatabaseIsCheckedWholeBeforeLibgpodInflatesIt) {
    const auto volume = fullVolume();
    const QByteArray cdb = volume->writeITunesCDBFromITunesDB();
    EXPECT_EQ(openingFailure(volume->mountPoint()), std::nullopt);

    // libgpod loops forever on a stream that ends early, and inflates a bomb whole.
    const QByteArray truncated = TestSupport::truncatedStreamCDB(cdb);
    const QByteArray bomb = TestSupport::inflationBombCDB(cdb, qsizetype(140) << 20);
    ASSERT_LT(bomb.size(), 1 << 20);
    QByteArray trailing = cdb + "more";
    TestSupport::writeUInt32(trailing, 8, quint32(trailing.size()));
    for (const QByteArray& bytes : {truncated, bomb, trailing}) {
        volume->writeFile(iTunesCDB, bytes);
        const auto before = TestSupport::snapshotTree(volume->mountPoint());
        EXPECT_EQ(openingFailure(volume->mountPoint()), damagedCDB);
        EXPECT_EQ(openingFailure(volume->mountPoint(), product(0x1265)), damagedCDB);
        EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume->mountPoint())),
                  QStringList());
    }

    // The records inside the stream are walked like those of an iTunesDB.
    const QByteArray records =
        qUncompress(QByteArray("\x00\x10\x00\x00", 4) + cdb.mid(TestSupport::readUInt32(cdb, 4)));
    const auto spots = TestSupport::findRecords(records);
    const auto text =
        std::find_if(spots.cbegin(), spots.cend(),
                     [](const TestSupport::RecordSpot& spot) { return spot.tag == "mhod"; });
    ASSERT_NE(text, spots.cend()) << "no text record in the inflated records";
    QByteArray damaged = records;
    TestSupport::writeUInt32(damaged, text->offset + 4, 0xFFFFFFFFu);
    const QByteArray header = cdb.left(TestSupport::readUInt32(cdb, 4));
    QByteArray file = header + qCompress(damaged).mid(4);
    TestSupport::writeUInt32(file, 8, quint32(file.size()));
    volume->writeFile(iTunesCDB, file);
    EXPECT_EQ(openingFailure(volume->mountPoint()), damagedCDB);
}

TEST(DamagedDatabase, AVolumeWithoutArtworkFolderIsLeftAsItWasAndSavesMakeIt) {
    const auto volume = fullVolume();
    QDir(volume->path(QStringLiteral("iPod_Control/Artwork"))).removeRecursively();
    for (const auto& pid : {IPodDatabase::ProductIDProvider(), product(0x1260)}) {
        const auto before = TestSupport::snapshotTree(volume->mountPoint());
        EXPECT_EQ(openingFailure(volume->mountPoint(), pid), std::nullopt);
        EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume->mountPoint())),
                  QStringList());
    }

    // The plain session still saves to the volume itself.
    const TestSupport::IgnoredLibgpodLeaks ignored;
    IPodDatabase database(volume->mountPoint());
    EXPECT_EQ(database.loadTracks().size(), 3);
    ASSERT_TRUE(database.createPlaylist(QStringLiteral("New"), {database.loadTracks()[1].id}));
    database.saveLibrary();
    EXPECT_TRUE(QDir(volume->path(QStringLiteral("iPod_Control/Artwork"))).exists());
    EXPECT_EQ(IPodDatabase(volume->mountPoint()).loadPlaylists().size(), 2);
}

TEST(DamagedDatabase, PlaylistsShowWhenTheModelCannotBeTold) {
    const auto volume = fullVolume();
    volume->removeFile(QStringLiteral("iPod_Control/Device/SysInfo"));
    IPodDatabase database(volume->mountPoint());
    EXPECT_FALSE(database.model());
    const auto playlists = database.loadPlaylists();
    ASSERT_EQ(playlists.size(), 1);
    EXPECT_EQ(playlists[0].name, QStringLiteral("Favourites"));
    EXPECT_EQ(playlists[0].trackIDs, (QList<quint64>{volume->trackID(0), volume->trackID(2)}));
}

TEST(DamagedDatabase, ErrorsOfAForcedModelNameTheIPodsOwnPath) {
    const auto volume = fullVolume();
    // The first text record's header one byte longer: every length holds, libgpod refuses it.
    QByteArray bytes = volume->readFile(iTunesDB);
    for (const auto& spot : TestSupport::findRecords(bytes)) {
        if (spot.tag == "mhod") {
            TestSupport::writeUInt32(bytes, spot.offset + 4, spot.header + 1);
            break;
        }
    }
    volume->writeFile(iTunesDB, bytes);
    const auto failure = openingFailure(volume->mountPoint(), product(0x1260));
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->contains(volume->mountPoint())) << qPrintable(*failure);
    EXPECT_FALSE(failure->contains(QStringLiteral("lorvanel-ipod-"))) << qPrintable(*failure);
}

// libgpod aborts, or reads past the file, on an ArtworkDB cut inside a record or holding a length
// that leaves its record: such a file is left out of what libgpod reads, and the iPod opens
// read-only naming it, with every track, here, in the helper and in the cover process.
TEST(DamagedDatabase, AnArtworkDBWhoseRecordsDoNotHoldTogetherOpensReadOnlyNamingIt) {
    const auto volume = fullVolume();
    const QByteArray good = volume->readFile(artworkDB);
    QList<std::pair<QString, QByteArray>> damages;
    for (int length = 0; length <= 140; ++length)
        damages.append({QStringLiteral("cut to %1 bytes").arg(length), good.left(length)});
    // A field of the first record of a kind (its thumbnail's file name for "mhni").
    for (const auto& [tag, field, value] :
         {std::tuple<const char*, int, quint32>{"mhfd", 4, quint32(good.size() + 1)},
          {"mhfd", 4, 0x7FFFFFFF},
          {"mhsd", 4, 0xFFFF},
          {"mhsd", 8, 0},
          {"mhli", 4, quint32(good.size())},
          {"mhii", 8, 1},
          {"mhni", 4, 0xFFFF},
          {"mhni", 76 + 24, 0xFFFFFFFF},
          {"mhla", 4, 0xFFFF},
          {"mhif", 4, 0xFFFF}}) {
        QByteArray bytes = good;
        const qsizetype at = bytes.indexOf(tag);
        ASSERT_GE(at, 0) << tag;
        TestSupport::writeUInt32(bytes, at + field, value);
        damages.append({QStringLiteral("%1 +%2 = %3").arg(tag).arg(field).arg(value), bytes});
    }
    const IPodDatabaseError reason = IPodDatabaseError::storedCoversUnreadable(artworkDB);
    const DatabasePreflight::Request request{volume->mountPoint(), std::nullopt, std::nullopt,
                                             "volume"};
    const QList<quint64> ids{volume->trackID(0), volume->trackID(1), volume->trackID(2)};
    const auto before = TestSupport::snapshotTree(volume->mountPoint());
    for (const auto& [label, bytes] : damages) {
        SCOPED_TRACE(label.toStdString());
        volume->writeFile(artworkDB, bytes);
        const bool cut = label.startsWith(QLatin1String("cut"));
        for (const auto& pid : {IPodDatabase::ProductIDProvider(), product(0x1260)}) {
            if (pid && cut && bytes.size() % 20 != 0)
                continue; // a forced model's parse leaves the file out alike
            const TestSupport::IgnoredLibgpodLeaks ignored;
            IPodDatabase database(volume->mountPoint(), std::nullopt, pid);
            EXPECT_EQ(database.writeBlocker(), reason);
            EXPECT_EQ(database.loadTracks().size(), 3);
        }
        if (cut && bytes.size() == 100) {
            DatabasePreflight::forgetReadDatabases();
            const auto read = DatabasePreflight::read(request);
            ASSERT_TRUE(read);
            EXPECT_EQ(read->writeBlocker, reason);
            EXPECT_EQ(read->tracks.size(), 3);
            const auto covers = StoredCovers::read(request, ids);
            for (const quint64 id : ids)
                EXPECT_EQ(covers.value(id).state, StoredCover::State::none);
            StoredCovers::endAll();
        }
    }
    // Nothing but the file the test wrote changed.
    volume->writeFile(artworkDB, good);
    EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume->mountPoint())),
              QStringList{QStringLiteral("changed ") + artworkDB});
}
