// The M4A writer: what it writes, checked with libavformat, and what it leaves on failure.

#include "MountHelpers.h"
#include "TransferTestSupport.h"

#include "platform/Task.h"
#include "platform/audio/AudioConverter.h"
#include "platform/audio/AudioError.h"

#include <QFileInfo>

#include <cmath>

extern "C" {
#include <libavutil/error.h>
}

namespace {

using TestSupport::probeAudio;

class AudioConverterTest : public AudioTest {
protected:
    QString convert(const QString& source, const AudioWriterSettings& settings,
                    const QString& name = QStringLiteral("out.m4a")) {
        AudioFile file = AudioFile::open(source);
        const QString out = path(name);
        AudioConverter::convert(file, out, settings, {}, {});
        return out;
    }
    // An md5 of the decoded samples in one sample format.
    QString decodedDigest(const QString& file, const QString& pcm) {
        const QString out = path(QFileInfo(file).fileName() + QStringLiteral(".md5"));
        if (!TestSupport::runFFmpeg({QStringLiteral("-i"), file, QStringLiteral("-map"),
                                     QStringLiteral("0:a"), QStringLiteral("-c:a"), pcm,
                                     QStringLiteral("-f"), QStringLiteral("md5"), out}))
            return {};
        return QString::fromLatin1(readAll(out)).trimmed();
    }
};

double dB(double linear) {
    return 20 * std::log10(linear);
}

TEST_F(AudioConverterTest, AacFileCarriesExactlyTheGivenItemsAndTheCover) {
    ASSERT_TRUE(TestSupport::makePicture(path(QStringLiteral("c.jpg")), 40, 30));
    const QString source =
        tone(QStringLiteral("in.flac"), toneSpec(QStringLiteral("flac"), 48000, 2, 2.0));
    AudioWriterSettings s;
    s.bitRate = 192000;
    s.metadata = {{MetadataIdentifier::iTunesSongName, QStringLiteral("Title")},
                  {MetadataIdentifier::iTunesAlbum, QStringLiteral("Album")},
                  {MetadataIdentifier::iTunesUserGenre, QStringLiteral("Pop")},
                  {MetadataIdentifier::iTunesLyrics, QStringLiteral("Words\nmore")}};
    s.cover = AudioCoverArt{readAll(path(QStringLiteral("c.jpg"))), true};
    const auto probed = probeAudio(convert(source, s));
    ASSERT_TRUE(probed.has_value());
    EXPECT_EQ(probed->majorBrand, QStringLiteral("M4A "));
    EXPECT_EQ(probed->codecName, QStringLiteral("aac"));
    EXPECT_EQ(probed->audioStreams, 1);
    EXPECT_EQ(probed->sampleRate, 44100);
    EXPECT_EQ(probed->channels, 2);
    // A 48 kHz source keeps its length within an AAC frame or two.
    EXPECT_NEAR(probed->durationSeconds, 2.0, 0.05);
    EXPECT_EQ(probed->tags.value(QStringLiteral("title")), QStringLiteral("Title"));
    EXPECT_EQ(probed->tags.value(QStringLiteral("album")), QStringLiteral("Album"));
    EXPECT_EQ(probed->tags.value(QStringLiteral("genre")), QStringLiteral("Pop"));
    EXPECT_EQ(probed->tags.value(QStringLiteral("lyrics")), QStringLiteral("Words\nmore"));
    // No encoder item and no artist item (none was given).
    EXPECT_FALSE(probed->tags.contains(QStringLiteral("encoder")));
    EXPECT_FALSE(probed->tags.contains(QStringLiteral("artist")));
    EXPECT_TRUE(probed->hasCover);
    EXPECT_EQ(probed->coverCodec, QStringLiteral("mjpeg"));
    EXPECT_EQ(probed->coverData, s.cover->bytes);
}

TEST_F(AudioConverterTest, MonoKeepsItsLevelAndSurroundDoesNotClip) {
    TestSupport::ToneSpec mono = toneSpec(QStringLiteral("pcm_s16le"), 22050, 1, 1.0);
    mono.amplitude = 0.5;
    const auto monoOut = probeAudio(
        convert(tone(QStringLiteral("mono.wav"), mono), {}, QStringLiteral("mono.m4a")), true);
    ASSERT_TRUE(monoOut.has_value());
    EXPECT_EQ(monoOut->channels, 2);
    EXPECT_NEAR(dB(monoOut->peak), dB(0.5), 0.5);

    TestSupport::ToneSpec surround = toneSpec(QStringLiteral("flac"), 48000, 6, 1.0);
    surround.amplitude = 0.5; // -6 dBFS on every channel
    const auto surroundOut = probeAudio(
        convert(tone(QStringLiteral("six.flac"), surround), {}, QStringLiteral("six.m4a")), true);
    ASSERT_TRUE(surroundOut.has_value());
    EXPECT_EQ(surroundOut->channels, 2);
    EXPECT_LT(surroundOut->peak, 1.0);
}

TEST_F(AudioConverterTest, AppleLosslessIsBitExactUpTo24BitsAndRefusesMore) {
    for (const auto& [codec, pcm] :
         {std::pair{QStringLiteral("pcm_u8"), QStringLiteral("pcm_s16le")},
          std::pair{QStringLiteral("pcm_s16le"), QStringLiteral("pcm_s16le")},
          std::pair{QStringLiteral("pcm_s24le"), QStringLiteral("pcm_s24le")}}) {
        const QString source = tone(codec + QStringLiteral(".wav"), toneSpec(codec, 44100, 2, 0.5));
        AudioWriterSettings s;
        s.codec = AudioWriterSettings::Codec::alac;
        const QString out = convert(source, s, codec + QStringLiteral(".m4a"));
        const auto probed = probeAudio(out);
        ASSERT_TRUE(probed.has_value());
        EXPECT_EQ(probed->codecName, QStringLiteral("alac"));
        EXPECT_EQ(decodedDigest(source, pcm), decodedDigest(out, pcm)) << codec.toStdString();
    }
    for (const QString& codec : {QStringLiteral("pcm_s32le"), QStringLiteral("pcm_f32le")}) {
        const QString source = tone(codec + QStringLiteral(".wav"), toneSpec(codec, 44100, 2, 0.5));
        AudioWriterSettings s;
        s.codec = AudioWriterSettings::Codec::alac;
        EXPECT_THROW(convert(source, s, codec + QStringLiteral(".m4a")), AudioError);
        EXPECT_FALSE(QFile::exists(path(codec + QStringLiteral(".m4a"))));
    }
}

TEST_F(AudioConverterTest, CancellationAndAnExistingOutputLeaveNoFileOfOurs) {
    const QString source =
        tone(QStringLiteral("in.mp3"), toneSpec(QStringLiteral("mp3"), 44100, 2, 3.0));
    AudioFile file = AudioFile::open(source);
    bool cancel = false;
    const QString out = path(QStringLiteral("cancelled.m4a"));
    EXPECT_THROW(AudioConverter::convert(
                     file, out, {}, [&](double t) { cancel = t > 0.5; }, [&] { return cancel; }),
                 CancellationError);
    EXPECT_TRUE(cancel);
    EXPECT_FALSE(QFile::exists(out));

    const QString existing = path(QStringLiteral("existing.m4a"));
    writeAll(existing, "keep me");
    AudioFile again = AudioFile::open(source);
    EXPECT_THROW(AudioConverter::convert(again, existing, {}, {}, {}), AudioError);
    EXPECT_EQ(readAll(existing), QByteArray("keep me"));
}

TEST_F(AudioConverterTest, FullDiskFailsTheConversionAndRemovesThePartialFile) {
    TmpfsMount small(path(QStringLiteral("small")), 64 * 1024);
    if (!small.isMounted())
        GTEST_SKIP() << "needs root to mount a tmpfs";
    const QString source =
        tone(QStringLiteral("long.wav"), toneSpec(QStringLiteral("pcm_s16le"), 44100, 2, 6.0));
    AudioFile file = AudioFile::open(source);
    const QString out = small.path() + QStringLiteral("/out.m4a");
    try {
        AudioConverter::convert(file, out, {}, {}, {});
        FAIL() << "the conversion fitted into 64 KiB";
    } catch (const AudioError& e) {
        EXPECT_EQ(e.kind(), AudioError::Kind::encode);
        EXPECT_EQ(e.ffmpegCode(), AVERROR(ENOSPC)) << e.what();
    }
    EXPECT_FALSE(QFile::exists(out));
}

TEST(AudioPictureSize, ReadsPngAndJpegHeadersAndRejectsOthers) {
    QByteArray png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x01\x00\0\0\0\x20", 24);
    EXPECT_EQ(AudioConverter::pictureSize(png), (QPair<int, int>(256, 32)));
    // SOI, an APP0 segment, then SOF0 with height 3 and width 5.
    QByteArray jpeg("\xFF\xD8\xFF\xE0\x00\x04\x00\x00\xFF\xC0\x00\x11\x08\x00\x03\x00\x05", 17);
    EXPECT_EQ(AudioConverter::pictureSize(jpeg), (QPair<int, int>(5, 3)));
    EXPECT_FALSE(AudioConverter::pictureSize(QByteArray("\xFF\xD8\xFF\xE0\x00", 5)).has_value());
    EXPECT_FALSE(AudioConverter::pictureSize("GIF89a").has_value());
}

} // namespace
