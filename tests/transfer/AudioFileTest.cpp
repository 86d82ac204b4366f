// The audio layer's view of real files made by the ffmpeg tool.

#include "TransferTestSupport.h"

#include "platform/Task.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/AudioFile.h"

#include <QFileInfo>

#include <cerrno>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/error.h>
}

namespace {

using TestSupport::ToneSpec;

QString valueOf(const AudioMetadata& items, const QString& identifier) {
    for (const auto& item : items)
        if (item.identifier() == identifier)
            return item.value;
    return {};
}

class AudioFileTest : public AudioTest {};

TEST_F(AudioFileTest, Mp3WithCoverHasOneAudioStreamItsTagsAndItsPicture) {
    ASSERT_TRUE(TestSupport::makePicture(path(QStringLiteral("cover.png")), 64, 64));
    ToneSpec spec = toneSpec(QStringLiteral("mp3"), 48000, 2, 1.5);
    spec.tags = {QStringLiteral("Song"),    QStringLiteral("Band"), QStringLiteral("Record"),
                 QStringLiteral("Various"), QStringLiteral("Rock"), QStringLiteral("la la")};
    spec.coverPath = path(QStringLiteral("cover.png"));
    const QString mp3 = tone(QStringLiteral("a.mp3"), spec);

    AudioFile file = AudioFile::open(mp3);
    ASSERT_TRUE(file.hasAudio());
    EXPECT_EQ(file.formatID(), AudioFormatID::mpegLayer3);
    EXPECT_EQ(file.sampleRate(), 48000);
    EXPECT_EQ(file.channels(), 2);
    EXPECT_NEAR(file.durationSeconds(), 1.5, 0.1);
    EXPECT_TRUE(file.estimatedDataRate().has_value());

    const AudioMetadata items = file.metadata();
    EXPECT_EQ(valueOf(items, QStringLiteral("id3/TIT2")), QStringLiteral("Song"));
    EXPECT_EQ(valueOf(items, QStringLiteral("id3/TPE1")), QStringLiteral("Band"));
    EXPECT_EQ(valueOf(items, QStringLiteral("id3/TALB")), QStringLiteral("Record"));
    EXPECT_EQ(valueOf(items, QStringLiteral("id3/TCON")), QStringLiteral("Rock"));
    EXPECT_EQ(valueOf(file.commonMetadata(), QStringLiteral("common/albumName")),
              QStringLiteral("Record"));
    // USLT reaches FFmpeg as "lyrics-eng".
    EXPECT_EQ(file.lyrics(), QStringLiteral("la la"));
    const auto picture = file.attachedPicture();
    ASSERT_TRUE(picture.has_value());
    EXPECT_TRUE(picture->startsWith("\x89PNG"));
}

TEST_F(AudioFileTest, FormatIdentifiersFollowTheCodingNotTheExtension) {
    struct Case {
        QString name, codec;
        std::uint32_t id;
    } cases[] = {
        {QStringLiteral("aac.m4a"), QStringLiteral("aac"), AudioFormatID::mpeg4AAC},
        {QStringLiteral("alac.m4a"), QStringLiteral("alac"), AudioFormatID::appleLossless},
        {QStringLiteral("f.flac"), QStringLiteral("flac"), AudioFormatID::flac},
        {QStringLiteral("p.wav"), QStringLiteral("pcm_s24le"), AudioFormatID::linearPCM},
        // ADTS AAC in a file named .mp3 is recognised by its content.
        {QStringLiteral("adts.mp3"), QStringLiteral("aac"), AudioFormatID::mpeg4AAC},
    };
    for (const Case& c : cases) {
        ToneSpec spec = toneSpec(c.codec);
        if (c.name == QLatin1String("adts.mp3"))
            spec.extraArgs = {QStringLiteral("-f"), QStringLiteral("adts")};
        const QString p = tone(c.name, spec);
        AudioFile file = AudioFile::open(p);
        EXPECT_EQ(file.formatID(), c.id) << c.name.toStdString();
    }
}

TEST_F(AudioFileTest, M4aAndWavTagsComeUnderTheirKeySpaces) {
    ToneSpec m4a = toneSpec(QStringLiteral("aac"));
    m4a.tags.title = QStringLiteral("T");
    m4a.tags.genre = QStringLiteral("Jazz");
    m4a.tags.lyrics = QStringLiteral("words");
    AudioFile a = AudioFile::open(tone(QStringLiteral("a.m4a"), m4a));
    EXPECT_EQ(valueOf(a.metadata(), QStringLiteral("itsk/\u00A9gen")), QStringLiteral("Jazz"));
    EXPECT_EQ(a.lyrics(), QStringLiteral("words"));

    ToneSpec wav = toneSpec(QStringLiteral("pcm_s16le"));
    wav.tags.album = QStringLiteral("Product");
    AudioFile w = AudioFile::open(tone(QStringLiteral("w.wav"), wav));
    EXPECT_EQ(valueOf(w.metadata(), QStringLiteral("riff/IPRD")), QStringLiteral("Product"));
    EXPECT_TRUE(w.lyrics().isEmpty());
}

TEST_F(AudioFileTest, FlacCommentsAreOursInFileOrderNotFFmpegsMerge) {
    const QString flac = tone(QStringLiteral("a.flac"), toneSpec(QStringLiteral("flac")));
    ASSERT_TRUE(TestSupport::setFlacComments(
        flac, {{QStringLiteral("TITLE"), QStringLiteral("First")},
               {QStringLiteral("title"), QStringLiteral("Second")},
               {QStringLiteral("LYRICS"), QStringLiteral("  ")},
               {QStringLiteral("UNSYNCEDLYRICS"), QStringLiteral("sung")}}));
    AudioFile file = AudioFile::open(flac);
    EXPECT_EQ(valueOf(file.commonMetadata(), QStringLiteral("common/title")),
              QStringLiteral("First"));
    const AudioMetadata items = file.metadata();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[1].identifier(), QStringLiteral("vorb/title"));
    EXPECT_EQ(items[3].value, QStringLiteral("sung"));
    // FLAC lyrics are Vorbis comments, never the file's own lyrics.
    EXPECT_TRUE(file.lyrics().isEmpty());
}

TEST_F(AudioFileTest, TextFileAndEmptyWavOpenWithoutUsableAudio) {
    writeAll(path(QStringLiteral("text.mp3")),
             QByteArray("just some words, not audio\n").repeated(50));
    try {
        AudioFile file = AudioFile::open(path(QStringLiteral("text.mp3")));
        EXPECT_FALSE(file.hasAudio() && file.durationSeconds() > 0);
    } catch (const AudioError& e) {
        EXPECT_EQ(e.kind(), AudioError::Kind::open);
    }
    const QString missing = path(QStringLiteral("missing.mp3"));
    try {
        AudioFile::open(missing);
        FAIL() << "a missing file opened";
    } catch (const AudioError& e) {
        EXPECT_TRUE(e.isSystemError());
        EXPECT_EQ(e.ffmpegCode(), AVERROR(ENOENT));
    }
}

TEST_F(AudioFileTest, TheHeaderAloneTellsWhichLengthsMustBeMeasured) {
    struct Case {
        QString name;
        ToneSpec spec;
        double keep; // share of the bytes left, 1 for the whole file
        bool needsMeasuring;
    };
    const auto spec = [](const QString& codec, const QStringList& extra = {}) {
        ToneSpec s = toneSpec(codec, 44100, 2, 3.0);
        s.extraArgs = extra;
        return s;
    };
    const QList<Case> cases{
        {QStringLiteral("info.mp3"), spec(QStringLiteral("mp3")), 1, false},
        {QStringLiteral("cut.mp3"), spec(QStringLiteral("mp3")), 0.5, true},
        {QStringLiteral("bare.mp3"),
         spec(QStringLiteral("mp3"), {QStringLiteral("-write_xing"), QStringLiteral("0")}), 1,
         true},
        {QStringLiteral("whole.m4a"),
         spec(QStringLiteral("aac"), {QStringLiteral("-movflags"), QStringLiteral("+faststart")}),
         1, false},
        {QStringLiteral("cut.m4a"),
         spec(QStringLiteral("aac"), {QStringLiteral("-movflags"), QStringLiteral("+faststart")}),
         0.5, true},
        {QStringLiteral("raw.aac"),
         spec(QStringLiteral("aac"), {QStringLiteral("-f"), QStringLiteral("adts")}), 1, true},
        {QStringLiteral("whole.flac"), spec(QStringLiteral("flac")), 1, false},
    };
    for (const Case& c : cases) {
        const QString p = tone(c.name, c.spec);
        if (c.keep < 1)
            writeAll(p, readAll(p).left(qsizetype(double(readAll(p).size()) * c.keep)));
        const AudioFile file = AudioFile::open(p);
        EXPECT_EQ(file.durationNeedsMeasuring(), c.needsMeasuring) << qPrintable(c.name);
        // One demux pass is as long as the decoded audio, within one frame.
        const auto decoded = TestSupport::probeAudio(p, true);
        ASSERT_TRUE(decoded) << qPrintable(c.name);
        const AudioFile::Measured measured = file.measureAudio();
        EXPECT_NEAR(measured.seconds, decoded->decodedSeconds, 0.03) << qPrintable(c.name);
        EXPECT_GT(measured.bytes, QFileInfo(p).size() / 2) << qPrintable(c.name);
        EXPECT_LE(measured.bytes, QFileInfo(p).size()) << qPrintable(c.name);
    }
}

TEST_F(AudioFileTest, ErrorTextsAreTheSystemsNeverFFmpegs) {
    // Damaged data, whatever number FFmpeg gives it, reads as the kind of failure alone; its
    // bare -1 (a corrupt AAC frame) is no permission error.
    for (const int code : {AVERROR_PATCHWELCOME, AVERROR(ENOMEM), AVERROR_INVALIDDATA,
                           AVERROR(EINVAL), AVERROR_BUG, -1}) {
        const AudioError error(AudioError::Kind::decode, code);
        EXPECT_FALSE(error.isSystemError()) << code;
        EXPECT_EQ(error.description(AppLanguage::english),
                  QStringLiteral("The audio could not be decoded."));
        EXPECT_EQ(
            error.description(AppLanguage::simplifiedChinese),
            localizedString(LZ("The audio could not be decoded."), AppLanguage::simplifiedChinese));
    }
    // A failing disk or a full one is the system's, and says so in the system's words.
    const AudioError full(AudioError::Kind::encode, AVERROR(ENOSPC));
    EXPECT_TRUE(full.isSystemError());
    EXPECT_EQ(full.description(AppLanguage::english),
              QStringLiteral("The audio could not be written. ") +
                  QString::fromLocal8Bit(std::strerror(ENOSPC)));
    // Our own system calls may still give EPERM.
    const AudioError denied = AudioError::fromErrno(AudioError::Kind::encode, EPERM);
    EXPECT_TRUE(denied.isSystemError());
    EXPECT_EQ(denied.description(AppLanguage::english),
              QStringLiteral("The audio could not be written. ") +
                  QString::fromLocal8Bit(std::strerror(EPERM)));
}

TEST_F(AudioFileTest, CancellationReachesTheOpen) {
    const QString p = tone(QStringLiteral("a.flac"), toneSpec(QStringLiteral("flac")));
    EXPECT_THROW(AudioFile::open(p, [] { return true; }), CancellationError);
}

} // namespace
