// Stored thumbnails whose ArtworkDB record does not match its .ithmb file are never handed to
// libgpod: the cover shows from another of its thumbnails, or is refused when none passes. One
// that libgpod cannot decode without reading past its buffer costs the cover process that cover
// alone; the other covers still load.

#include "library/ArtworkDBImages.h"
#include "library/StoredCovers.h"
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

class DamagedArtworkDB : public ::testing::Test {
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

    // The covers the cover process gives, after the middle track's thumbnail records were
    // changed by edit (bytes, offset of one mhni).
    QSet<quint64> coversAfter(const std::function<void(QByteArray&, qsizetype)>& edit,
                              int thumbnail = 0) {
        QByteArray damaged = healthy;
        edit(damaged, thumbnailsOf(healthy, volume.trackID(1)).value(thumbnail));
        volume.writeFile(artworkDB, damaged);
        const QHash<quint64, StoredCover> covers = StoredCovers::read(
            {volume.mountPoint(), std::nullopt, std::nullopt, "covers"}, ids.values());
        QSet<quint64> shown;
        for (auto it = covers.cbegin(); it != covers.cend(); ++it) {
            if (it->state == StoredCover::State::image)
                shown.insert(it.key());
            else
                EXPECT_EQ(it->state, StoredCover::State::damaged);
        }
        return shown;
    }

    IPodVolume volume{QStringLiteral("MA477")};
    QByteArray healthy;
    QSet<quint64> ids;
};

const QString artworkFolder = QStringLiteral("iPod_Control/Artwork");

} // namespace

TEST_F(DamagedArtworkDB, AThumbnailThatDoesNotMatchItsFileCostsOnlyItsOwnCover) {
    const QSet<quint64> others{volume.trackID(0), volume.trackID(2)};
    EXPECT_EQ(coversAfter([](QByteArray&, qsizetype) {}), ids);
    // Each damage, and whether the cover still shows from its other thumbnail (one that
    // passes the checks, which libgpod lays out at its own format all the same, does not).
    struct Damage {
        const char* label;
        std::function<void(QByteArray&, qsizetype)> damage;
        bool shownFromTheOther = true;
    };
    const Damage damages[] = {
        {"size one pixel row", [](QByteArray& b, qsizetype at) { writeUInt32(b, at + 24, 200); }},
        {"size 4", [](QByteArray& b, qsizetype at) { writeUInt32(b, at + 24, 4); }},
        {"size ffffffff", [](QByteArray& b, qsizetype at) { writeUInt32(b, at + 24, ~0u); }},
        {"offset past the file",
         [](QByteArray& b, qsizetype at) { writeUInt32(b, at + 20, 1u << 20); }},
        {"offset ffffffff", [](QByteArray& b, qsizetype at) { writeUInt32(b, at + 20, ~0u); }},
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
         },
         false},
    };
    const QList<qsizetype> both = thumbnailsOf(healthy, volume.trackID(1));
    for (const auto& [label, damage, shownFromTheOther] : damages) {
        EXPECT_EQ(coversAfter(damage), shownFromTheOther ? ids : others) << label;
        if (!shownFromTheOther)
            continue;
        EXPECT_EQ(coversAfter([&](QByteArray& b, qsizetype) {
                      for (const qsizetype at : both)
                          damage(b, at);
                  }),
                  others)
            << label << ", both thumbnails";
    }
    // The small thumbnail alone damaged: the cover shows from the large one.
    EXPECT_EQ(coversAfter([](QByteArray& b, qsizetype at) { writeUInt32(b, at + 24, 8); }, 1), ids);
}

TEST_F(DamagedArtworkDB, AnArtworkDBThatCannotBeWalkedCostsTheCoversAndNothingElse) {
    const DatabasePreflight::Request request{volume.mountPoint(), std::nullopt, std::nullopt,
                                             "walk"};
    const auto shown = [&] {
        int images = 0;
        for (const StoredCover& cover : StoredCovers::read(request, ids.values()))
            images += cover.state == StoredCover::State::image;
        return images;
    };
    for (const QByteArray& damaged : {healthy.left(healthy.size() / 2), QByteArray("mhfd")}) {
        volume.writeFile(artworkDB, damaged);
        EXPECT_EQ(shown(), 0);
    }
    volume.removeFile(artworkDB);
    EXPECT_EQ(shown(), 0);
}

TEST(ArtworkDBImages, AnImageIsSoundOnlyWhenEveryRecordOfItsIdsIs) {
    IPodVolume volume(QStringLiteral("MA477"));
    volume.addTrack({.title = QStringLiteral("A"), .artwork = true});
    volume.addTrack({.title = QStringLiteral("B"), .artwork = true});
    volume.write();
    const QString folder = volume.path(artworkFolder);
    QByteArray bytes = volume.readFile(artworkDB);
    const QList<qsizetype> images = recordsTagged(bytes, "mhii");
    ASSERT_EQ(images.size(), 2);
    const quint32 first = readUInt32(bytes, images[0] + 16);
    const quint32 second = readUInt32(bytes, images[1] + 16);
    const quint64 firstSong =
        readUInt32(bytes, images[0] + 20) | quint64(readUInt32(bytes, images[0] + 24)) << 32;

    const ArtworkDBImages sound = ArtworkDBImages::parse(bytes, folder);
    EXPECT_TRUE(sound.isSound(first, 0, 0));
    EXPECT_TRUE(sound.isSound(0, second, 0));
    EXPECT_TRUE(sound.isSound(0, 0, firstSong));
    EXPECT_FALSE(sound.isSound(0, 0, 0)); // nothing recorded under these ids
    EXPECT_FALSE(
        ArtworkDBImages::parse(bytes, folder + QStringLiteral("/none")).isSound(first, 0, 0));

    // The second image claims the first one's song: that song's cover is no longer sure.
    const QList<qsizetype> thumbnails = recordsTagged(bytes, "mhni");
    writeUInt32(bytes, thumbnails.last() + 24, 2);
    writeUInt32(bytes, images[1] + 20, quint32(firstSong));
    writeUInt32(bytes, images[1] + 24, quint32(firstSong >> 32));
    const ArtworkDBImages shared = ArtworkDBImages::parse(bytes, folder);
    EXPECT_TRUE(shared.isSound(first, 0, 0));
    EXPECT_FALSE(shared.isSound(first, 0, firstSong));
    EXPECT_FALSE(shared.isSound(second, 0, 0));
}
