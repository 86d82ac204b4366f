// The passthrough decision and the facts of each kind of file, on files made by the ffmpeg tool.

#include "../device/TestVolumes.h"
#include "TransferTestSupport.h"

#include "platform/OwnedFd.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/AudioFile.h"
#include "transfer/AudioInspection.h"
#include "transfer/ImportError.h"
#include "transfer/ImportProgress.h"
#include "transfer/LorvanelCoverArtwork.h"

#include <QFileInfo>
#include <QRandomGenerator>

extern "C" {
#include <libavutil/error.h>
}

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

using TestSupport::AudioTags;
using TestSupport::ToneSpec;

const AudioTags fullTags{QStringLiteral("Song"),   QStringLiteral("Band"),
                         QStringLiteral("Record"), {},
                         QStringLiteral("Rock"),   QStringLiteral("Some words")};

class AudioInspectionTest : public AudioTest {
protected:
    std::pair<QString, IPodTransfer::Audio>
    inspect(const QString& source, TransferSettings settings = {}, bool artwork = false) {
        return inspectAudio(source, dir.path(), settings, artwork,
                            [&](const QString& stage, double share) {
                                stages.append(stage);
                                shares.push_back(share);
                            });
    }
    QStringList stages;
    std::vector<double> shares;
};

TEST_F(AudioInspectionTest, TaggedMp3WithLyricsPassesThroughOthersAreConverted) {
    ToneSpec spec = toneSpec(QStringLiteral("mp3"));
    spec.tags = fullTags;
    const QString mp3 = tone(QStringLiteral("tagged.mp3"), spec);
    const auto [copied, facts] = inspect(mp3);
    EXPECT_EQ(copied, mp3);
    EXPECT_EQ(facts.title, QStringLiteral("Song"));
    EXPECT_EQ(facts.genre, QStringLiteral("Rock"));
    EXPECT_EQ(facts.sampleRate, 44100);
    EXPECT_GT(facts.bitrate, 0);
    EXPECT_NEAR(facts.milliseconds, 1000, 80);
    EXPECT_TRUE(stages.isEmpty());

    // With every file converted, the same MP3 becomes AAC at the chosen bitrate.
    TransferSettings all;
    all.onlyUnsupported = false;
    all.bitrate = TransferSettings::Bitrate::kbps128;
    const auto [converted, convertedFacts] = inspect(mp3, all);
    EXPECT_NE(converted, mp3);
    EXPECT_TRUE(converted.startsWith(dir.path()) && converted.endsWith(QStringLiteral(".m4a")));
    EXPECT_EQ(convertedFacts.bitrate, 128);
    EXPECT_EQ(convertedFacts.sampleRate, 44100);
    const auto probed = TestSupport::probeAudio(converted);
    ASSERT_TRUE(probed.has_value());
    EXPECT_EQ(probed->tags.value(QStringLiteral("lyrics")), QStringLiteral("Some words"));
    EXPECT_EQ(probed->tags.value(QStringLiteral("genre")), QStringLiteral("Rock"));
    EXPECT_FALSE(probed->hasCover); // artwork travels to the database, not into the file
    ASSERT_FALSE(stages.isEmpty());
    EXPECT_EQ(stages.first(), ImportStage::convertingAudio);
    EXPECT_EQ(shares.front(), 0.0);
    for (double s : shares)
        EXPECT_LE(s, 0.75);
}

TEST_F(AudioInspectionTest, ACopiedFileWithoutXingHeaderIsMeasuredForLengthAndRate) {
    // Quiet, then loud: the first frames' rate, which FFmpeg takes for the whole file, is a
    // fraction of the real one, and so the length it guesses is a multiple of the real one.
    ToneSpec spec = toneSpec(QStringLiteral("mp3"), 44100, 2, 3.0);
    spec.tags = fullTags;
    spec.extraArgs = {QStringLiteral("-af"),
                      QStringLiteral("volume='if(lt(t,1.5),0.002,1)':eval=frame,"
                                     "aeval='val(ch)+0.3*(random(0)-0.5)*gte(t,1.5)'"),
                      QStringLiteral("-q:a"),
                      QStringLiteral("0"),
                      QStringLiteral("-write_xing"),
                      QStringLiteral("0")};
    const QString mp3 = tone(QStringLiteral("vbr.mp3"), spec);
    ASSERT_GT(AudioFile::open(mp3).durationSeconds(), 4.0) << "the header guess is not off";
    const auto [copied, facts] = inspect(mp3);
    EXPECT_EQ(copied, mp3);
    const auto decoded = TestSupport::probeAudio(mp3, true);
    ASSERT_TRUE(decoded);
    EXPECT_NEAR(facts.milliseconds, decoded->decodedSeconds * 1000, 30);
    const double kbps = double(QFileInfo(mp3).size()) * 8 / decoded->decodedSeconds / 1000;
    EXPECT_NEAR(facts.bitrate, kbps, kbps * 0.1);
}

TEST_F(AudioInspectionTest, EachReasonToConvert) {
    struct Case {
        QString name;
        ToneSpec spec;
    };
    AudioTags noLyrics = fullTags;
    noLyrics.lyrics.clear();
    AudioTags noAlbum = fullTags;
    noAlbum.album.clear();
    std::vector<Case> cases;
    auto add = [&](const QString& name, const QString& codec, int rate, int channels,
                   const AudioTags& tags) {
        ToneSpec s = toneSpec(codec, rate, channels, 0.5);
        s.tags = tags;
        cases.push_back({name, s});
    };
    add(QStringLiteral("nolyrics.mp3"), QStringLiteral("mp3"), 44100, 2, noLyrics);
    add(QStringLiteral("noalbum.mp3"), QStringLiteral("mp3"), 44100, 2, noAlbum);
    add(QStringLiteral("high.m4a"), QStringLiteral("aac"), 96000, 2, fullTags);
    add(QStringLiteral("lossless.m4a"), QStringLiteral("alac"), 44100, 2, fullTags);
    add(QStringLiteral("six.m4a"), QStringLiteral("aac"), 44100, 6, fullTags);
    add(QStringLiteral("x.flac"), QStringLiteral("flac"), 48000, 2, fullTags);
    add(QStringLiteral("x.wav"), QStringLiteral("pcm_s16le"), 44100, 2, fullTags);
    ToneSpec adts = toneSpec(QStringLiteral("aac"), 44100, 2, 0.5);
    adts.extraArgs = {QStringLiteral("-f"), QStringLiteral("adts")};
    cases.push_back({QStringLiteral("adts.mp3"), adts}); // not '.mp3' inside
    for (const Case& c : cases) {
        const QString source = tone(c.name, c.spec);
        const auto [copied, facts] = inspect(source);
        EXPECT_NE(copied, source) << c.name.toStdString();
        EXPECT_EQ(facts.sampleRate, 44100) << c.name.toStdString();
        EXPECT_TRUE(QFile::exists(copied)) << c.name.toStdString();
    }
    // The fourth tag of a passed-through m4a is as good as the mp3's.
    ToneSpec m4a = toneSpec(QStringLiteral("aac"), 48000, 1, 0.5);
    m4a.tags = fullTags;
    const QString ok = tone(QStringLiteral("ok.m4a"), m4a);
    EXPECT_EQ(inspect(ok).first, ok);
}

TEST_F(AudioInspectionTest, UnreadableFilesFailAsUnsupported) {
    writeAll(path(QStringLiteral("text.mp3")), QByteArray("not audio at all\n").repeated(100));
    writeAll(path(QStringLiteral("song.aiff")), "x");
    // A WAV that holds no samples has no length.
    writeAll(
        path(QStringLiteral("empty.wav")),
        TestSupport::riffWave(
            {{"fmt ",
              QByteArray("\x01\x00\x02\x00\x44\xAC\x00\x00\x10\xB1\x02\x00\x04\x00\x10\x00", 16)},
             {"data", {}}}));
    QDir().mkpath(path(QStringLiteral("folder.mp3")));
    // Damaged headers that FFmpeg answers with system errors: "Input/output error" for a FLAC
    // header without blocks, "Cannot allocate memory" for a WAV format chunk of a gigabyte.
    writeAll(path(QStringLiteral("broken.flac")),
             QByteArray("fLaC\x00\x00\x00\x22", 8) + QByteArray(31, '\0'));
    writeAll(path(QStringLiteral("huge.wav")),
             QByteArray("RIFF\x1f\x00\x00\x00WAVEfmt \x00\x00\x00\x40", 20) +
                 QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e"
                            "\x0f\x10\x11\x12\x13",
                            19));
    for (const QString& name : {QStringLiteral("text.mp3"), QStringLiteral("song.aiff"),
                                QStringLiteral("empty.wav"), QStringLiteral("folder.mp3"),
                                QStringLiteral("broken.flac"), QStringLiteral("huge.wav")}) {
        try {
            inspect(path(name));
            ADD_FAILURE() << name.toStdString() << " was accepted";
        } catch (const ImportError& e) {
            EXPECT_EQ(e.kind(), ImportError::Case::unsupportedAudio) << name.toStdString();
        }
    }
}

// Overwrites the bytes from..to with noise that stays the same from run to run.
void scramble(QByteArray& bytes, qsizetype from, qsizetype to, quint32 seed) {
    QRandomGenerator rng(seed);
    for (qsizetype i = from; i < to && i < bytes.size(); ++i)
        bytes[i] = char(rng.bounded(256));
}

TEST_F(AudioInspectionTest, FilesWhosePacketsDoNotDecodeAreNeverCopied) {
    // An MP3 whose frames after the first half second keep their headers but carry noise: its
    // header says two seconds, its audio decodes to far less.
    QByteArray mp3 =
        readAll(tone(QStringLiteral("plain.mp3"), toneSpec(QStringLiteral("mp3"), 44100, 2, 2.0)));
    constexpr int kbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    std::vector<std::pair<qsizetype, qsizetype>> frames; // payload start and end
    for (qsizetype at = mp3.indexOf("\xFF\xFB"); at >= 0 && at + 4 <= mp3.size();) {
        const int index = quint8(mp3[at + 2]) >> 4;
        if (quint8(mp3[at]) != 0xFF || index == 0 || index == 15)
            break;
        const qsizetype size = 144 * kbps[index] * 1000 / 44100 + (quint8(mp3[at + 2]) >> 1 & 1);
        frames.emplace_back(at + 4, at + size);
        at += size;
    }
    ASSERT_GT(frames.size(), 60u);
    for (std::size_t i = 20; i < frames.size(); ++i)
        scramble(mp3, frames[i].first, frames[i].second, quint32(i));
    const QString noisy = path(QStringLiteral("noisy.mp3"));
    writeAll(noisy, TestSupport::id3v23Tag(fullTags) + mp3);
    ASSERT_NEAR(AudioFile::open(noisy).durationSeconds(), 2.0, 0.1);

    const auto [converted, facts] = inspect(noisy);
    EXPECT_NE(converted, noisy);
    const auto written = TestSupport::probeAudio(converted, true);
    ASSERT_TRUE(written.has_value());
    EXPECT_LT(facts.milliseconds, 1500);
    EXPECT_NEAR(facts.milliseconds, written->decodedSeconds * 1000, 30);

    // An M4A whose packets are all noise decodes to nothing: no track, and no system error
    // (the AAC decoder answers some noise with FFmpeg's bare -1).
    ToneSpec spec = toneSpec(QStringLiteral("aac"), 44100, 2, 2.0);
    spec.tags = fullTags;
    const QString m4a = tone(QStringLiteral("noise.m4a"), spec);
    QByteArray bytes = readAll(m4a);
    const qsizetype mdat = bytes.indexOf("mdat");
    ASSERT_GT(mdat, 4);
    const auto u8 = [&](qsizetype i) { return quint32(quint8(bytes[i])); };
    const qsizetype end =
        mdat - 4 +
        qsizetype(u8(mdat - 4) << 24 | u8(mdat - 3) << 16 | u8(mdat - 2) << 8 | u8(mdat - 1));
    scramble(bytes, mdat + 4, end, 7);
    writeAll(m4a, bytes);
    try {
        inspect(m4a);
        ADD_FAILURE() << "an M4A without decodable audio was accepted";
    } catch (const ImportError& e) {
        EXPECT_EQ(e.kind(), ImportError::Case::unsupportedAudio);
    }
}

// Where the byte at offset of a file lies on its device, after its data has been written there
// and dropped from the page cache; -1 when unknown.
qint64 settledPhysicalOffset(const QString& path, qint64 offset) {
    const OwnedFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY));
    std::vector<char> buffer(sizeof(fiemap) + sizeof(fiemap_extent));
    auto* map = reinterpret_cast<fiemap*>(buffer.data());
    map->fm_start = std::uint64_t(offset);
    map->fm_length = 1;
    map->fm_flags = FIEMAP_FLAG_SYNC;
    map->fm_extent_count = 1;
    if (::ioctl(fd.get(), FS_IOC_FIEMAP, map) != 0 || map->fm_mapped_extents != 1 ||
        ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED) != 0)
        return -1;
    const fiemap_extent& extent = map->fm_extents[0];
    return qint64(extent.fe_physical + (std::uint64_t(offset) - extent.fe_logical));
}

TEST_F(AudioInspectionTest, ADiskErrorFailsWithTheSystemsText) {
    if (const QString why = TestVolumes::whyLoopImagesAreUnavailable(); !why.isEmpty())
        GTEST_SKIP() << qPrintable(why);
    const QString eio = QString::fromLocal8Bit(std::strerror(EIO));
    TransferSettings convertAll;
    convertAll.onlyUnsupported = false;
    const auto decodeCheck = [&](const QString& p) { inspect(p); };
    const auto conversion = [&](const QString& p) { inspect(p, convertAll); };
    // The M4A's header (its moov atom) follows its audio.
    const auto header = [](const QByteArray& bytes) { return bytes.lastIndexOf("moov") - 4; };
    const auto middle = [](const QByteArray& bytes) { return bytes.size() / 2; };
    const QString decoded = QStringLiteral("The audio could not be decoded. ") + eio;
    const QString opened = QStringLiteral("The audio file could not be opened. ") + eio;
    struct Case {
        const char* kind;
        QString name;
        QString codec;
        std::function<qsizetype(const QByteArray&)> failFrom;
        std::function<void(const QString&)> read;
        QString text;
    };
    const Case cases[] = {
        // A tagged MP3 with lyrics goes as it is once it decodes.
        {"decode check of an MP3", QStringLiteral("song.mp3"), QStringLiteral("mp3"), middle,
         decodeCheck, decoded},
        {"conversion of an MP3", QStringLiteral("song.mp3"), QStringLiteral("mp3"), middle,
         conversion, decoded},
        // FFmpeg's ADTS reader looks for an ID3v1 tag at the file's end while it opens it.
        {"ADTS file", QStringLiteral("song.aac"), QStringLiteral("aac"), middle, conversion,
         opened},
        {"header of an M4A", QStringLiteral("song.m4a"), QStringLiteral("aac"), header, decodeCheck,
         opened},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        // The file on an ext4 image whose loop device then loses the image's bytes from the
        // file's given offset on: the block layer fails every read from there with EIO, as a
        // failing disk does.
        const QString image = path(QStringLiteral("disk.img"));
        QFile::remove(image);
        ASSERT_TRUE(TestVolumes::makeExt4Image(image));
        const auto mount = TestVolumes::Mount::image(image, path(QStringLiteral("disk")));
        ASSERT_TRUE(mount);
        ToneSpec spec = toneSpec(c.codec, 44100, 2, 10.0);
        spec.tags = fullTags;
        const QByteArray bytes = readAll(tone(c.name, spec));
        // Allocated in one piece before it is written, so that its bytes lie on the image in
        // their own order: a file the encoder wrote in parts may be laid out out of order on a
        // busy machine, and then the cut below would take the wrong bytes.
        const QString file = path(QStringLiteral("disk/") + c.name);
        {
            const OwnedFd out(::open(QFile::encodeName(file).constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
            ASSERT_TRUE(out.isValid());
            ASSERT_EQ(::posix_fallocate(out.get(), 0, bytes.size()), 0);
            ASSERT_EQ(::write(out.get(), bytes.constData(), size_t(bytes.size())), bytes.size());
            ASSERT_EQ(::fsync(out.get()), 0);
        }
        const qint64 size = bytes.size();
        const qint64 from = c.failFrom(bytes);
        ASSERT_GT(from, 4096);
        const qint64 physical = settledPhysicalOffset(file, from);
        ASSERT_GT(physical, 0);
        ASSERT_TRUE(QFile::resize(image, physical & ~qint64(4095)));
        ASSERT_TRUE(TestVolumes::run(QStringLiteral("losetup"),
                                     {QStringLiteral("-c"), mount->loopDevice()}));
        char byte = 0;
        const OwnedFd fd(::open(QFile::encodeName(file).constData(), O_RDONLY));
        ASSERT_EQ(::pread(fd.get(), &byte, 1, 0), 1);
        ASSERT_EQ(::pread(fd.get(), &byte, 1, size - 1), -1);
        ASSERT_EQ(errno, EIO);

        try {
            c.read(file);
            ADD_FAILURE() << "a file that could not be read through was accepted";
        } catch (const AudioError& e) {
            EXPECT_EQ(e.ffmpegCode(), AVERROR(EIO));
            EXPECT_EQ(e.description(AppLanguage::english), c.text);
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
    }
}

TEST_F(AudioInspectionTest, AnAdtsFileThatEndsInsideAFrameHeaderEndsThere) {
    const QByteArray whole =
        readAll(tone(QStringLiteral("whole.aac"), toneSpec(QStringLiteral("aac"), 44100, 2, 2.0)));
    qsizetype frames = 0, last = 0; // the last frame's offset
    for (qsizetype at = 0; at + 7 <= whole.size(); ++frames) {
        const auto u8 = [&](qsizetype i) { return qsizetype(quint8(whole[at + i])); };
        ASSERT_TRUE(u8(0) == 0xFF && (u8(1) & 0xF0) == 0xF0) << at;
        last = at;
        at += (u8(3) & 3) << 11 | u8(4) << 3 | u8(5) >> 5;
    }
    ASSERT_GT(frames, 80);
    // Every frame decodes to 1024 samples; a frame without its whole header is no audio.
    const struct {
        const char* kind;
        QByteArray bytes;
        qsizetype frames;
    } cases[] = {
        {"one stray byte after the last frame", whole + '\0', frames},
        {"cut inside the last frame's header", whole.left(last + 3), frames - 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const QString p = path(QStringLiteral("cut.aac"));
        writeAll(p, c.bytes);
        const double seconds = double(c.frames * 1024) / 44100;
        const AudioFile::Decoded decoded = AudioFile::open(p).decodeAudio();
        EXPECT_TRUE(decoded.complete);
        EXPECT_DOUBLE_EQ(decoded.seconds, seconds);

        const auto [converted, facts] = inspect(p);
        EXPECT_NE(converted, p);
        EXPECT_EQ(facts.milliseconds, IPodTransfer::roundHalfAway(seconds * 1000));
        const auto written = TestSupport::probeAudio(converted, true);
        ASSERT_TRUE(written.has_value());
        EXPECT_NEAR(written->decodedSeconds, seconds, 0.001);
    }
}

TEST_F(AudioInspectionTest, ArtworkOnlyForDevicesThatTakeItAndTheDefaultCoverOtherwise) {
    ASSERT_TRUE(
        TestSupport::makePicture(path(QStringLiteral("c.png")), 32, 32, QStringLiteral("blue")));
    ToneSpec withCover = toneSpec(QStringLiteral("mp3"), 44100, 2, 0.5);
    withCover.tags = fullTags;
    withCover.coverPath = path(QStringLiteral("c.png"));
    const QString covered = tone(QStringLiteral("covered.mp3"), withCover);
    EXPECT_FALSE(inspect(covered, {}, false).second.artwork.has_value());
    EXPECT_EQ(inspect(covered, {}, true).second.artwork, readAll(path(QStringLiteral("c.png"))));

    ToneSpec bare = toneSpec(QStringLiteral("mp3"), 44100, 2, 0.5);
    bare.tags = fullTags;
    const auto facts = inspect(tone(QStringLiteral("bare.mp3"), bare), {}, true).second;
    ASSERT_TRUE(LorvanelCoverArtwork::defaultCoverData().has_value());
    EXPECT_EQ(facts.artwork, LorvanelCoverArtwork::defaultCoverData());
}

TEST_F(AudioInspectionTest, PassthroughCandidateMatrix) {
    const QString mp3 = QStringLiteral("mp3");
    const QString mp4 = QStringLiteral("mov,mp4,m4a,3gp,3g2,mj2");
    EXPECT_TRUE(isPassthroughCandidate(mp3, mp3, AudioFormatID::mpegLayer3, 2, 48000));
    EXPECT_TRUE(
        isPassthroughCandidate(QStringLiteral("m4a"), mp4, AudioFormatID::mpeg4AAC, 1, 8000));
    EXPECT_FALSE(
        isPassthroughCandidate(QStringLiteral("m4a"), mp4, AudioFormatID::mpeg4AAC_HE, 2, 44100));
    EXPECT_FALSE(
        isPassthroughCandidate(QStringLiteral("aac"), mp4, AudioFormatID::mpeg4AAC, 2, 44100));
    EXPECT_FALSE(isPassthroughCandidate(mp3, mp3, AudioFormatID::mpegLayer3, 3, 44100));
    EXPECT_FALSE(isPassthroughCandidate(mp3, mp3, AudioFormatID::mpegLayer3, 2, 7999));
    EXPECT_FALSE(isPassthroughCandidate(mp3, mp3, AudioFormatID::mpegLayer3, 2, 48001));
    // Raw ADTS named .m4a, and MP3 audio inside a WAV named .mp3, are no such files.
    EXPECT_FALSE(isPassthroughCandidate(QStringLiteral("m4a"), QStringLiteral("aac"),
                                        AudioFormatID::mpeg4AAC, 2, 44100));
    EXPECT_FALSE(
        isPassthroughCandidate(mp3, QStringLiteral("wav"), AudioFormatID::mpegLayer3, 2, 44100));
}

} // namespace
