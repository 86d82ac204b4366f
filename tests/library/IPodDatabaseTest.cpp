// Opening: how each model family is parsed, the probes, and the facts settled at opening.
// Every opening is checked to leave the volume byte for byte as it was.

#include "library/IPodDatabase.h"
#include "support/IPodVolume.h"

#include <gtest/gtest.h>

#include <QDir>

using TestSupport::IPodVolume;

namespace {

IPodDatabase::ProductIDProvider product(int id) {
    return [id] { return std::optional<int>(id); };
}

// Opens the database and runs every reader; fails the test when anything on the volume changed.
std::unique_ptr<IPodDatabase>
openUnchanged(const IPodVolume& volume, const IPodDatabase::ProductIDProvider& pid = {},
              const std::optional<QByteArray>& sysInfoExtended = std::nullopt) {
    const auto before = TestSupport::snapshotTree(volume.mountPoint());
    auto database = IPodDatabase::open(volume.mountPoint(), sysInfoExtended, pid);
    database->loadTracks();
    database->loadPlaylists();
    database->model();
    database->serialNumber();
    database->mainPlaylistName();
    database->readShuffle2PlaybackMode();
    database->allTrackFileURLs();
    IPodDatabase::firmwareVersion(volume.mountPoint());
    EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume.mountPoint())),
              QStringList());
    return database;
}

IPodDatabaseError::Case readLibraryFailure(const QString& mountPoint,
                                           const IPodDatabase::ProductIDProvider& pid = {}) {
    try {
        IPodDatabase database(mountPoint, std::nullopt, pid);
    } catch (const IPodDatabaseError& error) {
        EXPECT_EQ(error.operation(), QStringLiteral("Read library"));
        return error.errorCase();
    }
    ADD_FAILURE() << "opening succeeded";
    return IPodDatabaseError::Case::unsupportedDatabase;
}

const QString sysInfo = QStringLiteral("iPod_Control/Device/SysInfo");
const QString iTunesDB = QStringLiteral("iPod_Control/iTunes/iTunesDB");
const QString iTunesSD = QStringLiteral("iPod_Control/iTunes/iTunesSD");

} // namespace

TEST(IPodDatabaseOpen, EachFamilyOpensWithItsModelRatingsAndWriteBlocker) {
    struct Case {
        const char* modelNumber;
        std::optional<int> productID;
        bool removeSysInfo;
        int generation;
        IPodModel::Family family;
        int generationNumber;
        bool ratings;
        bool hasFallback;
    };
    using F = IPodModel::Family;
    const Case cases[] = {
        {"MA477", 0x1260, true, 13, F::nano, 2, true, true}, // forced model
        {"MA477", std::nullopt, false, 13, F::nano, 2, true, false},
        {"MA350", 0x120A, false, 12, F::nano, 1, true, true},
        {"MA546", 0x1301, true, 10, F::shuffle, 2, false, false}, // forced model
        {"MC306", 0x1302, true, 11, F::shuffle, 3, false, false}, // forced model
        {"MB480", 0x1263, false, 15, F::nano, 4, true, true},
        {"MB029", std::nullopt, false, 18, F::classic, 6, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.modelNumber);
        IPodVolume volume(QString::fromLatin1(c.modelNumber));
        volume.addTrack({.title = QStringLiteral("One"), .artwork = true});
        volume.write();
        if (c.removeSysInfo)
            volume.removeFile(sysInfo);
        const auto database = openUnchanged(
            volume, c.productID ? product(*c.productID) : IPodDatabase::ProductIDProvider());
        EXPECT_EQ(database->generation(), c.generation);
        const auto model = database->model();
        ASSERT_TRUE(model);
        EXPECT_EQ(model->family, c.family);
        EXPECT_EQ(model->generationNumber, c.generationNumber);
        EXPECT_EQ(database->supportsRatings(), c.ratings);
        EXPECT_EQ(database->fallbackModel().has_value(), c.hasFallback);
        EXPECT_FALSE(database->writeBlocker()) << database->writeBlocker()->what();
        EXPECT_FALSE(database->hasNano5SourceCDB());
        EXPECT_FALSE(volume.exists(sysInfo) && c.removeSysInfo) << "a SysInfo was written";
    }
}

TEST(IPodDatabaseOpen, ClassicParsesWithTheGivenSysInfoExtended) {
    IPodVolume volume(QStringLiteral("MB029"));
    volume.addTrack({.title = QStringLiteral("One")});
    volume.write();
    volume.removeFile(sysInfo);
    const QByteArray xml = TestSupport::sysInfoExtendedXML({
        {QStringLiteral("SerialNumber"), QStringLiteral("8K0000ABYMX")},
        {QStringLiteral("FireWireGUID"), QStringLiteral("000A2700138B0D2E")},
    });
    const auto database = openUnchanged(volume, product(0x1261), xml);
    EXPECT_EQ(database->generation(), 18);
    EXPECT_FALSE(database->writeBlocker());
    EXPECT_EQ(database->loadTracks().size(), 1);

    // Not UTF-8: parsed as the volume describes itself, which here is nothing classic, and
    // read-only for the description.
    QByteArray broken = xml;
    broken.insert(60, "\xff\xfe");
    const auto fallback = openUnchanged(volume, product(0x1261), broken);
    EXPECT_EQ(fallback->generation(), 0);
    EXPECT_EQ(fallback->writeBlocker(),
              IPodDatabaseError::unreadableDeviceDescription(std::nullopt));
}

TEST(IPodDatabaseOpen, ArtworkSurvivesASaveInAForcedModelSession) {
    IPodVolume volume(QStringLiteral("MA477"));
    volume.addTrack({.title = QStringLiteral("Covered"), .artwork = true});
    volume.addTrack({.title = QStringLiteral("Plain")});
    volume.write();
    volume.removeFile(sysInfo);
    const QByteArray artworkBefore =
        volume.readFile(QStringLiteral("iPod_Control/Artwork/ArtworkDB"));
    QString shadow;
    {
        const auto database = openUnchanged(volume, product(0x1260));
        ASSERT_TRUE(database->loadTracks()[0].hasCoverArtwork);
        shadow = QFile::decodeName(itdb_get_mountpoint(database->database()));
        ASSERT_NE(shadow, volume.mountPoint());
        GError* error = nullptr;
        ASSERT_TRUE(itdb_write(database->database(), &error));
        // Files the session hands out name the real volume, never the private shadow.
        EXPECT_TRUE(
            database->fileURL(database->loadTracks()[0].id).startsWith(volume.mountPoint() + u'/'));
    }
    EXPECT_FALSE(volume.exists(sysInfo));
    EXPECT_FALSE(volume.readFile(QStringLiteral("iPod_Control/Artwork/ArtworkDB")).isEmpty());
    EXPECT_EQ(volume.readFile(QStringLiteral("iPod_Control/Artwork/ArtworkDB")).size(),
              artworkBefore.size());
    volume.writeSysInfo("ModelNumStr: MA477\n");
    const auto reopened = openUnchanged(volume);
    const auto tracks = reopened->loadTracks();
    ASSERT_EQ(tracks.size(), 2);
    EXPECT_TRUE(tracks[0].hasCoverArtwork);
    EXPECT_FALSE(tracks[1].hasCoverArtwork);
    EXPECT_FALSE(QFileInfo::exists(shadow)) << "the shadow folder was left behind";
}

TEST(IPodDatabaseOpen, ForcedSecondGenerationNanoTakesItsColourFromTheVolume) {
    IPodVolume volume(QStringLiteral("MA489")); // a pink nano
    volume.write();
    auto database = openUnchanged(volume, product(0x1260));
    EXPECT_EQ(database->model()->colorName, QStringLiteral("Pink"));
    volume.removeFile(sysInfo);
    database = openUnchanged(volume, product(0x1260));
    EXPECT_EQ(database->generation(), 13);
    EXPECT_FALSE(database->model()->colorName);
    EXPECT_EQ(database->model()->iconName, QStringLiteral("iPod9-Silver"));
}

TEST(IPodDatabaseOpen, ShuffleProbesFallBackToThePlainParse) {
    // Without a SysInfo only a forced model tells the generation, so generation 0 shows that
    // the plain parse was used.
    {
        IPodVolume volume(QStringLiteral("MA546"));
        volume.addTrack({.title = QStringLiteral("A")});
        volume.write();
        volume.removeFile(sysInfo);
        EXPECT_EQ(openUnchanged(volume, product(0x1301))->generation(), 10);
        volume.writeFile(iTunesSD,
                         volume.readFile(iTunesSD) + QByteArray(1, '\0')); // 18 + 558·N + 1
        EXPECT_EQ(openUnchanged(volume, product(0x1301))->generation(), 0);
    }
    {
        IPodVolume volume(QStringLiteral("MC306"));
        volume.addTrack({.title = QStringLiteral("A")});
        volume.write();
        volume.removeFile(sysInfo);
        ASSERT_TRUE(volume.readFile(iTunesSD).startsWith("bdhs"));
        EXPECT_EQ(openUnchanged(volume, product(0x1302))->generation(), 11);
        volume.patchFile(iTunesDB, 48, QByteArray(1, '\x01'));
        const auto hashed = openUnchanged(volume, product(0x1302));
        EXPECT_EQ(hashed->generation(), 0);
        EXPECT_EQ(hashed->writeBlocker(), IPodDatabaseError::unsupportedDatabase());
    }
}

TEST(IPodDatabaseOpen, FreshThirdGenerationShuffleGetsAnEmptyDatabase) {
    const auto volume = IPodVolume::emptyFolder();
    volume->writeFile(QStringLiteral("iPod_Control/iTunes/iTunesControl"), "control");
    for (const char* folder : {"F00", "F01", "f02", "F49"})
        QDir().mkpath(volume->path(QStringLiteral("iPod_Control/Music/") + QLatin1String(folder)));
    const auto database = openUnchanged(*volume, product(0x1302));
    EXPECT_EQ(database->generation(), 11);
    EXPECT_EQ(database->mainPlaylistName(), QFileInfo(volume->mountPoint()).fileName());
    EXPECT_TRUE(database->loadTracks().isEmpty());
    EXPECT_FALSE(database->writeBlocker());
    EXPECT_EQ(database->model()->generationNumber, 3);
    EXPECT_FALSE(volume->exists(sysInfo));

    const auto failsWith = [&](const std::function<void()>& damage) {
        damage();
        EXPECT_EQ(readLibraryFailure(volume->mountPoint(), product(0x1302)),
                  IPodDatabaseError::Case::library);
    };
    failsWith([&] { QDir().mkpath(volume->path(QStringLiteral("iPod_Control/Music/F1"))); });
    QDir().rmdir(volume->path(QStringLiteral("iPod_Control/Music/F1")));
    EXPECT_TRUE(IPodDatabase::passesFreshVolumeTest(volume->mountPoint()));
    failsWith([&] { volume->writeFile(QStringLiteral("iPod_Control/Music/stray.mp3"), "x"); });
    volume->removeFile(QStringLiteral("iPod_Control/Music/stray.mp3"));
    failsWith([&] { volume->writeFile(QStringLiteral("iPod_Control/Music/F01/song.mp3"), "x"); });
    volume->removeFile(QStringLiteral("iPod_Control/Music/F01/song.mp3"));
    failsWith([&] { volume->writeFile(QStringLiteral("iPod_Control/iTunes/iTunesPrefs"), "x"); });
    volume->removeFile(QStringLiteral("iPod_Control/iTunes/iTunesPrefs"));
    failsWith([&] { volume->removeFile(QStringLiteral("iPod_Control/Music/F00")); });
}

TEST(IPodDatabaseOpen, ProductIDThatDisagreesWithTheDatabaseBlocksEditing) {
    IPodVolume nano(QStringLiteral("MA477"));
    nano.write();
    EXPECT_EQ(openUnchanged(nano, product(0x1261))->writeBlocker(),
              IPodDatabaseError::unsupportedDatabase());
    IPodVolume classic(QStringLiteral("MB029"));
    classic.write();
    EXPECT_EQ(openUnchanged(classic, product(0x1262))->writeBlocker(),
              IPodDatabaseError::unsupportedDatabase());
    IPodVolume shuffle2(QStringLiteral("MA546"));
    shuffle2.write();
    EXPECT_EQ(openUnchanged(shuffle2, product(0x1302))->writeBlocker(),
              IPodDatabaseError::unsupportedDatabase());
    const auto fallback = openUnchanged(nano, product(0x1261));
    EXPECT_FALSE(fallback->fallbackModel()); // only nanos keep one
}

TEST(IPodDatabaseOpen, RatingsFollowTheProductIDOrTheGeneration) {
    IPodVolume shuffle1(QStringLiteral("M9724"));
    shuffle1.write();
    EXPECT_FALSE(openUnchanged(shuffle1)->supportsRatings());
    EXPECT_TRUE(openUnchanged(shuffle1, product(0x1201))->supportsRatings()); // handled, no model
    EXPECT_FALSE(openUnchanged(shuffle1, product(0x1300))->supportsRatings());
    IPodVolume classic(QStringLiteral("MB029"));
    classic.write();
    EXPECT_TRUE(openUnchanged(classic)->supportsRatings());
    EXPECT_TRUE(openUnchanged(classic, product(0x9999))->supportsRatings()); // not an iPod's ID
}

TEST(IPodDatabaseOpen, DamagedDatabasesFailToReadWithoutCrashing) {
    IPodVolume volume(QStringLiteral("MA477"));
    for (int i = 0; i < 3; ++i)
        volume.addTrack({.title = QStringLiteral("T%1").arg(i)});
    volume.write();
    const QByteArray good = volume.readFile(iTunesDB);
    const std::vector<QByteArray> damaged{
        good.left(good.size() / 2),
        good.left(60),
        QByteArray(),
        QByteArray(4096, '\xA5'),
        QByteArray("mhbd") + QByteArray(200, '\xFF'),
    };
    for (const QByteArray& bytes : damaged) {
        volume.writeFile(iTunesDB, bytes);
        const auto before = TestSupport::snapshotTree(volume.mountPoint());
        try {
            IPodDatabase database(volume.mountPoint(), std::nullopt, product(0x1260));
            // libgpod may accept a damaged file; what it gives must still read cleanly.
            database.loadTracks();
            database.loadPlaylists();
        } catch (const IPodDatabaseError& error) {
            EXPECT_EQ(error.errorCase(), IPodDatabaseError::Case::library);
            EXPECT_TRUE(error.description(AppLanguage::english)
                            .startsWith(QStringLiteral("Read library failed: ")));
        }
        EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume.mountPoint())),
                  QStringList());
    }
    volume.removeFile(iTunesDB);
    EXPECT_EQ(readLibraryFailure(volume.mountPoint()), IPodDatabaseError::Case::library);
    EXPECT_EQ(readLibraryFailure(volume.mountPoint() + QStringLiteral("/missing")),
              IPodDatabaseError::Case::library);
}

TEST(IPodDatabaseOpen, FifthGenerationNanoKeepsAnUnchangedSourceCDB) {
    IPodVolume volume(QStringLiteral("MA477"));
    volume.addTrack({.title = QStringLiteral("A")});
    volume.write();
    const QByteArray cdb = volume.writeITunesCDBFromITunesDB();
    volume.writeFile(QStringLiteral("iPod_Control/iTunes/iTunes Library.itlp/Library.itdb"),
                     "sqlite");
    volume.writeFile(QStringLiteral("iPod_Control/iTunes/iTunes Library.itlp/Dynamic.itdb"),
                     "sqlite");
    std::unique_ptr<IPodDatabase> database;
    try {
        database = openUnchanged(volume, product(0x1265));
    } catch (const IPodDatabaseError& error) {
        FAIL() << error.what();
    }
    ASSERT_TRUE(database->hasNano5SourceCDB());
    EXPECT_EQ(*database->nano5SourceCDB(), cdb);
    EXPECT_EQ(database->writeBlocker(), IPodDatabaseError::unsupportedDatabase());
    EXPECT_FALSE(
        openUnchanged(volume, product(0x1260))->hasNano5SourceCDB()); // other products take none
    volume.removeFile(QStringLiteral("iPod_Control/iTunes/iTunes Library.itlp/Dynamic.itdb"));
    EXPECT_FALSE(openUnchanged(volume, product(0x1265))->hasNano5SourceCDB());
}

TEST(IPodDatabaseOpen, DamagedITunesCDBIsRefusedBeforeParsing) {
    IPodVolume volume(QStringLiteral("MA477"));
    volume.write();
    const QByteArray sound = volume.writeITunesCDBFromITunesDB();
    const auto withSizeField = [](QByteArray bytes) {
        for (int i = 0; i < 4; ++i)
            bytes[8 + i] = char((quint32(bytes.size()) >> (8 * i)) & 0xFF);
        return bytes;
    };
    // libgpod loops forever on the truncated stream; the others it reads past or misparses.
    const QByteArray unreadablePayload = withSizeField(sound.left(244) + QByteArray(64, '\x5A'));
    const QByteArray truncatedStream = withSizeField(sound.left(sound.size() - 8));
    const QByteArray trailingBytes = withSizeField(sound + QByteArray(16, '\0'));
    for (const QByteArray& bytes :
         {unreadablePayload, truncatedStream, trailingBytes, sound.left(sound.size() - 1),
          QByteArray("mhbd-short"), QByteArray(300, 'x'),
          QByteArray("mhbd") + QByteArray(400, '\xFF')}) {
        volume.writeFile(QStringLiteral("iPod_Control/iTunes/iTunesCDB"), bytes);
        EXPECT_EQ(readLibraryFailure(volume.mountPoint(), product(0x1265)),
                  IPodDatabaseError::Case::library);
        EXPECT_EQ(readLibraryFailure(volume.mountPoint()), IPodDatabaseError::Case::library);
    }
}
