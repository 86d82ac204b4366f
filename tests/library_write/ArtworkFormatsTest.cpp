// The cover formats a device description lists bound what a save may write: beyond what iPods
// use the iPod opens read-only and nothing is written; within, every cover is saved in each.
// libgpod's save keeps a stored cover only in the listed formats: a description listing none of
// those a cover is stored in opens read-only too.

#include "library/ArtworkFormats.h"
#include "WriteTestSupport.h"
#include "library/ITunesDBStructure.h"
#include "library/PropertyList.h"
#include "support/DeviceDescriptions.h"
#include "support/IPodVolume.h"
#include "support/LibgpodLeaks.h"
#include "support/StoredCoverReads.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include <gpod/itdb.h>

#include <functional>

using TestSupport::IPodVolume;
using WriteTests::failureOf;
using WriteTests::png;

namespace {

// pixelFormat: none leaves the key out.
QByteArray format(qint64 id, qint64 width, qint64 height, qint64 rowBytesAlignment = 0,
                  const char* pixelFormat = "4C353635") {
    QByteArray xml = "<dict><key>FormatId</key><integer>" + QByteArray::number(id) +
                     "</integer><key>RenderWidth</key><integer>" + QByteArray::number(width) +
                     "</integer><key>RenderHeight</key><integer>" + QByteArray::number(height) +
                     "</integer>";
    if (pixelFormat)
        xml += "<key>PixelFormat</key><string>" + QByteArray(pixelFormat) + "</string>";
    if (rowBytesAlignment > 0)
        xml += "<key>RowBytesAlignment</key><integer>" + QByteArray::number(rowBytesAlignment) +
               "</integer>";
    return xml + "</dict>";
}

QList<std::pair<QString, QVariant>> describing(const QByteArray& formats) {
    return {{QStringLiteral("AlbumArt"), QByteArray("<array>" + formats + "</array>")}};
}

const QString descriptionFile = QStringLiteral("iPod_Control/Device/SysInfoExtended");

// A title edit as the window makes it, saved: the case it failed with, or none.
std::optional<IPodDatabaseError::Case> retitle(IPodDatabase& database, quint64 id) {
    try {
        database.updateTrackMetadata(id, {QStringLiteral("Retitled"), {}, {}, {}, {}});
        database.saveLibrary();
    } catch (const IPodDatabaseError& error) {
        return error.errorCase();
    }
    return std::nullopt;
}

// A volume of the model with that many tracks, each with a cover of its own.
void addCoveredTracks(IPodVolume& volume, int count) {
    for (int i = 0; i < count; ++i)
        volume.addTrack({.title = QStringLiteral("Song %1").arg(i),
                         .artwork = true,
                         .artworkColor = 0x203040u * quint32(i + 1)});
    volume.write();
}

// The files of the Artwork folder by name, and putting them back as they were.
using FolderFiles = QHash<QString, QByteArray>;
const QString artworkFolder = QStringLiteral("iPod_Control/Artwork");
FolderFiles artworkFiles(const IPodVolume& volume) {
    FolderFiles files;
    for (const QString& name : QDir(volume.path(artworkFolder)).entryList(QDir::Files))
        files.insert(name, volume.readFile(artworkFolder + u'/' + name));
    return files;
}
void putBack(const IPodVolume& volume, const FolderFiles& files) {
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        volume.writeFile(artworkFolder + u'/' + it.key(), it.value());
}

// libgpod removes the track and writes the iTunesDB alone (its call rewrites the Artwork folder
// as well, which the caller puts back).
void removeWritingTheITunesDB(const IPodVolume& volume, quint64 id) {
    const QByteArray mount = QFile::encodeName(volume.mountPoint());
    Itdb_iTunesDB* database = itdb_parse(mount.constData(), nullptr);
    ASSERT_TRUE(database);
    for (GList* item = database->tracks; item; item = item->next) {
        auto* track = static_cast<Itdb_Track*>(item->data);
        if (track->dbid != id)
            continue;
        itdb_playlist_remove_track(itdb_playlist_mpl(database), track);
        itdb_track_remove(track);
        break;
    }
    gchar* path = itdb_get_itunesdb_path(mount.constData());
    EXPECT_TRUE(itdb_write_file(database, path, nullptr));
    g_free(path);
    itdb_free(database);
}

QSet<quint64> trackIDs(const IPodVolume& volume) {
    QSet<quint64> ids;
    for (int i = 0; i < volume.trackCount(); ++i)
        ids.insert(volume.trackID(i));
    return ids;
}

const std::pair<const char*, QByteArray> outOfBounds[] = {
    {"65536 x 32769", format(1055, 65536, 32769)},
    {"16000 x 16000", format(1055, 16000, 16000)},
    {"one side too long", format(1055, 128, 4096)},
    {"an id twice", format(1055, 128, 128) + format(1055, 56, 56)},
    {"absurd row bytes", format(1055, 100, 10, 1 << 20)},
};

} // namespace

TEST(ArtworkFormats, FormatsBeyondWhatIPodsUseOpenReadOnlyAndWriteNothing) {
    IPodVolume volume(QStringLiteral("MA477"));
    volume.addTrack({.title = QStringLiteral("Song")});
    volume.write();
    const quint64 id = volume.trackID(0);
    const IPodDatabaseError reason = IPodDatabaseError::artworkFormatsOutOfBounds(descriptionFile);
    EXPECT_TRUE(reason.description(AppLanguage::english).contains(descriptionFile));

    for (const auto& [name, formats] : outOfBounds) {
        SCOPED_TRACE(name);
        volume.writeSysInfoExtended(TestSupport::sysInfoExtendedXML(describing(formats)));
        const auto before = TestSupport::snapshotTree(volume.mountPoint());
        IPodDatabase database(volume.mountPoint());
        EXPECT_EQ(database.writeBlocker(), reason);
        EXPECT_EQ(failureOf([&] { database.registerCopiedFile(id, png(300, 0x3366CC), {}, {}); }),
                  IPodDatabaseError::Case::artworkFormatsOutOfBounds);
        EXPECT_EQ(failureOf([&] { database.saveLibrary(); }),
                  IPodDatabaseError::Case::artworkFormatsOutOfBounds);
        EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume.mountPoint())),
                  QStringList());
    }

    // Rows of 128 x 2 bytes are already aligned to 16; rows of 56 x 2 bytes pad to 128.
    volume.writeSysInfoExtended(TestSupport::sysInfoExtendedXML(
        describing(format(1055, 128, 128, 16) + format(1068, 56, 56, 128))));
    IPodDatabase database(volume.mountPoint());
    ASSERT_FALSE(database.writeBlocker()) << database.writeBlocker()->what();
    EXPECT_TRUE(database.registerCopiedFile(id, png(300, 0x3366CC), {}, {}));
    database.saveLibrary();
    EXPECT_EQ(QFileInfo(volume.path(QStringLiteral("iPod_Control/Artwork/F1055_1.ithmb"))).size(),
              128 * 2 * 128);
    EXPECT_EQ(QFileInfo(volume.path(QStringLiteral("iPod_Control/Artwork/F1068_1.ithmb"))).size(),
              128 * 56);
}

TEST(ArtworkFormats, ADescriptionReadFromTheDeviceIsNamedSo) {
    IPodVolume volume(QStringLiteral("MB029"));
    volume.addTrack({.title = QStringLiteral("Song")});
    volume.write();
    volume.removeFile(QStringLiteral("iPod_Control/Device/SysInfo"));
    auto entries = describing(outOfBounds[1].second);
    entries.append({QStringLiteral("SerialNumber"), QStringLiteral("8K0000ABYMX")});
    entries.append({QStringLiteral("FireWireGUID"), QStringLiteral("000A2700138B0D2E")});
    const auto before = TestSupport::snapshotTree(volume.mountPoint());
    IPodDatabase database(volume.mountPoint(), TestSupport::sysInfoExtendedXML(entries),
                          WriteTests::product(0x1261));
    ASSERT_EQ(database.generation(), 18);
    EXPECT_EQ(database.writeBlocker(), IPodDatabaseError::artworkFormatsOutOfBounds(std::nullopt));
    EXPECT_TRUE(database.writeBlocker()->description(AppLanguage::english).contains("over USB"));
    EXPECT_EQ(failureOf([&] { database.saveLibrary(); }),
              IPodDatabaseError::Case::artworkFormatsOutOfBounds);
    EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume.mountPoint())),
              QStringList());
}

TEST(ArtworkFormats, ADescriptionListingNoneOfTheStoredCoversFormatsOpensReadOnly) {
    // libgpod stores a nano 2G's covers in formats 1027 and 1031, a classic's in 1055, 1060,
    // 1061 and 1068; libgpod takes AlbumArt2's formats only when AlbumArt lists none.
    const auto list = [](const QByteArray& formats) { return "<array>" + formats + "</array>"; };
    const QByteArray other = list(format(2000, 100, 100));
    struct Row {
        const char* name;
        const char* model;
        QByteArray albumArt;
        QByteArray albumArt2;
        bool covers;
        bool blocked;
        bool overUSB = false;
    };
    const Row rows[] = {
        {"other formats", "MA477", other, {}, true, true},
        {"other formats before its own", "MB029", other, list(format(1055, 128, 128)), true, true},
        {"other formats, over USB", "MB029", other, {}, true, true, true},
        {"other formats in AlbumArt2", "MA477", list({}), other, true, true},
        {"no formats (libgpod leaves the covers)", "MA477", {}, {}, true, false},
        {"empty lists", "MB029", list({}), list({}), true, false},
        {"one of its own", "MB029", list(format(1055, 128, 128)), {}, true, false},
        {"its own in AlbumArt2", "MA477", list({}),
         list(format(1027, 100, 100) + format(1031, 42, 42)), true, false},
        {"its own of pixel formats libgpod does not know, others in AlbumArt2", "MA477",
         list(format(1027, 100, 100, 0, "4C353636") + format(1031, 42, 42, 0, nullptr)), other,
         true, true},
        {"its own in AlbumArt2 after pixel formats libgpod does not know", "MA477",
         list(format(2000, 100, 100, 0, "4c353635") + format(2001, 42, 42, 0, nullptr)),
         list(format(1027, 100, 100) + format(1031, 42, 42, 0, "32767579")), true, false},
        {"other formats, no covers", "MA477", other, {}, false, false},
        {"other formats, a shuffle", "MA546", other, {}, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        IPodVolume volume(QString::fromUtf8(row.model));
        volume.addTrack({.title = QStringLiteral("Song"), .artwork = row.covers});
        volume.write();
        const quint64 id = volume.trackID(0);
        const auto covers = TestSupport::storedImages(volume.mountPoint(), {id});
        ASSERT_EQ(covers.size(), row.covers ? 1 : 0);
        QList<std::pair<QString, QVariant>> entries = {
            {QStringLiteral("VisibleBuildID"), QStringLiteral("0x01008000")}};
        if (!row.albumArt.isEmpty())
            entries.append({QStringLiteral("AlbumArt"), row.albumArt});
        if (!row.albumArt2.isEmpty())
            entries.append({QStringLiteral("AlbumArt2"), row.albumArt2});
        std::optional<QByteArray> overUSB;
        const QString sysInfo = QStringLiteral("iPod_Control/Device/SysInfo");
        const QByteArray ownSysInfo = volume.readFile(sysInfo);
        if (row.overUSB) {
            volume.removeFile(sysInfo);
            entries.append({QStringLiteral("SerialNumber"), QStringLiteral("8K0000ABYMX")});
            entries.append({QStringLiteral("FireWireGUID"), QStringLiteral("000A2700138B0D2E")});
            overUSB = TestSupport::sysInfoExtendedXML(entries);
        } else {
            volume.writeSysInfoExtended(TestSupport::sysInfoExtendedXML(entries));
        }
        const auto before = TestSupport::snapshotTree(volume.mountPoint());
        {
            // Taking the shuffle for one with covers, libgpod's parse leaks the path of the
            // Artwork folder it lacks.
            std::optional<TestSupport::IgnoredLibgpodLeaks> ignored;
            if (QByteArrayView(row.model) == "MA546")
                ignored.emplace();
            IPodDatabase database(volume.mountPoint(), overUSB,
                                  row.overUSB ? WriteTests::product(0x1261) : nullptr);
            ignored.reset();
            if (row.blocked) {
                EXPECT_EQ(database.writeBlocker(),
                          IPodDatabaseError::storedCoverFormatsUnlisted(
                              row.overUSB ? std::nullopt : std::optional(descriptionFile)));
                EXPECT_EQ(retitle(database, id),
                          IPodDatabaseError::Case::storedCoverFormatsUnlisted);
                EXPECT_EQ(TestSupport::differences(before,
                                                   TestSupport::snapshotTree(volume.mountPoint())),
                          QStringList());
            } else {
                ASSERT_FALSE(database.writeBlocker()) << database.writeBlocker()->what();
                if (!row.covers)
                    continue;
                EXPECT_EQ(retitle(database, id), std::nullopt);
            }
        }
        // Read back as the model's own formats lay them out.
        if (row.overUSB)
            volume.writeFile(sysInfo, ownSysInfo);
        else
            volume.removeFile(descriptionFile);
        EXPECT_EQ(TestSupport::storedImages(volume.mountPoint(), {id}).keys(), covers.keys());
    }
}

TEST(ArtworkFormats, TheBoundsReadTheNumbersLibgpodsWriterReads) {
    // 1600 to libplist, 16000 to libgpod, whose save would then take gigabytes.
    const QByteArray referenced =
        format(1055, 1600, 100)
            .replace("<integer>1600</integer>", QByteArrayLiteral("<integer>1600&#48;</integer>"));
    const auto entries = describing(referenced) +
                         QList<std::pair<QString, QVariant>>{
                             {QStringLiteral("SerialNumber"), QStringLiteral("8K0000ABYMX")},
                             {QStringLiteral("FireWireGUID"), QStringLiteral("000A2700138B0D2E")}};
    const QByteArray description = TestSupport::sysInfoExtendedXML(entries);
    for (const bool overUSB : {false, true}) {
        SCOPED_TRACE(overUSB ? "over USB" : "on the volume");
        IPodVolume volume(overUSB ? QStringLiteral("MB029") : QStringLiteral("MA477"));
        volume.addTrack({.title = QStringLiteral("Song")});
        volume.write();
        if (!overUSB)
            volume.writeSysInfoExtended(description);
        const auto before = TestSupport::snapshotTree(volume.mountPoint());
        IPodDatabase database(volume.mountPoint(),
                              overUSB ? std::optional(description) : std::nullopt,
                              overUSB ? WriteTests::product(0x1261) : nullptr);
        ASSERT_EQ(database.writeBlocker(),
                  IPodDatabaseError::unreadableDeviceDescription(
                      overUSB ? std::nullopt : std::optional(descriptionFile)));
        EXPECT_EQ(failureOf([&] {
                      database.registerCopiedFile(volume.trackID(0), png(300, 0x3366CC), {}, {});
                  }),
                  IPodDatabaseError::Case::unreadableDeviceDescription);
        EXPECT_EQ(failureOf([&] { database.saveLibrary(); }),
                  IPodDatabaseError::Case::unreadableDeviceDescription);
        EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume.mountPoint())),
                  QStringList());
    }
}

TEST(ArtworkFormats, ADescriptionInAnEncodingLibgpodReadsIsReadAsThePlainOne) {
    const QByteArray beyond = TestSupport::sysInfoExtendedXML(
        describing(outOfBounds[1].second) +
        QList<std::pair<QString, QVariant>>{
            {QStringLiteral("SerialNumber"), QStringLiteral("8K0000ABYMX")},
            {QStringLiteral("FireWireGUID"), QStringLiteral("000A2700138B0D2E")}});
    const QByteArray within = TestSupport::sysInfoExtendedXML(
        describing(format(1055, 128, 128, 16) + format(1068, 56, 56, 128)));
    for (const auto& [name, encoded] : TestSupport::otherEncodings(beyond)) {
        SCOPED_TRACE(name);
        IPodVolume nano(QStringLiteral("MA477"));
        nano.write();
        nano.writeSysInfoExtended(encoded);
        EXPECT_EQ(IPodDatabase(nano.mountPoint()).writeBlocker(),
                  IPodDatabaseError::artworkFormatsOutOfBounds(descriptionFile));
        IPodVolume classic(QStringLiteral("MB029"));
        classic.write();
        classic.removeFile(QStringLiteral("iPod_Control/Device/SysInfo"));
        EXPECT_EQ(
            IPodDatabase(classic.mountPoint(), encoded, WriteTests::product(0x1261)).writeBlocker(),
            IPodDatabaseError::artworkFormatsOutOfBounds(std::nullopt));
    }
    // libgpod saves the cover in the formats and sizes read.
    for (const auto& [name, encoded] : TestSupport::otherEncodings(within)) {
        SCOPED_TRACE(name);
        IPodVolume volume(QStringLiteral("MA477"));
        volume.addTrack({.title = QStringLiteral("Song")});
        volume.write();
        volume.writeSysInfoExtended(encoded);
        IPodDatabase database(volume.mountPoint());
        ASSERT_FALSE(database.writeBlocker()) << database.writeBlocker()->what();
        EXPECT_TRUE(database.registerCopiedFile(volume.trackID(0), png(300, 0x3366CC), {}, {}));
        database.saveLibrary();
        EXPECT_EQ(
            QFileInfo(volume.path(QStringLiteral("iPod_Control/Artwork/F1055_1.ithmb"))).size(),
            128 * 2 * 128);
        EXPECT_EQ(
            QFileInfo(volume.path(QStringLiteral("iPod_Control/Artwork/F1068_1.ithmb"))).size(),
            128 * 56);
    }
}

TEST(ArtworkFormats, CoversLibgpodCouldNotReadOpenReadOnlyAndSurviveAnEdit) {
    const QString database = QStringLiteral("iPod_Control/Artwork/ArtworkDB");
    const QString folder = QStringLiteral("iPod_Control/Artwork");
    // Each damage, and how the test puts the files back to read the covers.
    struct Row {
        const char* name;
        std::function<void(IPodVolume&)> damage;
        std::function<void(IPodVolume&)> repair;
        QString named;
    };
    const auto asFolder = [&](IPodVolume& volume) {
        volume.removeFile(database);
        ASSERT_TRUE(QDir(volume.mountPoint()).mkdir(database));
    };
    const auto unfolded = [&](IPodVolume& volume) {
        ASSERT_TRUE(QDir(volume.mountPoint()).rmdir(database));
    };
    const auto folderAsFile = [&](IPodVolume& volume) {
        ASSERT_TRUE(QDir(volume.mountPoint()).rename(folder, QStringLiteral("Artwork saved")));
        volume.writeFile(folder, "covers");
    };
    const auto fileAsFolder = [&](IPodVolume& volume) {
        volume.removeFile(folder);
        ASSERT_TRUE(QDir(volume.mountPoint()).rename(QStringLiteral("Artwork saved"), folder));
    };
    QByteArray garbage(4096, '\0');
    for (qsizetype i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919) >> 3);
    // The first image record as libgpod reads it: with no thumbnails, or no image of a track.
    const auto firstImage = [&](qsizetype offset) {
        return [&database, offset](IPodVolume& volume) {
            const qsizetype image = volume.readFile(database).indexOf("mhii");
            volume.patchFile(database, image + offset, QByteArray(4, '\0'));
        };
    };
    const Row rows[] = {
        {"an image whose thumbnails libgpod does not read", firstImage(12), {}, database},
        {"an image libgpod does not map", firstImage(16), {}, database},
        {"4 KB of garbage",
         [&](IPodVolume& volume) { volume.writeFile(database, garbage); },
         {},
         database},
        {"no ArtworkDB beside its thumbnail files",
         [&](IPodVolume& volume) { volume.removeFile(database); },
         {},
         database},
        {"an ArtworkDB that is a folder", asFolder, unfolded, database},
        {"an Artwork folder that is a file", folderAsFile, fileAsFolder, folder},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        IPodVolume volume(QStringLiteral("MA477"));
        addCoveredTracks(volume, 3);
        const QSet<quint64> ids = trackIDs(volume);
        const auto covers = TestSupport::storedImages(volume.mountPoint(), ids);
        ASSERT_EQ(covers.size(), 3);
        const QByteArray stored = volume.readFile(database);
        row.damage(volume);
        const auto before = TestSupport::snapshotTree(volume.mountPoint());
        {
            TestSupport::IgnoredLibgpodLeaks ignored;
            IPodDatabase opened(volume.mountPoint());
            const auto reason = IPodDatabaseError::storedCoversUnreadable(row.named);
            EXPECT_EQ(opened.writeBlocker(), reason);
            for (const AppLanguage language :
                 {AppLanguage::english, AppLanguage::simplifiedChinese})
                EXPECT_TRUE(reason.description(language).contains(row.named));
            EXPECT_EQ(retitle(opened, *ids.cbegin()),
                      IPodDatabaseError::Case::storedCoversUnreadable);
        }
        EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume.mountPoint())),
                  QStringList());
        if (row.repair)
            row.repair(volume);
        volume.writeFile(database, stored);
        EXPECT_EQ(TestSupport::storedImages(volume.mountPoint(), ids), covers);
    }
}

TEST(ArtworkFormats, AnIPodWithoutCoversOrArtworkDBStaysWritable) {
    for (const bool withFolder : {true, false}) {
        SCOPED_TRACE(withFolder ? "an empty Artwork folder" : "no Artwork folder");
        IPodVolume volume(QStringLiteral("MA477"));
        volume.addTrack({.title = QStringLiteral("Song")});
        volume.write();
        volume.removeFile(withFolder ? QStringLiteral("iPod_Control/Artwork/ArtworkDB")
                                     : QStringLiteral("iPod_Control/Artwork"));
        // libgpod leaks the path of the Artwork folder it makes.
        const TestSupport::IgnoredLibgpodLeaks ignored;
        IPodDatabase database(volume.mountPoint());
        ASSERT_FALSE(database.writeBlocker()) << database.writeBlocker()->what();
        EXPECT_EQ(retitle(database, volume.trackID(0)), std::nullopt);
    }
}

TEST(ArtworkFormats, WithoutADescriptionTheModelsOwnFormatsMustHoldTheStoredCovers) {
    // libgpod's formats per generation, as it saves them: nano 1G and 2G, nano 3G and the
    // classics, nano 4G. Covers keep where the two models share a format.
    struct Row {
        const char* covers;
        const char* named;
        bool blocked;
    };
    const Row rows[] = {
        {"MA350", "MA350", false}, {"MA477", "MA477", false}, {"MA978", "MA978", false},
        {"MB480", "MB480", false}, {"MB029", "MB029", false}, {"MB562", "MB562", false},
        {"MC293", "MC293", false}, {"MA350", "MA477", false}, {"MA978", "MC293", false},
        {"MB480", "MB029", false}, {"MA477", "MB029", true},  {"MB029", "MA477", true},
        {"MA477", "MB480", true},
    };
    const QString sysInfo = QStringLiteral("iPod_Control/Device/SysInfo");
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.covers) + " covers, " + row.named + " named");
        IPodVolume volume(QString::fromUtf8(row.covers));
        addCoveredTracks(volume, 3);
        const QSet<quint64> ids = trackIDs(volume);
        const auto covers = TestSupport::storedImages(volume.mountPoint(), ids);
        ASSERT_EQ(covers.size(), 3);
        const QByteArray own = volume.readFile(sysInfo);
        volume.writeSysInfo("ModelNumStr: " + QByteArray(row.named) +
                            "\nFirewireGuid: " + IPodVolume::defaultFirewireGuid().toUtf8() + "\n");
        const auto before = TestSupport::snapshotTree(volume.mountPoint());
        {
            IPodDatabase database(volume.mountPoint());
            if (row.blocked) {
                EXPECT_EQ(database.writeBlocker(),
                          IPodDatabaseError::storedCoverFormatsOfOtherModel(sysInfo));
                EXPECT_EQ(retitle(database, *ids.cbegin()),
                          IPodDatabaseError::Case::storedCoverFormatsOfOtherModel);
                EXPECT_EQ(TestSupport::differences(before,
                                                   TestSupport::snapshotTree(volume.mountPoint())),
                          QStringList());
            } else {
                ASSERT_FALSE(database.writeBlocker()) << database.writeBlocker()->what();
                EXPECT_EQ(retitle(database, *ids.cbegin()), std::nullopt);
            }
        }
        volume.writeFile(sysInfo, own);
        EXPECT_EQ(TestSupport::storedImages(volume.mountPoint(), ids).keys(), covers.keys());
    }
}

TEST(ArtworkFormats, AModelTakenFromTheDeviceIsNamedSo) {
    // A second-generation nano over USB is read as one without its description: covers stored
    // in a classic's format are not in its formats.
    IPodVolume volume(QStringLiteral("MA477"));
    volume.writeSysInfoExtended(
        TestSupport::sysInfoExtendedXML(describing(format(1055, 128, 128))));
    addCoveredTracks(volume, 2);
    const QSet<quint64> ids = trackIDs(volume);
    const auto covers = TestSupport::storedImages(volume.mountPoint(), ids);
    ASSERT_EQ(covers.size(), 2);
    const auto before = TestSupport::snapshotTree(volume.mountPoint());
    {
        IPodDatabase database(volume.mountPoint(), std::nullopt,
                              WriteTests::product(IPodModel::nano2ProductID));
        ASSERT_EQ(database.generation(), ITDB_IPOD_GENERATION_NANO_2);
        const auto reason = IPodDatabaseError::storedCoverFormatsOfOtherModel(std::nullopt);
        EXPECT_EQ(database.writeBlocker(), reason);
        EXPECT_TRUE(reason.description(AppLanguage::english).contains("over USB"));
        EXPECT_EQ(retitle(database, *ids.cbegin()),
                  IPodDatabaseError::Case::storedCoverFormatsOfOtherModel);
    }
    EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume.mountPoint())),
              QStringList());
    EXPECT_EQ(TestSupport::storedImages(volume.mountPoint(), ids), covers);
}

TEST(ArtworkFormats, EachCoverATrackLinksMustBeHeldReadablyAfterLibgpodsRead) {
    const QString database = QStringLiteral("iPod_Control/Artwork/ArtworkDB");
    // The image count of the ArtworkDB's image list, set to count.
    const auto imagesCounted = [&](quint32 count) {
        return [&database, count](IPodVolume& volume) {
            QByteArray bytes(4, '\0');
            qToLittleEndian(count, bytes.data());
            volume.patchFile(database, volume.readFile(database).indexOf("mhli") + 8, bytes);
        };
    };
    FolderFiles earlier;
    QByteArray older;
    // Each shape: the tracks as built, what is done to the volume then, and whether a title edit
    // is saved. The covers are read with bare libgpod where the tracks show them: after what is
    // done (saved) or before it, once it is undone (read-only).
    struct Row {
        const char* name;
        const char* model;
        std::function<void(IPodVolume&)> build;
        std::function<void(IPodVolume&)> damage;
        bool saved;
    };
    const Row rows[] = {
        {"a track linking the image of a track gone since", "MA477",
         [&](IPodVolume& volume) {
             addCoveredTracks(volume, 2);
             earlier = artworkFiles(volume);
         },
         [&](IPodVolume& volume) {
             removeWritingTheITunesDB(volume, volume.trackID(0));
             putBack(volume, earlier);
         },
         true},
        {"the largest format's thumbnail file gone", "MB029",
         [](IPodVolume& volume) { addCoveredTracks(volume, 3); },
         [](IPodVolume& volume) {
             volume.removeFile(artworkFolder + QStringLiteral("/F1060_1.ithmb"));
         },
         true},
        {"tracks sharing one cover",
         "MB029",
         [](IPodVolume& volume) {
             for (int i = 0; i < 4; ++i)
                 volume.addTrack({.title = QStringLiteral("Song %1").arg(i),
                                  .artist = QStringLiteral("Artist"),
                                  .album = QStringLiteral("Album %1").arg(i / 3),
                                  .artwork = true,
                                  .artworkColor = 0x203040u * quint32(i / 3 + 1)});
             volume.write();
         },
         {},
         true},
        {"an image list counting one image of three", "MA477",
         [](IPodVolume& volume) { addCoveredTracks(volume, 3); }, imagesCounted(1), false},
        {"an image list counting none of three", "MA477",
         [](IPodVolume& volume) { addCoveredTracks(volume, 3); }, imagesCounted(0), false},
        {"an ArtworkDB from before the last cover was added", "MA477",
         [&](IPodVolume& volume) {
             addCoveredTracks(volume, 2);
             older = volume.readFile(database);
             volume.addTrack(
                 {.title = QStringLiteral("Last"), .artwork = true, .artworkColor = 0xC02020});
             volume.write();
         },
         [&](IPodVolume& volume) { volume.writeFile(database, older); }, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        IPodVolume volume(QString::fromUtf8(row.model));
        row.build(volume);
        const quint64 edited = volume.trackID(volume.trackCount() - 1);
        const QByteArray stored = volume.readFile(database);
        auto covers = TestSupport::libgpodCovers(volume.mountPoint());
        if (row.damage)
            row.damage(volume);
        if (row.saved)
            covers = TestSupport::libgpodCovers(volume.mountPoint());
        ASSERT_FALSE(covers.isEmpty());
        const auto before = TestSupport::snapshotTree(volume.mountPoint());
        {
            IPodDatabase opened(volume.mountPoint());
            if (row.saved) {
                ASSERT_FALSE(opened.writeBlocker()) << opened.writeBlocker()->what();
                EXPECT_EQ(retitle(opened, edited), std::nullopt);
            } else {
                EXPECT_EQ(opened.writeBlocker(),
                          IPodDatabaseError::storedCoversUnreadable(database));
                EXPECT_EQ(retitle(opened, edited), IPodDatabaseError::Case::storedCoversUnreadable);
                EXPECT_EQ(TestSupport::differences(before,
                                                   TestSupport::snapshotTree(volume.mountPoint())),
                          QStringList());
                volume.writeFile(database, stored);
            }
        }
        EXPECT_EQ(TestSupport::libgpodCovers(volume.mountPoint()), covers);
    }
}

TEST(ArtworkFormats, AFormatIDLibgpodCannotReadBackIsOutOfBounds) {
    // libgpod reads a stored cover's format back as a signed 16-bit number.
    for (const qint64 id : {1027, 32767, 32768, 40000, 65536}) {
        SCOPED_TRACE(id);
        IPodVolume volume(
            QStringLiteral("MA477"),
            {.sysInfoExtended = TestSupport::sysInfoExtendedXML(describing(format(id, 100, 100)))});
        addCoveredTracks(volume, 1);
        const bool readBack = !TestSupport::libgpodCovers(volume.mountPoint()).isEmpty();
        EXPECT_EQ(readBack, id <= 32767);
        const auto before = TestSupport::snapshotTree(volume.mountPoint());
        IPodDatabase database(volume.mountPoint());
        if (readBack) {
            EXPECT_FALSE(database.writeBlocker()) << database.writeBlocker()->what();
            continue;
        }
        EXPECT_EQ(database.writeBlocker(),
                  IPodDatabaseError::artworkFormatsOutOfBounds(descriptionFile));
        EXPECT_EQ(retitle(database, volume.trackID(0)),
                  IPodDatabaseError::Case::artworkFormatsOutOfBounds);
        EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume.mountPoint())),
                  QStringList());
    }
}

// A damaged ArtworkDB is left out of libgpod's reading; beside no stored cover it costs nothing,
// and the save writes a sound one in its place, also through a forced model's shadow.
TEST(ArtworkFormats, ADamagedArtworkDBBesideNoStoredCoverIsReplacedByTheSave) {
    const QString database = QStringLiteral("iPod_Control/Artwork/ArtworkDB");
    for (const QByteArray& damaged :
         {QByteArray(), QByteArray(60, 'x'), QByteArray(4096, '\x7f')}) {
        for (const bool forced : {false, true}) {
            SCOPED_TRACE(std::to_string(damaged.size()) + (forced ? " bytes, forced" : " bytes"));
            IPodVolume volume(QStringLiteral("MA477"));
            volume.addTrack({.title = QStringLiteral("Song")});
            volume.write();
            volume.writeFile(database, damaged);
            const auto pid =
                forced ? WriteTests::product(0x1260) : IPodDatabase::ProductIDProvider();
            const TestSupport::IgnoredLibgpodLeaks ignored;
            {
                IPodDatabase opened(volume.mountPoint(), std::nullopt, pid);
                ASSERT_FALSE(opened.writeBlocker()) << opened.writeBlocker()->what();
                EXPECT_EQ(retitle(opened, volume.trackID(0)), std::nullopt);
            }
            EXPECT_TRUE(ITunesDBStructure::isSoundArtworkDB(volume.readFile(database)));
            IPodDatabase reopened(volume.mountPoint(), std::nullopt, pid);
            EXPECT_FALSE(reopened.writeBlocker());
            EXPECT_EQ(reopened.loadTracks().value(0).title, QStringLiteral("Retitled"));
        }
    }
}

// What an import counts for the covers it adds is what libgpod's save writes for them: the
// thumbnail files grow by the stored images times a thumbnail in each format (rows padded), and
// the ArtworkDB is at most what is counted, and within 64 bytes an image of it. Three songs of
// one album with one picture make one image on the models that share covers, or with a
// description that says it supports that, three elsewhere.
TEST(ArtworkFormats, TheStorageCountedForNewCoversIsWhatLibgpodWrites) {
    const auto own =
        describing(format(1027, 50, 50, 16) + format(1031, 33, 7) + format(31000, 41, 41, 4));
    const auto sparse = [&](bool supported) {
        return own + QList<std::pair<QString, QVariant>>{
                         {QStringLiteral("SupportsSparseArtwork"), supported}};
    };
    const struct {
        const char* model;
        std::optional<QList<std::pair<QString, QVariant>>> description;
        qint64 images;
    } cases[] = {
        {"MA477", std::nullopt, 3}, {"MB029", std::nullopt, 1}, {"MB480", std::nullopt, 1},
        {"MA477", own, 3},          {"MA477", sparse(true), 1}, {"MB029", sparse(false), 1},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(std::string(test.model) + (test.description ? " described" : ""));
        IPodVolume volume{QLatin1String(test.model)};
        std::optional<PropertyList> description;
        if (test.description) {
            const QByteArray xml = TestSupport::sysInfoExtendedXML(*test.description);
            volume.writeSysInfoExtended(xml);
            description = PropertyList::parseDictionary(xml);
        }
        for (int i = 0; i < 3; ++i)
            volume.addTrack({.title = QStringLiteral("Song %1").arg(i),
                             .album = QStringLiteral("One"),
                             .artwork = true,
                             .artworkColor = 0x204080});
        volume.write();
        const ArtworkFormats::CoverStorage storage = ArtworkFormats::coverStorage(
            description, IPodDatabase(volume.mountPoint()).generation());
        EXPECT_EQ(storage.sharedInAlbum, test.images == 1);
        qint64 image = 0;
        for (const ArtworkFormats::CoverStorage::Format& format : storage.formats)
            image += format.thumbnailBytes;
        qint64 thumbnails = 0;
        const QDir artwork(volume.path(QStringLiteral("iPod_Control/Artwork")));
        for (const QFileInfo& file : artwork.entryInfoList({QStringLiteral("*.ithmb")}))
            thumbnails += file.size();
        EXPECT_EQ(thumbnails, test.images * image);
        const qint64 database = QFileInfo(artwork.filePath(QStringLiteral("ArtworkDB"))).size();
        EXPECT_LE(database, storage.databaseBytes(test.images));
        EXPECT_LT(storage.databaseBytes(test.images) - database, 64 * test.images);
    }
}

// libgpod saves a new cover at the end of each thumbnail file: in a file missing or cut short,
// where stored covers are recorded. While one is, no cover is added (an import refuses songs with
// one), and every stored cover reads back as before; with the files whole, the cover is taken.
TEST(ArtworkFormats, NoCoverIsAddedWhileAThumbnailFileIsShortOfItsCovers) {
    const QString file = QStringLiteral("iPod_Control/Artwork/F1060_1.ithmb");
    const std::pair<const char*, std::function<void(IPodVolume&)>> rows[] = {
        {"whole", [](IPodVolume&) {}},
        {"missing", [&](IPodVolume& volume) { volume.removeFile(file); }},
        {"cut short",
         [&](IPodVolume& volume) { volume.writeFile(file, volume.readFile(file).left(1000)); }},
    };
    for (const auto& [name, damage] : rows) {
        SCOPED_TRACE(name);
        IPodVolume volume(QStringLiteral("MB029"));
        addCoveredTracks(volume, 3);
        damage(volume);
        // What the thumbnail file holds, none when it is missing.
        const auto held = [&]() -> std::optional<QByteArray> {
            if (!QFileInfo::exists(volume.path(file)))
                return std::nullopt;
            return volume.readFile(file);
        };
        const std::optional<QByteArray> thumbnails = held();
        const auto before = TestSupport::libgpodCovers(volume.mountPoint());
        const bool whole = std::string_view(name) == "whole";
        {
            IPodDatabase database(volume.mountPoint());
            ASSERT_FALSE(database.writeBlocker()) << database.writeBlocker()->what();
            EXPECT_EQ(database.shortCoverFile(), whole ? std::nullopt : std::optional(file));
            database.registerCopiedFile(volume.trackID(2), png(64, 0x00FF00), std::nullopt,
                                        std::nullopt);
            database.saveLibrary();
        }
        auto after = TestSupport::libgpodCovers(volume.mountPoint());
        EXPECT_EQ(after.take(volume.trackID(2)) == before.value(volume.trackID(2)), !whole);
        after.insert(volume.trackID(2), before.value(volume.trackID(2)));
        EXPECT_EQ(after, before);
        if (!whole) {
            EXPECT_EQ(held(), thumbnails);
        }
    }
}
