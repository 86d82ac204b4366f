// Stored covers whose ArtworkDB record does not match its .ithmb file are refused before libgpod
// decodes them (which would read past its buffer or read garbage); the other covers still load.

#include "library/ArtworkDBImages.h"
#include "library/GpodExtensions.h"
#include "library/IPodDatabase.h"
#include "support/DamagedDatabases.h"
#include "support/IPodVolume.h"

#include <gtest/gtest.h>

#include <functional>

using TestSupport::IPodVolume;
using TestSupport::readUInt32;
using TestSupport::writeUInt32;

namespace {

const QString artworkDB = QStringLiteral("iPod_Control/Artwork/ArtworkDB");

// Offsets of every record with this tag, in file order.
QList<qsizetype> recordsTagged(const QByteArray& bytes, const char* tag) {
    QList<qsizetype> found;
    for (qsizetype at = bytes.indexOf(tag); at >= 0; at = bytes.indexOf(tag, at + 4))
        found.append(at);
    return found;
}

// The mhni records of the image of a song.
QList<qsizetype> thumbnailsOf(const QByteArray& bytes, quint64 songID) {
    const QList<qsizetype> images = recordsTagged(bytes, "mhii");
    for (qsizetype i = 0; i < images.size(); ++i) {
        const qsizetype at = images[i];
        const quint64 song = readUInt32(bytes, at + 20) | quint64(readUInt32(bytes, at + 24)) << 32;
        if (song != songID)
            continue;
        const qsizetype end = i + 1 < images.size() ? images[i + 1] : bytes.size();
        QList<qsizetype> thumbnails;
        for (const qsizetype mhni : recordsTagged(bytes, "mhni"))
            if (mhni > at && mhni < end)
                thumbnails.append(mhni);
        return thumbnails;
    }
    return {};
}

class StoredCovers : public ::testing::Test {
protected:
    void SetUp() override {
        for (quint32 i = 0; i < 3; ++i)
            volume.addTrack({.title = QStringLiteral("Cover %1").arg(i),
                             .artwork = true,
                             .artworkColor = 0x305090 + 0x402000 * i});
        volume.write();
        healthy = volume.readFile(artworkDB);
        for (int i = 0; i < 3; ++i)
            ids.insert(volume.trackID(i));
        ASSERT_EQ(thumbnailsOf(healthy, volume.trackID(1)).size(), 2);
    }

    // The covers an in-process session reads, after the middle track's thumbnail records were
    // changed by edit (bytes, offset of one mhni).
    QSet<quint64> coversAfter(const std::function<void(QByteArray&, qsizetype)>& edit,
                              int thumbnail = 0) {
        QByteArray damaged = healthy;
        edit(damaged, thumbnailsOf(healthy, volume.trackID(1)).value(thumbnail));
        volume.writeFile(artworkDB, damaged);
        const IPodDatabase database(volume.mountPoint());
        const QHash<quint64, QByteArray> covers = database.artworkPNG(ids);
        EXPECT_EQ(database.hasIntactArtwork(volume.trackID(1)), covers.contains(volume.trackID(1)));
        EXPECT_TRUE(database.hasIntactArtwork(volume.trackID(2)));
        return QSet<quint64>(covers.keyBegin(), covers.keyEnd());
    }

    IPodVolume volume{QStringLiteral("MA477")};
    QByteArray healthy;
    QSet<quint64> ids;
};

} // namespace

TEST_F(StoredCovers, AThumbnailThatDoesNotMatchItsFileCostsOnlyItsOwnCover) {
    const QSet<quint64> others{volume.trackID(0), volume.trackID(2)};
    EXPECT_EQ(coversAfter([](QByteArray&, qsizetype) {}), ids);
    const std::pair<const char*, std::function<void(QByteArray&, qsizetype)>> damages[] = {
        {"size one pixel row", [](QByteArray& b, qsizetype at) { writeUInt32(b, at + 24, 200); }},
        {"size 4", [](QByteArray& b, qsizetype at) { writeUInt32(b, at + 24, 4); }},
        {"size doubled",
         [](QByteArray& b, qsizetype at) { writeUInt32(b, at + 24, 2 * readUInt32(b, at + 24)); }},
        {"size ffffffff", [](QByteArray& b, qsizetype at) { writeUInt32(b, at + 24, ~0u); }},
        {"offset past the file",
         [](QByteArray& b, qsizetype at) { writeUInt32(b, at + 20, 1u << 20); }},
        {"offset ffffffff", [](QByteArray& b, qsizetype at) { writeUInt32(b, at + 20, ~0u); }},
        {"another format's id",
         [](QByteArray& b, qsizetype at) {
             // The small thumbnail's format, with the large one's size.
             writeUInt32(b, at + 16, readUInt32(b, at + 16 + 164));
         }},
        {"width beyond the pixels",
         [](QByteArray& b, qsizetype at) { b.replace(at + 34, 2, QByteArray("\xFF\x7F", 2)); }},
        {"file name of no file", [](QByteArray& b, qsizetype at) { b[at + 76 + 36 + 4] = 'X'; }},
        {"size, height, width and the file list's size alike",
         [](QByteArray& b, qsizetype at) {
             // All agree, but libgpod lays the pixels out at its 100x100 format all the same.
             writeUInt32(b, at + 24, 100);
             b.replace(at + 32, 4, QByteArray("\x01\x00\x64\x00", 4));
             for (const qsizetype format : recordsTagged(b, "mhif"))
                 if (readUInt32(b, format + 16) == readUInt32(b, at + 16))
                     writeUInt32(b, format + 20, 100);
         }},
    };
    for (const auto& [label, damage] : damages)
        EXPECT_EQ(coversAfter(damage), others) << label;
    // The small thumbnail alone damaged: the cover is refused all the same.
    EXPECT_EQ(coversAfter([](QByteArray& b, qsizetype at) { writeUInt32(b, at + 24, 8); }, 1),
              others);
}

TEST_F(StoredCovers, AnArtworkDBThatCannotBeWalkedCostsTheCoversAndNothingElse) {
    const QByteArray cut = healthy.left(healthy.size() / 2);
    volume.writeFile(artworkDB, healthy);
    const IPodDatabase database(volume.mountPoint());
    volume.writeFile(artworkDB, cut);
    EXPECT_TRUE(database.artworkPNG(ids).isEmpty());
    EXPECT_EQ(database.loadTracks().size(), 3);
    volume.writeFile(artworkDB, QByteArray("mhfd"));
    EXPECT_TRUE(database.artworkPNG(ids).isEmpty());
    volume.removeFile(artworkDB);
    EXPECT_TRUE(database.artworkPNG(ids).isEmpty());
}

TEST(ArtworkDBImages, AnImageIsSoundOnlyWhenEveryRecordOfItsIdsIs) {
    IPodVolume volume(QStringLiteral("MA477"));
    volume.addTrack({.title = QStringLiteral("A"), .artwork = true});
    volume.addTrack({.title = QStringLiteral("B"), .artwork = true});
    volume.write();
    const QString folder = volume.path(QStringLiteral("iPod_Control/Artwork"));
    QByteArray bytes = volume.readFile(artworkDB);
    const QList<qsizetype> images = recordsTagged(bytes, "mhii");
    ASSERT_EQ(images.size(), 2);
    const quint32 first = readUInt32(bytes, images[0] + 16);
    const quint32 second = readUInt32(bytes, images[1] + 16);
    const quint64 firstSong =
        readUInt32(bytes, images[0] + 20) | quint64(readUInt32(bytes, images[0] + 24)) << 32;

    const ArtworkDBImages::FormatSizes formats = ArtworkDBImages::formatSizes(bytes);
    EXPECT_EQ(formats, (ArtworkDBImages::FormatSizes{{1027, 20000}, {1031, 3528}}));
    const ArtworkDBImages sound = ArtworkDBImages::parse(bytes, folder, formats);
    EXPECT_TRUE(sound.isSound(first, 0, 0));
    EXPECT_TRUE(sound.isSound(0, second, 0));
    EXPECT_TRUE(sound.isSound(0, 0, firstSong));
    EXPECT_FALSE(sound.isSound(0, 0, 0)); // nothing recorded under these ids
    EXPECT_FALSE(ArtworkDBImages::parse(bytes, folder + QStringLiteral("/none"), formats)
                     .isSound(first, 0, 0));
    EXPECT_FALSE(ArtworkDBImages::parse(bytes, folder, {}).isSound(first, 0, 0)); // no formats

    // The second image claims the first one's song: that song's cover is no longer sure.
    const QList<qsizetype> thumbnails = recordsTagged(bytes, "mhni");
    writeUInt32(bytes, thumbnails.last() + 24, 2);
    writeUInt32(bytes, images[1] + 20, quint32(firstSong));
    writeUInt32(bytes, images[1] + 24, quint32(firstSong >> 32));
    const ArtworkDBImages shared = ArtworkDBImages::parse(bytes, folder, formats);
    EXPECT_TRUE(shared.isSound(first, 0, 0));
    EXPECT_FALSE(shared.isSound(first, 0, firstSong));
    EXPECT_FALSE(shared.isSound(second, 0, 0));
}

// A device whose SysInfoExtended lists cover formats of its own has its covers checked by them.
TEST(ArtworkDBImages, TheDevicesOwnCoverFormatsCount) {
    const QByteArray albumArt = "<array><dict><key>FormatId</key><integer>1055</integer>"
                                "<key>RenderWidth</key><integer>64</integer><key>RenderHeight"
                                "</key><integer>60</integer><key>PixelFormat</key><string>"
                                "4C353635</string></dict></array>";
    IPodVolume classic(QStringLiteral("MB029"),
                       {.sysInfoExtended = TestSupport::sysInfoExtendedXML(
                            {{QStringLiteral("FireWireGUID"), IPodVolume::defaultFirewireGuid()},
                             {QStringLiteral("AlbumArt"), albumArt}})});
    classic.addTrack({.title = QStringLiteral("A"), .artwork = true});
    classic.write();
    const IPodDatabase database(classic.mountPoint());
    EXPECT_EQ(lorvanel_itdb_cover_format_sizes(database.database()),
              (ArtworkDBImages::FormatSizes{{1055, 64 * 60 * 2}}));
    EXPECT_EQ(database.artworkPNG({classic.trackID(0)}).size(), 1);
}
