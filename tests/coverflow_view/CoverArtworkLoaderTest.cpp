#include "CoverFlowViewFixture.h"

#include "device/CoverArtworkLoader.h"
#include "library/StoredCovers.h"
#include "platform/Task.h"
#include "support/AudioFixtures.h"
#include "transfer/LorvanelCoverArtwork.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>

#include <future>

namespace {

QByteArray encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage solid(QSize size, const QColor& colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

bool near(const QColor& a, const QColor& b, int tolerance = 8) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// A JPEG whose EXIF orientation says "turn a quarter clockwise to show".
QByteArray jpegTurnedClockwise(const QImage& image) {
    const QByteArray jpeg = encoded(image, "JPEG");
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    tiff += QByteArray("\x01\x00", 2);                                          // one entry
    tiff += QByteArray("\x12\x01\x03\x00\x01\x00\x00\x00\x06\x00\x00\x00", 12); // orientation 6
    tiff += QByteArray("\0\0\0\0", 4);                                          // no next directory
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    const int length = int(payload.size()) + 2;
    QByteArray app1("\xFF\xE1", 2);
    app1 += char(length >> 8);
    app1 += char(length & 0xFF);
    return jpeg.left(2) + app1 + payload + jpeg.mid(2);
}

} // namespace

class CoverArtworkLoaderTest : public CoverFlowViewFixture {
protected:
    QTemporaryDir scratch;

    // An MP3 whose ID3 tag carries the picture.
    QString songWithPicture(const QString& name, const QByteArray& picture,
                            const QByteArray& mime) {
        const QString plain = scratch.filePath(QStringLiteral("plain.mp3"));
        if (!QFile::exists(plain)) {
            TestSupport::ToneSpec tone;
            tone.seconds = 0.3;
            EXPECT_TRUE(TestSupport::makeTone(plain, tone));
        }
        QFile in(plain);
        EXPECT_TRUE(in.open(QIODevice::ReadOnly));
        const QString path = scratch.filePath(name);
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        TestSupport::AudioTags tags;
        tags.title = name;
        out.write(TestSupport::id3v23Tag(tags, picture, mime) + in.readAll());
        return path;
    }

    static TestSupport::TrackSpec track(const QString& title, quint64 id) {
        TestSupport::TrackSpec spec;
        spec.title = title;
        spec.album = title;
        spec.dbid = id;
        return spec;
    }
};

TEST_F(CoverArtworkLoaderTest, ReadsTheDatabaseThenTheFileAndKnowsTheDefaultCover) {
    if (!TestSupport::hasFFmpegTool())
        GTEST_SKIP() << "no ffmpeg tool";
    ASSERT_TRUE(LorvanelCoverArtwork::defaultCoverData().has_value());
    QList<TestSupport::TrackSpec> tracks;
    auto stored = track(QStringLiteral("stored"), 101);
    stored.artwork = true;
    stored.artworkColor = 0xC02020;
    tracks << stored;
    auto embedded = track(QStringLiteral("embedded"), 102);
    embedded.sourceFile =
        songWithPicture(QStringLiteral("embedded.mp3"),
                        encoded(solid({600, 400}, QColor(30, 60, 200)), "PNG"), "image/png");
    tracks << embedded;
    auto ours = track(QStringLiteral("default"), 103);
    ours.artwork = true;
    ours.artworkData = *LorvanelCoverArtwork::defaultCoverData();
    tracks << ours;
    auto bare = track(QStringLiteral("bare"), 104);
    tracks << bare;
    auto gone = track(QStringLiteral("gone"), 105);
    gone.withoutFile = true;
    tracks << gone;
    auto turned = track(QStringLiteral("turned"), 106);
    QImage halves(400, 200, QImage::Format_RGB32);
    halves.fill(Qt::blue);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            halves.setPixel(x, y, qRgb(220, 20, 20));
    turned.sourceFile =
        songWithPicture(QStringLiteral("turned.mp3"), jpegTurnedClockwise(halves), "image/jpeg");
    tracks << turned;
    const QString path = addVolume(tracks);
    const IPodDevice device = *IPodDevice::fromMountPoint(path);

    const QHash<quint64, QByteArray> covers =
        CoverArtworkLoader::loadArtwork(device, {101, 102, 103, 104, 105, 106, 999}).covers;
    EXPECT_EQ(QSet<quint64>(covers.keyBegin(), covers.keyEnd()),
              (QSet<quint64>{101, 102, 103, 106}));
    const QImage fromDatabase = QImage::fromData(covers.value(101));
    ASSERT_FALSE(fromDatabase.isNull());
    EXPECT_TRUE(
        near(fromDatabase.pixelColor(fromDatabase.rect().center()), QColor(0xC0, 0x20, 0x20)));
    // The file's picture, shrunk to 320 pixels on its longer side.
    const QImage fromFile = QImage::fromData(covers.value(102), "PNG");
    EXPECT_EQ(fromFile.size(), QSize(320, 213));
    EXPECT_TRUE(near(fromFile.pixelColor(100, 100), QColor(30, 60, 200)));
    // The iPod's copy of the default cover gives the default cover's own bytes.
    EXPECT_EQ(covers.value(103), *LorvanelCoverArtwork::defaultCoverData());
    // Turned upright by its orientation: the left half (red) is now on top.
    const QImage upright = QImage::fromData(covers.value(106), "PNG");
    EXPECT_EQ(upright.size(), QSize(160, 320));
    EXPECT_TRUE(near(upright.pixelColor(80, 40), QColor(220, 20, 20), 30));
    EXPECT_TRUE(near(upright.pixelColor(80, 280), QColor(Qt::blue), 30));
}

TEST_F(CoverArtworkLoaderTest, PicturesTooLargeToBeCoversAreNotRead) {
    if (!TestSupport::hasFFmpegTool())
        GTEST_SKIP() << "no ffmpeg tool";
    QList<TestSupport::TrackSpec> tracks;
    // 2400 x 2400 x 3 bytes: a picture of more than 16 MiB, though one gdk-pixbuf decodes.
    auto heavy = track(QStringLiteral("heavy"), 201);
    heavy.sourceFile = songWithPicture(QStringLiteral("heavy.mp3"),
                                       encoded(solid({2400, 2400}, Qt::green), "BMP"), "image/bmp");
    tracks << heavy;
    auto light = track(QStringLiteral("light"), 202);
    light.sourceFile = songWithPicture(QStringLiteral("light.mp3"),
                                       encoded(solid({1000, 1000}, Qt::green), "BMP"), "image/bmp");
    tracks << light;
    auto wide = track(QStringLiteral("wide"), 203);
    wide.sourceFile = songWithPicture(QStringLiteral("wide.mp3"),
                                      encoded(solid({9000, 4}, Qt::green), "PNG"), "image/png");
    tracks << wide;
    const QString path = addVolume(tracks);
    const auto covers =
        CoverArtworkLoader::loadArtwork(*IPodDevice::fromMountPoint(path), {201, 202, 203}).covers;
    EXPECT_EQ(QSet<quint64>(covers.keyBegin(), covers.keyEnd()), QSet<quint64>{202});
    EXPECT_EQ(QImage::fromData(covers.value(202)).size(), QSize(320, 320));
}

TEST_F(CoverArtworkLoaderTest, AVolumeThatChangedOrACancelledReadGivesNothing) {
    const QString path = addVolume(albums(3));
    const IPodDevice device = *IPodDevice::fromMountPoint(path);
    EXPECT_EQ(CoverArtworkLoader::loadArtwork(device, keysOf(0, 2)).covers.size(), 3);

    // Cancelled before it began: no database is opened.
    std::promise<void> cancelled;
    std::shared_future<void> gate = cancelled.get_future().share();
    std::optional<CoverArtworkLoader::Artwork> result;
    QObject receiver;
    Task task = Task::run(
        TaskPriority::utility, &receiver,
        [gate, device] {
            gate.wait();
            return CoverArtworkLoader::loadArtwork(device, keysOf(0, 2));
        },
        [&result](std::optional<CoverArtworkLoader::Artwork> value, std::exception_ptr) {
            result = std::move(value);
        });
    task.cancel();
    cancelled.set_value();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return result.has_value(); }));
    EXPECT_TRUE(result->covers.isEmpty());

    // Another volume now at the same path: whatever was read is not this device's.
    const QString moved = path + QStringLiteral("-old");
    ASSERT_TRUE(QDir().rename(path, moved));
    ASSERT_TRUE(QDir().mkpath(path));
    ASSERT_TRUE(QDir().rename(moved + QStringLiteral("/iPod_Control"),
                              path + QStringLiteral("/iPod_Control")));
    QDir(moved).removeRecursively();
    EXPECT_TRUE(CoverArtworkLoader::loadArtwork(device, keysOf(0, 2)).covers.isEmpty());
    EXPECT_EQ(CoverArtworkLoader::loadArtwork(*IPodDevice::fromMountPoint(path), keysOf(0, 2))
                  .covers.size(),
              3);
}

TEST(CoverThumbnailTest, ShrinksNeverEnlargesAndRefusesWhatIsNoPicture) {
    const auto small = CoverArtworkLoader::thumbnailPNG(encoded(solid({100, 60}, Qt::red), "JPEG"));
    ASSERT_TRUE(small.has_value());
    EXPECT_EQ(QImage::fromData(*small, "PNG").size(), QSize(100, 60));
    const auto tall = CoverArtworkLoader::thumbnailPNG(encoded(solid({500, 1000}, Qt::red), "PNG"));
    ASSERT_TRUE(tall.has_value());
    EXPECT_EQ(QImage::fromData(*tall, "PNG").size(), QSize(160, 320));
    EXPECT_FALSE(CoverArtworkLoader::thumbnailPNG("no picture at all").has_value());
    EXPECT_FALSE(CoverArtworkLoader::thumbnailPNG({}).has_value());
}

// One stored cover whose thumbnails' records each claim fewer bytes than their pixels take
// (libgpod would read past its buffer decoding them) is refused before it is decoded; the other
// covers still load.
TEST_F(CoverArtworkLoaderTest, AStoredCoverWhoseRecordOutgrowsItsBytesIsRefusedAlone) {
    const QString path = addVolume(albums(3));
    const QString artworkDB = path + QStringLiteral("/iPod_Control/Artwork/ArtworkDB");
    QFile file(artworkDB);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    file.close();
    const quint64 damaged = firstTrackID(1);
    const auto word = [&bytes](qsizetype at) {
        return quint32(quint8(bytes[at])) | quint32(quint8(bytes[at + 1])) << 8 |
               quint32(quint8(bytes[at + 2])) << 16 | quint32(quint8(bytes[at + 3])) << 24;
    };
    qsizetype image = -1;
    for (qsizetype at = bytes.indexOf("mhii"); at >= 0; at = bytes.indexOf("mhii", at + 4))
        if ((word(at + 20) | quint64(word(at + 24)) << 32) == damaged)
            image = at;
    ASSERT_GE(image, 0);
    const qsizetype next = bytes.indexOf("mhii", image + 4);
    ASSERT_GT(bytes.indexOf("mhni", image), 0);
    for (qsizetype thumbnail = bytes.indexOf("mhni", image);
         thumbnail > 0 && (next < 0 || thumbnail < next);
         thumbnail = bytes.indexOf("mhni", thumbnail + 4))
        bytes.replace(thumbnail + 24, 4, QByteArray("\x10\0\0\0", 4)); // 16 bytes
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();

    const auto covers =
        CoverArtworkLoader::loadArtwork(*IPodDevice::fromMountPoint(path), keysOf(0, 2)).covers;
    EXPECT_EQ(QSet<quint64>(covers.keyBegin(), covers.keyEnd()),
              (QSet<quint64>{firstTrackID(0), firstTrackID(2)}));
}

// Stored covers are decoded by the volume's cover process, never here: a device description
// that makes libgpod read past its buffers costs the stored covers and nothing else, and a
// temporary folder that cannot be written costs nothing.
TEST_F(CoverArtworkLoaderTest, StoredCoversAreDecodedOutsideThisProcess) {
    const QString path = addVolume(albums(2));
    const IPodDevice device = *IPodDevice::fromMountPoint(path);
    const std::optional<QByteArray> temporary =
        qEnvironmentVariableIsSet("TMPDIR") ? std::optional(qgetenv("TMPDIR")) : std::nullopt;
    qputenv("TMPDIR", QFile::encodeName(scratch.filePath(QStringLiteral("none/such"))));
    StoredCovers::endAll();
    EXPECT_EQ(CoverArtworkLoader::loadArtwork(device, keysOf(0, 1)).covers.size(), 2);
    temporary ? qputenv("TMPDIR", *temporary) : qunsetenv("TMPDIR");

    volumeAt(path).writeSysInfoExtended(TestSupport::sysInfoExtendedXML(
        {{QStringLiteral("AlbumArt"),
          QByteArray("<array><dict><key>FormatId</key><integer>1027</integer>"
                     "<key>RenderWidth</key><integer>100</integer><key>RenderHeight</key>"
                     "<integer>100</integer><key>PixelFormat</key><string>4C353635</string>"
                     "<key>RowBytesAlignment</key><integer>1024</integer></dict></array>")}}));
    const CoverArtworkLoader::Artwork damaged =
        CoverArtworkLoader::loadArtwork(device, keysOf(0, 1));
    EXPECT_TRUE(damaged.covers.isEmpty());
    EXPECT_TRUE(damaged.unknown.isEmpty()) << "damaged covers are known to be so";
}
