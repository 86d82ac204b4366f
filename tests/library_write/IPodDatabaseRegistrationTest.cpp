// Copied files registered as tracks, rewritten files and artwork, on real libgpod volumes.

#include "WriteTestSupport.h"
#include "library/StoredCoverDecoding.h"
#include "support/AudioFixtures.h"
#include "support/IPodVolume.h"
#include "support/StoredCoverReads.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstring>
#include <random>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using TestSupport::IPodVolume;
using WriteTests::failureOf;
using WriteTests::png;
using Case = IPodDatabaseError::Case;

namespace {

struct PixbufDeleter {
    void operator()(GdkPixbuf* pixbuf) const { g_object_unref(pixbuf); }
};
using PixbufPtr = std::unique_ptr<GdkPixbuf, PixbufDeleter>;

PixbufPtr solid(int width, int height, quint32 rgb) {
    PixbufPtr pixbuf(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height));
    gdk_pixbuf_fill(pixbuf.get(), (rgb << 8) | 0xFF);
    return pixbuf;
}

void setPixel(GdkPixbuf* pixbuf, int row, int column, quint32 rgb) {
    guint8* pixel = gdk_pixbuf_get_pixels(pixbuf) + row * gdk_pixbuf_get_rowstride(pixbuf) +
                    column * gdk_pixbuf_get_n_channels(pixbuf);
    pixel[0] = guint8(rgb >> 16);
    pixel[1] = guint8(rgb >> 8);
    pixel[2] = guint8(rgb);
}

PixbufPtr noise(int width, int height) {
    PixbufPtr pixbuf = solid(width, height, 0);
    std::mt19937 random(7);
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column)
            setPixel(pixbuf.get(), row, column, random() & 0xFFFFFF);
    return pixbuf;
}

// Copies a freshly made tone (or placeholder bytes without the tool) to path.
void copyAudioTo(const QString& path) {
    QTemporaryDir scratch;
    const QString source = scratch.filePath(QStringLiteral("tone.mp3"));
    TestSupport::ToneSpec tone;
    tone.seconds = 0.5;
    if (!TestSupport::hasFFmpegTool() || !TestSupport::makeTone(source, tone)) {
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'a'));
    }
    ASSERT_TRUE(QFile::copy(source, path));
}

Itdb_Track* recordOf(const IPodDatabase& database, quint64 id) {
    return IPodDatabase::resolveTracks({id}, database.database()->tracks).first();
}

} // namespace

TEST(IPodDatabaseRegistration, ACopiedFileBecomesATrackWithItsTagsAndArtwork) {
    IPodVolume volume(QStringLiteral("MA477"));
    const int old = volume.addTrack({.title = QStringLiteral("Old"), .artwork = true});
    volume.write();
    quint64 id = 0;
    {
        IPodDatabase database(volume.mountPoint());
        const QString destination = database.destinationFilename(QStringLiteral("/tmp/Song.MP3"));
        EXPECT_TRUE(
            destination.startsWith(volume.mountPoint() + QStringLiteral("/iPod_Control/Music/F")));
        EXPECT_FALSE(QFileInfo::exists(destination));
        copyAudioTo(destination);
        const Track track = database.registerCopiedFiles(
            destination, QString(), QStringLiteral("Artist"), QStringLiteral("Album"),
            QStringLiteral("Various"), QString(), 2500, 44100, 192, true, png(240, 0x22AA44));
        id = track.id;
        EXPECT_NE(id, 0u);
        EXPECT_EQ(track.playbackPosition, 2);
        EXPECT_EQ(track.format, QStringLiteral("MP3"));
        EXPECT_DOUBLE_EQ(track.duration, 2.5);
        EXPECT_EQ(track.sizeBytes, quint32(QFileInfo(destination).size()));
        EXPECT_TRUE(track.hasCoverArtwork);
        EXPECT_TRUE(track.isMusic);
        // An empty title is empty text in the record (libgpod writes no empty strings).
        ASSERT_NE(recordOf(database, id)->title, nullptr);
        EXPECT_STREQ(recordOf(database, id)->title, "");
        database.saveLibrary();
    }
    IPodDatabase reopened(volume.mountPoint());
    const Itdb_Track* track = recordOf(reopened, id);
    EXPECT_STREQ(track->artist, "Artist");
    EXPECT_STREQ(track->albumartist, "Various");
    EXPECT_EQ(track->genre, nullptr); // an empty genre is none
    EXPECT_STREQ(track->filetype, "MPEG audio file");
    EXPECT_EQ(track->tracklen, 2500);
    EXPECT_EQ(track->samplerate, 44100);
    EXPECT_EQ(track->bitrate, 192);
    EXPECT_EQ(track->mediatype, 1u);
    EXPECT_EQ(track->lyrics_flag, 1);
    EXPECT_EQ(reopened.loadTracks().size(), 2);
    const auto images =
        StoredCovers::read({volume.mountPoint(), std::nullopt, std::nullopt, "registration"},
                           {id, volume.trackID(old), 12345});
    EXPECT_EQ(images[id].state, StoredCover::State::image);
    EXPECT_EQ(images[volume.trackID(old)].state, StoredCover::State::image);
    EXPECT_EQ(images[12345].state, StoredCover::State::none);
    ASSERT_FALSE(images[id].pixels.isEmpty());
    const auto* pixel = reinterpret_cast<const guint8*>(images[id].pixels.constData());
    EXPECT_NEAR(pixel[1], 0xAA, 8); // the green of the cover survived the device format
}

TEST(IPodDatabaseRegistration, FilesThatCannotBeTracksAreRefusedBeforeLibgpodSeesThem) {
    IPodVolume volume(QStringLiteral("MA477"));
    volume.addTrack({});
    volume.write();
    IPodDatabase database(volume.mountPoint());
    const QString folder = volume.path(QStringLiteral("iPod_Control/Music/F02/"));
    const auto refusal = [&](const QString& path, qint32 milliseconds = 1000) {
        return failureOf([&] {
            database.registerCopiedFiles(path, QStringLiteral("T"), {}, {}, {}, {}, milliseconds,
                                         44100, 128, true, std::nullopt);
        });
    };
    for (const char* name : {"a.aac", "a.wav", "a.m4b"}) {
        volume.writeFile(QStringLiteral("iPod_Control/Music/F02/") + QLatin1String(name), "x");
        EXPECT_EQ(refusal(folder + QLatin1String(name)), Case::invalidTrack) << name;
    }
    volume.writeFile(QStringLiteral("iPod_Control/Music/F02/empty.mp3"), {});
    EXPECT_EQ(refusal(folder + QStringLiteral("empty.mp3")), Case::invalidTrack);
    volume.writeFile(QStringLiteral("iPod_Control/Music/F02/ok.mp3"), "audio");
    EXPECT_EQ(refusal(folder + QStringLiteral("ok.mp3"), 0), Case::invalidTrack);
    volume.writeFile(QStringLiteral("iPod_Control/Stray/ok.mp3"), "audio");
    EXPECT_EQ(refusal(volume.path(QStringLiteral("iPod_Control/Stray/ok.mp3"))),
              Case::invalidTrack);
    QTemporaryDir outside;
    QFile::copy(folder + QStringLiteral("ok.mp3"), outside.filePath(QStringLiteral("out.mp3")));
    QFile::link(outside.filePath(QStringLiteral("out.mp3")), folder + QStringLiteral("link.mp3"));
    EXPECT_EQ(refusal(folder + QStringLiteral("link.mp3")), Case::invalidTrack);
    QDir().mkpath(folder + QStringLiteral("dir.mp3"));
    EXPECT_EQ(refusal(folder + QStringLiteral("dir.mp3")), Case::invalidTrack);
    EXPECT_EQ(database.loadTracks().size(), 1);

    volume.writeFile(QStringLiteral("iPod_Control/Music/F02/LOUD.M4A"), "aac audio");
    const Track track = database.registerCopiedFiles(
        folder + QStringLiteral("LOUD.M4A"), QStringLiteral("Loud"), {}, {}, {},
        QStringLiteral("Rock"), 1, 48000, 256, false, std::nullopt);
    EXPECT_EQ(track.format, QStringLiteral("AAC"));
    EXPECT_EQ(recordOf(database, track.id)->albumartist, nullptr); // an empty one is none
    EXPECT_EQ(track.genre, QStringLiteral("Rock"));
    EXPECT_FALSE(track.hasCoverArtwork);
    EXPECT_EQ(recordOf(database, track.id)->lyrics_flag, 0);
}

TEST(IPodDatabaseRegistration, ArtworkIsIgnoredOnAnIPodWithoutArtwork) {
    IPodVolume volume(QStringLiteral("MA546"));
    volume.addTrack({});
    volume.write();
    IPodDatabase database(volume.mountPoint());
    EXPECT_FALSE(database.supportsArtwork());
    const QString destination = database.destinationFilename(QStringLiteral("x.mp3"));
    copyAudioTo(destination);
    const Track track = database.registerCopiedFiles(destination, QStringLiteral("T"), {}, {}, {},
                                                     {}, 1000, 44100, 128, true, png(64, 0xFF0000));
    EXPECT_FALSE(track.hasCoverArtwork);
    EXPECT_EQ(track.playbackPosition, 2);
}

TEST(IPodDatabaseRegistration, ARewrittenFileTakesTheTrackOver) {
    IPodVolume volume(QStringLiteral("MA477"));
    const int song =
        volume.addTrack({.title = QStringLiteral("Song"), .genre = QStringLiteral("Pop")});
    volume.write();
    const quint64 id = volume.trackID(song);
    const QString oldFile = volume.path(volume.trackFile(song));
    QString newFile;
    {
        IPodDatabase database(volume.mountPoint());
        EXPECT_EQ(failureOf([&] { database.registerCopiedFile(id + 1, {}, {}, {}); }),
                  Case::trackSelectionChanged);
        EXPECT_EQ(failureOf([&] {
                      database.registerCopiedFile(id, {}, volume.path(QStringLiteral("x.m4a")),
                                                  256);
                  }),
                  Case::invalidTrack);
        newFile = database.destinationFilename(QStringLiteral("new.m4a"));
        QFile::copy(oldFile, newFile);
        {
            QFile grow(newFile);
            ASSERT_TRUE(grow.open(QIODevice::Append));
            grow.write(QByteArray(1000, 'z'));
        }
        EXPECT_TRUE(database.registerCopiedFile(id, {}, newFile, 256));
        database.saveLibrary();
    }
    {
        IPodDatabase database(volume.mountPoint());
        const Itdb_Track* track = recordOf(database, id);
        EXPECT_STREQ(track->filetype, "AAC audio file");
        EXPECT_EQ(track->samplerate, 44100);
        EXPECT_FLOAT_EQ(track->samplerate2, 44100.0f);
        EXPECT_EQ(track->bitrate, 256);
        EXPECT_EQ(track->lyrics_flag, 1);
        EXPECT_STREQ(track->title, "Song");
        EXPECT_EQ(track->size, quint32(QFileInfo(newFile).size()));
        EXPECT_EQ(database.fileURL(id), newFile);
        // Nothing new: no change.
        EXPECT_FALSE(database.registerCopiedFile(id, {}, {}, {}));
        EXPECT_FALSE(database.registerCopiedFile(id, QByteArray(), {}, {}));
        EXPECT_TRUE(database.registerCopiedFile(id, png(120, 0x8844CC), {}, {}));
        database.saveLibrary();
    }
    EXPECT_TRUE(TestSupport::storedImages(volume.mountPoint(), {id}).contains(id));
}

TEST(IPodDatabaseArtwork, NoiseIsToldApartFromPictures) {
    EXPECT_TRUE(StoredCoverDecoding::isNoisy(noise(100, 100).get()));
    EXPECT_TRUE(StoredCoverDecoding::isNoisy(noise(30, 30).get()));
    EXPECT_FALSE(StoredCoverDecoding::isNoisy(noise(23, 100).get()));
    EXPECT_FALSE(StoredCoverDecoding::isNoisy(noise(100, 23).get()));
    EXPECT_FALSE(StoredCoverDecoding::isNoisy(solid(100, 100, 0x123456).get()));
    // Sharp stripes change strongly everywhere but use few colours.
    PixbufPtr stripes = solid(100, 100, 0);
    for (int row = 0; row < 100; ++row)
        for (int column = 0; column < 100; ++column)
            setPixel(stripes.get(), row, column, (row + column) % 2 ? 0xFFFFFF : 0);
    EXPECT_FALSE(StoredCoverDecoding::isNoisy(stripes.get()));
    // Noise in a single band is enough.
    PixbufPtr banded = solid(100, 100, 0x808080);
    const PixbufPtr source = noise(100, 100);
    gdk_pixbuf_copy_area(source.get(), 0, 40, 100, 12, banded.get(), 0, 40);
    EXPECT_TRUE(StoredCoverDecoding::isNoisy(banded.get()));
}

TEST(IPodDatabaseArtwork, ASecondGenerationNanoThumbnailThatDisagreesWithItsSmallOneIsDamaged) {
    const PixbufPtr small = solid(42, 42, 0x3366CC);
    EXPECT_FALSE(
        StoredCoverDecoding::isDamagedNano2Thumbnail(solid(100, 100, 0x3366CC).get(), small.get()));
    // The top matches the small thumbnail; the rest is torn into alternating lines.
    PixbufPtr torn = solid(100, 100, 0x3366CC);
    for (int row = 30; row < 100; ++row)
        for (int column = 0; column < 100; ++column)
            setPixel(torn.get(), row, column, row % 2 ? 0xFFFFFF : 0);
    EXPECT_TRUE(StoredCoverDecoding::isDamagedNano2Thumbnail(torn.get(), small.get()));
    EXPECT_FALSE(
        StoredCoverDecoding::isDamagedNano2Thumbnail(solid(99, 100, 0).get(), small.get()));
    EXPECT_FALSE(
        StoredCoverDecoding::isDamagedNano2Thumbnail(torn.get(), solid(41, 42, 0x3366CC).get()));
}

// The cover process renews its CPU allowance before each cover. Time spent before, in user and
// in system parts of a second each, must not eat into the next cover's whole allowance.
TEST(IPodDatabaseArtwork, EachCoverGetsItsWholeCPUAllowance) {
    const auto spent = [](bool system) {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        const timeval& part = system ? usage.ru_stime : usage.ru_utime;
        return double(part.tv_sec) + part.tv_usec / 1e6;
    };
    const pid_t child = ::fork();
    if (child == 0) {
        // About 0.7 s in each part, below a whole second in either.
        volatile quint64 sink = 0;
        while (spent(false) < 0.7)
            sink = sink + 1;
        const int zero = ::open("/dev/zero", O_RDONLY);
        static char buffer[1 << 20];
        while (spent(true) < 0.7 && spent(false) < 0.95)
            if (::read(zero, buffer, sizeof buffer) <= 0)
                ::_exit(2);
        StoredCoverDecoding::allowCPUSeconds(1);
        const double renewedAt = spent(false) + spent(true);
        while (spent(false) + spent(true) < renewedAt + 0.9)
            sink = sink + 1;
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << (WIFSIGNALED(status) ? ::strsignal(WTERMSIG(status)) : "exited");
}
