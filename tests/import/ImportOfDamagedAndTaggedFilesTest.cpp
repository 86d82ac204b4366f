// Files as they come from the world rather than from a careful encoder: cut short, without the
// header that gives their length, carrying tags of every kind, or no audio at all. Each is made
// at test time (ffmpeg for the audio, our own bytes for the tags), imported into a libgpod
// volume and read back through libgpod.

#include "ImportFixture.h"

#include "transfer/ImportError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

using namespace ImportTest;
using TestSupport::AudioTags;
using TestSupport::IPodVolume;
using TestSupport::ToneSpec;

namespace {

const QString dash = QStringLiteral(" \u2014 ");

class ImportOfDamagedAndTaggedFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (const QString why = whyImportsCannotRun(); !why.isEmpty())
            GTEST_SKIP() << qPrintable(why);
        ASSERT_TRUE(work.isValid());
        ASSERT_TRUE(QDir().mkpath(work.filePath(QStringLiteral("in"))));
    }

    QString input(const QString& name) const { return work.filePath(QStringLiteral("in/") + name); }
    static QByteArray readAll(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static void writeAll(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    // Audio of a given expression, with the encoder arguments, as it comes out of ffmpeg.
    QString encode(const QString& name, const QString& expression, double seconds,
                   const QStringList& codecArgs) const {
        const QString path = input(name);
        EXPECT_TRUE(TestSupport::runFFmpeg(
            QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                        QStringLiteral("aevalsrc=%1:s=44100:d=%2").arg(expression).arg(seconds),
                        QStringLiteral("-ac"), QStringLiteral("2")} +
            codecArgs + QStringList{path}))
            << qPrintable(name);
        return path;
    }
    QString plainMp3(const QString& name, double seconds) const {
        return encode(name, QStringLiteral("0.4*sin(2*PI*440*t)"), seconds,
                      {QStringLiteral("-c:a"), QStringLiteral("libmp3lame"),
                       QStringLiteral("-id3v2_version"), QStringLiteral("0")});
    }
    // Keeps the first share of the file's bytes, as an interrupted download does.
    static void cut(const QString& path, double share) {
        const QByteArray bytes = readAll(path);
        writeAll(path, bytes.left(qsizetype(double(bytes.size()) * share)));
    }
    static double decodedSeconds(const QString& path) {
        const auto probed = TestSupport::probeAudio(path, true);
        EXPECT_TRUE(probed) << qPrintable(path);
        return probed ? probed->decodedSeconds : -1;
    }

    QTemporaryDir work;
};

QByteArray le32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray syncsafe(quint32 value) {
    QByteArray bytes;
    for (int shift = 21; shift >= 0; shift -= 7)
        bytes.append(char((value >> shift) & 0x7F));
    return bytes;
}

QByteArray latin1Field(const QString& text, int width) {
    QByteArray field = text.toLatin1();
    field.resize(width, '\0');
    return field;
}

// An ID3v1 tag: single-byte text, as old players and rippers wrote it.
QByteArray id3v1Tag(const QString& title, const QString& artist, const QString& album, int genre) {
    return QByteArray("TAG") + latin1Field(title, 30) + latin1Field(artist, 30) +
           latin1Field(album, 30) + QByteArray("2001") + QByteArray(30, '\0') + char(genre);
}

QByteArray utf16WithBom(const QString& text) {
    QByteArray bytes("\xFF\xFE", 2);
    for (const QChar c : text)
        bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return bytes;
}

QByteArray id3v24Frame(const char* id, const QByteArray& data) {
    return QByteArray(id) + syncsafe(quint32(data.size())) + QByteArray(2, '\0') + data;
}

// The positions of a FLAC file's first audio frame: the end of its metadata blocks.
qsizetype flacAudioStart(const QByteArray& flac) {
    qsizetype pos = 4;
    while (pos + 4 <= flac.size()) {
        const auto* h = reinterpret_cast<const uchar*>(flac.constData() + pos);
        pos += 4 + (qsizetype(h[1]) << 16 | qsizetype(h[2]) << 8 | h[3]);
        if (h[0] & 0x80)
            return pos;
    }
    return -1;
}

TEST_F(ImportOfDamagedAndTaggedFiles, LengthsAreThoseOfTheAudioAndEveryTagArrives) {
    const AudioTags complete{
        QStringLiteral("Kept"), QStringLiteral("Band"), QStringLiteral("Record"), {}, {},
        QStringLiteral("Words")};

    // Copied as they are (complete tags and lyrics), so their length must be measured: an MP3
    // cut in half whose Info header still claims all of it, and a VBR MP3 without a Xing
    // header, quiet then loud, whose first frames make its bit rate look a third of what it is.
    ToneSpec whole;
    whole.seconds = 6;
    whole.tags = complete;
    whole.tags.title = QStringLiteral("Cut MP3");
    ASSERT_TRUE(TestSupport::makeTone(input(QStringLiteral("cut.mp3")), whole));
    cut(input(QStringLiteral("cut.mp3")), 0.5);
    const QString vbr = encode(
        QStringLiteral("vbr.mp3"),
        QStringLiteral("'if(lt(t,2),0.001*sin(2*PI*440*t),0.4*sin(2*PI*440*t*(1+t))+0.2*(random(0)-"
                       "0.5))'"),
        4,
        {QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-q:a"),
         QStringLiteral("0"), QStringLiteral("-write_xing"), QStringLiteral("0"),
         QStringLiteral("-id3v2_version"), QStringLiteral("0")});
    AudioTags vbrTags = complete;
    vbrTags.title = QStringLiteral("VBR");
    writeAll(vbr, TestSupport::id3v23Tag(vbrTags) + readAll(vbr));

    // Converted: raw ADTS, whose header gives no length; a FLAC cut in half; a FLAC whose
    // header does not give its total; a FLAC that is nothing but its header.
    encode(QStringLiteral("noise.aac"), QStringLiteral("0.3*(random(0)-0.5)"), 3,
           {QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-f"),
            QStringLiteral("adts")});
    const QString cutFlac =
        encode(QStringLiteral("cut.flac"), QStringLiteral("0.4*sin(2*PI*330*t)"), 6,
               {QStringLiteral("-c:a"), QStringLiteral("flac")});
    cut(cutFlac, 0.5);
    const QString noTotal =
        encode(QStringLiteral("no total.flac"), QStringLiteral("0.4*sin(2*PI*550*t)"), 3,
               {QStringLiteral("-c:a"), QStringLiteral("flac")});
    {
        QByteArray flac = readAll(noTotal);
        ASSERT_TRUE(flac.startsWith("fLaC"));
        // STREAMINFO's 36-bit sample count: the low nibble of byte 21 and bytes 22 to 25.
        flac[21] = char(quint8(flac[21]) & 0xF0);
        flac.replace(22, 4, QByteArray(4, '\0'));
        writeAll(noTotal, flac);
    }
    const QString headerOnly =
        encode(QStringLiteral("header only.flac"), QStringLiteral("0.4*sin(2*PI*660*t)"), 3,
               {QStringLiteral("-c:a"), QStringLiteral("flac")});
    {
        const QByteArray flac = readAll(headerOnly);
        const qsizetype audio = flacAudioStart(flac);
        ASSERT_GT(audio, 0);
        writeAll(headerOnly, flac.left(audio));
    }
    // 39 bytes that FFmpeg answers with "Cannot allocate memory".
    writeAll(input(QStringLiteral("tiny.wav")),
             QByteArray("RIFF") + le32(31) + QByteArray("WAVEfmt ") + le32(0x40000000) +
                 QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10"
                            "\x11\x12\x13",
                            19));

    // Tags of every kind: ID3v1 in Latin-1; Vorbis comments with two artists, an album artist
    // and a genre; WAV INFO with genre and album artist; ID3v2.4 with two artists in one frame.
    const QString latin1 = plainMp3(QStringLiteral("latin1.mp3"), 1);
    writeAll(latin1, readAll(latin1) + id3v1Tag(QStringLiteral("r\u00e4ksm\u00f6rg\u00e5s"),
                                                QStringLiteral("Sm\u00f6rg\u00e5s"),
                                                QStringLiteral("Br\u00f6d"), 17));
    const QString flac =
        encode(QStringLiteral("tagged.flac"), QStringLiteral("0.4*sin(2*PI*770*t)"), 1,
               {QStringLiteral("-c:a"), QStringLiteral("flac")});
    ASSERT_TRUE(TestSupport::setFlacComments(
        flac, {{QStringLiteral("TITLE"), QStringLiteral("Flac Song")},
               {QStringLiteral("ARTIST"), QStringLiteral("Alpha")},
               {QStringLiteral("ARTIST"), QStringLiteral("Beta")},
               {QStringLiteral("ALBUM"), QStringLiteral("Flac Album")},
               {QStringLiteral("ALBUMARTIST"), QStringLiteral("Various")},
               {QStringLiteral("GENRE"), QStringLiteral("Jazz")}}));
    const QString wav =
        encode(QStringLiteral("tagged.wav"), QStringLiteral("0.4*sin(2*PI*880*t)"), 1,
               {QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), QStringLiteral("-bitexact")});
    {
        QByteArray info("INFO");
        for (const auto& [id, text] : QList<QPair<QByteArray, QByteArray>>{{"INAM", "Wave Song"},
                                                                           {"IART", "Waver"},
                                                                           {"IPRD", "Wave Album"},
                                                                           {"IGNR", "Blues"},
                                                                           {"IAAR", "Wave Band"}}) {
            QByteArray data = text + '\0';
            info += id + le32(quint32(data.size())) + data;
            if (data.size() % 2)
                info += '\0';
        }
        QByteArray riff = readAll(wav) + QByteArray("LIST") + le32(quint32(info.size())) + info;
        riff.replace(4, 4, le32(quint32(riff.size() - 8)));
        writeAll(wav, riff);
    }
    const QString duet = plainMp3(QStringLiteral("duet.mp3"), 1);
    {
        const QByteArray frames =
            id3v24Frame("TIT2", QByteArray("\x03") + "Duet") +
            id3v24Frame("TPE1", QByteArray("\x01") + utf16WithBom(QStringLiteral("Alpha")) +
                                    QByteArray(2, '\0') + utf16WithBom(QStringLiteral("Beta"))) +
            id3v24Frame("TPE2", QByteArray("\x03") + "Duo") +
            id3v24Frame("TALB", QByteArray("\x03") + "Duets");
        writeAll(duet, QByteArray("ID3\x04\x00\x00", 6) + syncsafe(quint32(frames.size())) +
                           frames + readAll(duet));
    }

    // Two files of different bytes that convert to the same file: the second is skipped, and
    // said to be.
    const QString twin = plainMp3(QStringLiteral("twin one.mp3"), 1);
    AudioTags twinTags{
        QStringLiteral("Twin"), QStringLiteral("Band"), QStringLiteral("Pair"), {}, {}, {}};
    const QByteArray audio = readAll(twin);
    QByteArray padded = TestSupport::id3v23Tag(twinTags);
    padded.replace(6, 4, syncsafe(quint32(padded.size() - 10 + 64)));
    writeAll(twin, TestSupport::id3v23Tag(twinTags) + audio);
    writeAll(input(QStringLiteral("twin two.mp3")), padded + QByteArray(64, '\0') + audio);

    IPodVolume tree(QStringLiteral("MA477"));
    tree.addTrack({});
    tree.write();
    auto ipod = MountedIPod::make(FileSystem::tmpfs, tree, QStringLiteral("size=96m,mode=0755"));
    ASSERT_TRUE(ipod);
    // The lengths to expect, from the sources before the import reads them.
    QHash<QString, double> decoded;
    for (const QString& name : QDir(work.filePath(QStringLiteral("in"))).entryList(QDir::Files))
        if (name != QStringLiteral("tiny.wav") && name != QStringLiteral("header only.flac"))
            decoded.insert(name, decodedSeconds(input(name)));
    EXPECT_NEAR(decoded.value(QStringLiteral("cut.mp3")), 3, 0.2);
    EXPECT_NEAR(decoded.value(QStringLiteral("cut.flac")), 3, 0.2);

    const Outcome outcome = runImport({work.filePath(QStringLiteral("in"))}, ipod->device());
    ASSERT_FALSE(outcome.error) << qPrintable(outcome.errorText());
    ASSERT_TRUE(outcome.failures);
    const QString unsupported = ImportError::unsupportedAudio().description(AppLanguage::english);
    EXPECT_EQ(*outcome.failures,
              (QStringList{QStringLiteral("header only.flac") + dash + unsupported,
                           QStringLiteral("tiny.wav") + dash + unsupported}));
    EXPECT_EQ(outcome.skippedIdentical, 1);

    QHash<QString, Track> byTitle;
    for (const Track& track : tracksOn(ipod->mountPoint()))
        byTitle.insert(track.title, track);
    // The volume's own track, and every file but the two failures and the twin.
    ASSERT_EQ(byTitle.size(), 1 + 13 - 3) << qPrintable(byTitle.keys().join(u'|'));
    IPodDatabase reopened(ipod->mountPoint());
    const auto expectLength = [&](const QString& title, const QString& source) {
        ASSERT_TRUE(byTitle.contains(title)) << qPrintable(title);
        const Track& track = byTitle[title];
        EXPECT_NEAR(track.duration, decoded.value(source), 0.05) << qPrintable(title);
        // What the iPod plays is as long as what was registered.
        EXPECT_NEAR(decodedSeconds(reopened.fileURL(track.id)), track.duration, 0.05)
            << qPrintable(title);
    };
    expectLength(QStringLiteral("Cut MP3"), QStringLiteral("cut.mp3"));
    expectLength(QStringLiteral("VBR"), QStringLiteral("vbr.mp3"));
    expectLength(QStringLiteral("noise"), QStringLiteral("noise.aac"));
    expectLength(QStringLiteral("cut"), QStringLiteral("cut.flac"));
    expectLength(QStringLiteral("no total"), QStringLiteral("no total.flac"));
    expectLength(QStringLiteral("Twin"), QStringLiteral("twin one.mp3"));
    EXPECT_EQ(byTitle[QStringLiteral("Cut MP3")].format, QStringLiteral("MP3"));
    EXPECT_EQ(byTitle[QStringLiteral("VBR")].format, QStringLiteral("MP3"));

    const Track& latin = byTitle[QStringLiteral("r\u00e4ksm\u00f6rg\u00e5s")];
    EXPECT_EQ(latin.artist, QStringLiteral("Sm\u00f6rg\u00e5s"));
    EXPECT_EQ(latin.album, QStringLiteral("Br\u00f6d"));
    EXPECT_EQ(latin.genre, QStringLiteral("Rock"));
    const Track& vorbis = byTitle[QStringLiteral("Flac Song")];
    EXPECT_EQ(vorbis.artist, QStringLiteral("Alpha/Beta"));
    EXPECT_EQ(vorbis.albumArtist, QStringLiteral("Various"));
    EXPECT_EQ(vorbis.album, QStringLiteral("Flac Album"));
    EXPECT_EQ(vorbis.genre, QStringLiteral("Jazz"));
    const Track& wave = byTitle[QStringLiteral("Wave Song")];
    EXPECT_EQ(wave.artist, QStringLiteral("Waver"));
    EXPECT_EQ(wave.album, QStringLiteral("Wave Album"));
    EXPECT_EQ(wave.albumArtist, QStringLiteral("Wave Band"));
    EXPECT_EQ(wave.genre, QStringLiteral("Blues"));
    const Track& both = byTitle[QStringLiteral("Duet")];
    EXPECT_EQ(both.artist, QStringLiteral("Alpha/Beta"));
    EXPECT_EQ(both.albumArtist, QStringLiteral("Duo"));
    // The converted file carries the album artist too.
    const auto converted = TestSupport::probeAudio(reopened.fileURL(both.id));
    ASSERT_TRUE(converted);
    EXPECT_EQ(converted->tags.value(QStringLiteral("album_artist")), QStringLiteral("Duo"));
}

} // namespace
