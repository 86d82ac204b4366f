#include "ExportTestSupport.h"
#include "transfer/TransferTestSupport.h"

#include "platform/Task.h"
#include "platform/audio/AudioFile.h"
#include "support/EventLoop.h"
#include "transfer/ExportError.h"
#include "transfer/LorvanelCoverArtwork.h"
#include "transfer/M4AExportWriter.h"
#include "transfer/TrackExport.h"

#include <QBuffer>
#include <QFile>
#include <QImage>

#include <atomic>

using namespace ExportTest;
using namespace IPodTransfer;

namespace {

// These need no iPod: only a scratch folder.
class M4AExportWriter : public AudioTest {
protected:
    static TestSupport::ToneSpec spec(const QString& codec, double seconds = 1.0) {
        TestSupport::ToneSpec s;
        s.codec = codec;
        s.seconds = seconds;
        return s;
    }
    EmbeddableArtwork picture(const QString& colour) {
        const QString p = path(QStringLiteral("pic-%1.jpg").arg(colour));
        EXPECT_TRUE(TestSupport::makePicture(p, 32, 32, colour));
        return {readAll(p), true};
    }
    QString write(const QString& source, bool lossless, const M4AExportTags& tags,
                  const EmbeddableArtwork& art, QList<double>* shares = nullptr) {
        AudioFile file = AudioFile::open(source);
        const QString out = path(QStringLiteral("out-%1.m4a").arg(++outputs));
        EXPECT_EQ(exportLosslessM4A(file, out, lossless, tags, art,
                                    [&](double p) {
                                        if (shares)
                                            shares->append(p);
                                    }),
                  QStringLiteral("m4a"));
        return out;
    }
    int outputs = 0;
};

M4AExportTags tagsFor(const QString& album, bool writesAlbum) {
    M4AExportTags tags;
    tags.track.title = QStringLiteral("Track Title");
    tags.track.artist = QStringLiteral("Track Artist");
    tags.track.albumArtist = QStringLiteral("Track Album Artist");
    tags.track.genre = QStringLiteral("Jazz");
    tags.fallbackAlbum = album;
    tags.writesAlbum = writesAlbum;
    return tags;
}

} // namespace

TEST_F(M4AExportWriter, PassesAACPacketsThroughAndKeepsTheFilesOwnTags) {
    TestSupport::ToneSpec s = spec("aac", 3.0);
    s.tags.album = QStringLiteral("Own Album");
    s.tags.artist = QStringLiteral("Own Artist");
    s.tags.lyrics = QStringLiteral("Own lyrics");
    s.coverPath = path(QStringLiteral("old.png"));
    ASSERT_TRUE(TestSupport::makePicture(s.coverPath, 40, 40, QStringLiteral("blue")));
    const QString source = tone(QStringLiteral("a.m4a"), s);
    const EmbeddableArtwork art = picture(QStringLiteral("green"));

    QList<double> shares;
    const QString out =
        write(source, false, tagsFor(QStringLiteral("Own Album"), false), art, &shares);
    const auto probed = TestSupport::probeAudio(out);
    ASSERT_TRUE(probed);
    EXPECT_EQ(probed->majorBrand, QStringLiteral("M4A "));
    EXPECT_EQ(probed->codecName, QStringLiteral("aac"));
    EXPECT_EQ(probed->tags.value(QStringLiteral("album")), QStringLiteral("Own Album"));
    EXPECT_EQ(probed->tags.value(QStringLiteral("artist")), QStringLiteral("Own Artist"));
    EXPECT_EQ(probed->tags.value(QStringLiteral("lyrics")), QStringLiteral("Own lyrics"));
    EXPECT_EQ(probed->tags.value(QStringLiteral("title")), QStringLiteral("Track Title"));
    EXPECT_EQ(probed->tags.value(QStringLiteral("album_artist")),
              QStringLiteral("Track Album Artist"));
    EXPECT_EQ(probed->tags.value(QStringLiteral("genre")), QStringLiteral("Jazz"));
    EXPECT_FALSE(probed->tags.contains(QStringLiteral("encoder")));
    ASSERT_TRUE(probed->hasCover);
    EXPECT_EQ(probed->coverData, art.bytes) << "the cover is always the chosen picture";
    EXPECT_EQ(audioMD5(out, true), audioMD5(source, true)) << "packets unchanged";
    EXPECT_EQ(audioMD5(out), audioMD5(source)) << "samples unchanged";
    EXPECT_NEAR(probed->durationSeconds, 3.0, 0.05);

    ASSERT_FALSE(shares.isEmpty());
    for (int i = 1; i < shares.size(); ++i)
        EXPECT_GE(shares[i] - shares[i - 1], 0.02 - 1e-9);
    EXPECT_LE(shares.last(), 1.0);
    EXPECT_LE(shares.size(), 50);
}

TEST_F(M4AExportWriter, WritesTheFallbackAlbumWhenTheFileHasNone) {
    const QString source = tone(QStringLiteral("a.m4a"), spec("alac"));
    const QString out =
        write(source, false, tagsFor(QStringLiteral("Lorvanel.APP"), true), picture("red"));
    const auto probed = TestSupport::probeAudio(out);
    ASSERT_TRUE(probed);
    EXPECT_EQ(probed->codecName, QStringLiteral("alac"));
    EXPECT_EQ(probed->tags.value(QStringLiteral("album")), QStringLiteral("Lorvanel.APP"));
    EXPECT_EQ(probed->tags.value(QStringLiteral("artist")), QStringLiteral("Track Artist"));
    EXPECT_FALSE(probed->tags.contains(QStringLiteral("lyrics")));
    EXPECT_EQ(audioMD5(out), audioMD5(source));
}

TEST_F(M4AExportWriter, EncodesIntegerWavLosslesslyAndRefusesTheRest) {
    for (const char* codec : {"pcm_u8", "pcm_s16le", "pcm_s24le"}) {
        const QString source =
            tone(QStringLiteral("%1.wav").arg(QLatin1String(codec)), spec(QLatin1String(codec)));
        const QString out = write(source, true, tagsFor(QStringLiteral("A"), true), picture("red"));
        EXPECT_EQ(TestSupport::probeAudio(out)->codecName, QStringLiteral("alac")) << codec;
        EXPECT_EQ(audioMD5(out), audioMD5(source)) << codec;
    }
    for (const char* codec : {"pcm_s32le", "pcm_f32le"}) {
        const QString source =
            tone(QStringLiteral("%1.wav").arg(QLatin1String(codec)), spec(QLatin1String(codec)));
        AudioFile file = AudioFile::open(source);
        const QString out = path(QStringLiteral("refused.m4a"));
        try {
            exportLosslessM4A(file, out, true, tagsFor(QStringLiteral("A"), true), picture("red"),
                              {});
            ADD_FAILURE() << codec << " was exported";
        } catch (const ExportError& e) {
            EXPECT_EQ(e.kind(), ExportError::Case::lossless) << codec;
        }
        EXPECT_FALSE(QFile::exists(out));
    }
}

TEST_F(M4AExportWriter, RefusesAudioAnM4ACannotCarryAndLeavesNoFile) {
    // MP3 audio in a file named .m4a.
    const QString mp3 = tone(QStringLiteral("a.mp3"), spec("mp3"));
    const QString fake = path(QStringLiteral("fake.m4a"));
    ASSERT_TRUE(QFile::copy(mp3, fake));
    AudioFile file = AudioFile::open(fake);
    const QString out = path(QStringLiteral("never.m4a"));
    EXPECT_THROW(
        exportLosslessM4A(file, out, false, tagsFor(QStringLiteral("A"), true), picture("red"), {}),
        ExportError);
    EXPECT_FALSE(QFile::exists(out));
}

TEST_F(M4AExportWriter, CancellingRemovesThePartlyWrittenFile) {
    for (bool lossless : {false, true}) {
        const QString source =
            tone(lossless ? QStringLiteral("long.wav") : QStringLiteral("long.m4a"),
                 spec(lossless ? "pcm_s16le" : "aac", 20.0));
        const QString out = path(QStringLiteral("cancelled.m4a"));
        std::exception_ptr error;
        std::atomic<bool> done = false;
        const EmbeddableArtwork art = picture("red");
        Task::run(TaskPriority::userInitiated, [&] {
            try {
                AudioFile file = AudioFile::open(source);
                exportLosslessM4A(file, out, lossless, tagsFor(QStringLiteral("A"), true), art,
                                  [&](double) { Task::currentState()->cancel(); });
            } catch (...) {
                error = std::current_exception();
            }
            done = true;
        });
        ASSERT_TRUE(TestSupport::waitUntil([&] { return done.load(); }));
        ASSERT_TRUE(error);
        EXPECT_THROW(std::rethrow_exception(error), CancellationError);
        EXPECT_FALSE(QFile::exists(out)) << lossless;
    }
}

// The per-track export alone, on files outside any iPod.
TEST_F(M4AExportWriter, DefaultCoverStoredSmallerOnTheIPodIsExportedAsTheOriginal) {
    const std::optional<QByteArray>& original = LorvanelCoverArtwork::defaultCoverData();
    ASSERT_TRUE(original);
    QImage scaled = QImage::fromData(*original).scaled(100, 100, Qt::IgnoreAspectRatio,
                                                       Qt::SmoothTransformation);
    QByteArray stored;
    QBuffer buffer(&stored);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
    ASSERT_TRUE(scaled.save(&buffer, "JPEG", 80));

    const QString source = tone(QStringLiteral("a.m4a"), spec("aac"));
    const QString out = path(QStringLiteral("exported"));
    Track track;
    track.title = QStringLiteral("T");
    EXPECT_EQ(exportTrackFile(source, out, track, stored, false, {}, {}), QStringLiteral("m4a"));
    const auto probed = TestSupport::probeAudio(out);
    ASSERT_TRUE(probed);
    EXPECT_EQ(probed->coverData, *original);
    EXPECT_EQ(probed->tags.value(QStringLiteral("album")), QStringLiteral("Lorvanel.APP"));
}

TEST_F(M4AExportWriter, MP3WithItsOwnPictureGainsOnlyTheAlbum) {
    TestSupport::ToneSpec s = spec("mp3");
    s.coverPath = path(QStringLiteral("own.png"));
    ASSERT_TRUE(TestSupport::makePicture(s.coverPath, 20, 20, QStringLiteral("blue")));
    const QString source = tone(QStringLiteral("a.mp3"), s);
    const QString out = path(QStringLiteral("exported"));
    Track track;
    track.album = QStringLiteral("Stored");
    EXPECT_EQ(exportTrackFile(source, out, track, picture("red").bytes, false, {}, {}),
              QStringLiteral("mp3"));
    const QByteArray bytes = readAll(out);
    EXPECT_EQ(bytes.count("APIC"), 1) << "no second picture";
    const auto probed = TestSupport::probeAudio(out);
    ASSERT_TRUE(probed);
    EXPECT_EQ(probed->coverData, readAll(s.coverPath));
    EXPECT_EQ(probed->tags.value(QStringLiteral("album")), QStringLiteral("Stored"));
    EXPECT_EQ(audioMD5(out, true), audioMD5(source, true));
}
