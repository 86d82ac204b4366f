// Tags FFmpeg drops or never reads, and repeated frames, as the audio layer gives them.

#include "TransferTestSupport.h"

#include "platform/audio/AudioFile.h"

namespace {

using TestSupport::ToneSpec;

QByteArray bytes(std::initializer_list<quint32> values) {
    QByteArray out;
    for (const quint32 v : values)
        out += char(v & 0xFF);
    return out;
}
QByteArray syncsafe(quint32 n) {
    return bytes({n >> 21 & 0x7F, n >> 14 & 0x7F, n >> 7 & 0x7F, n & 0x7F});
}
QByteArray be32(quint32 n) {
    return bytes({n >> 24, n >> 16, n >> 8, n});
}
QByteArray le32(quint32 n) {
    return bytes({n, n >> 8, n >> 16, n >> 24});
}
// A version-3 frame (8-bit size) or, with v4, a version-4 one (syncsafe size).
QByteArray frame(const QByteArray& id, const QByteArray& data, quint16 flags = 0, bool v4 = false) {
    return id + (v4 ? syncsafe(quint32(data.size())) : be32(quint32(data.size()))) +
           char(flags >> 8) + char(flags) + data;
}
QByteArray latin1(const QByteArray& text) {
    return '\0' + text;
}
QByteArray tag(int version, quint8 flags, const QByteArray& body) {
    return QByteArray("ID3") + char(version) + '\0' + char(flags) + syncsafe(quint32(body.size())) +
           body;
}
QByteArray unsynchronise(const QByteArray& bytes) {
    QByteArray out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        out += bytes[i];
        if (quint8(bytes[i]) == 0xFF &&
            (i + 1 == bytes.size() || bytes[i + 1] == '\0' || quint8(bytes[i + 1]) >= 0xE0))
            out += '\0';
    }
    return out;
}
QByteArray utf16le(const QString& text) {
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}
QByteArray riffChunk(const QByteArray& id, const QByteArray& data) {
    return id + le32(quint32(data.size())) + data + (data.size() % 2 ? QByteArray(1, '\0') : "");
}

QString common(const AudioFile& file, const char* key) {
    for (const auto& item : file.commonMetadata())
        if (item.key == QLatin1String(key))
            return item.value;
    return QStringLiteral("<none>");
}
QString item(const AudioFile& file, const QString& identifier) {
    for (const auto& item : file.metadata())
        if (item.identifier() == identifier)
            return item.value;
    return QStringLiteral("<none>");
}

class AudioFileTagFallbackTest : public AudioTest {
protected:
    // MPEG audio without any tag.
    QByteArray bareMp3() {
        const QString p = tone(QStringLiteral("bare.mp3"), toneSpec(QStringLiteral("mp3")));
        return readAll(p);
    }
};

TEST_F(AudioFileTagFallbackTest, TagsFFmpegDropsAreReadWhereFFmpegHasNone) {
    const QByteArray mp3 = bareMp3();
    const auto v3 = [](const QByteArray& title = "Title") {
        return frame("TIT2", latin1(title)) + frame("TPE1", latin1("Artist")) +
               frame("TALB", latin1("Album"));
    };
    const QByteArray id3v1 = "TAG" + QByteArray("Title").leftJustified(30, '\0') +
                             QByteArray("Artist").leftJustified(30, '\0') +
                             QByteArray("Album").leftJustified(30, '\0') + "2001" +
                             QByteArray(30, '\0') + char(0xFF);
    const auto apeItem = [](const QByteArray& key, const QByteArray& value) {
        return le32(quint32(value.size())) + le32(0) + key + '\0' + value;
    };
    const QByteArray apeItems =
        apeItem("Title", "Title") + apeItem("Artist", "Artist") + apeItem("Album", "Ape Album");
    const auto apeHeader = [&](bool header) {
        return "APETAGEX" + le32(2000) + le32(quint32(apeItems.size() + 32)) + le32(3) +
               le32(0x80000000u | (header ? 0x20000000u : 0)) + QByteArray(8, '\0');
    };
    // A 16-bit stereo PCM WAV: the format, an empty data chunk, the INFO list, then the audio.
    const QByteArray format = le32(0x00020001) + le32(44100) + le32(44100 * 4) + le32(0x00100004);
    const QByteArray info = "INFO" + riffChunk("INAM", "Title\0") + riffChunk("IART", "Artist\0") +
                            riffChunk("IPRD", "Album\0");
    const QByteArray wave = TestSupport::riffWave(
        {{"fmt ", format}, {"data", {}}, {"LIST", info}, {"data", QByteArray(44100 * 4, '\0')}});

    struct Case {
        const char* kind;
        QString name;
        QByteArray bytes;
        QString title, artist, album;
    };
    const QString title = QStringLiteral("Title"), artist = QStringLiteral("Artist"),
                  album = QStringLiteral("Album");
    const Case cases[] = {
        {"unsynchronised ID3v2.3", QStringLiteral("unsync.mp3"),
         tag(3, 0x80,
             unsynchronise(frame("TXXX", QByteArray("\0x\0\xFF\xE0\xFF\xFF\0\xFF", 9)) + v3())) +
             mp3,
         title, artist, album},
        {"UTF-16 title whose byte-order mark is a terminator", QStringLiteral("bom.mp3"),
         tag(3, 0,
             frame("TIT2", "\x01" + QByteArray(2, '\0') + "\xFF\xFE" + utf16le(title)) +
                 frame("TPE1", latin1("Artist")) + frame("TALB", latin1("Album"))) +
             mp3,
         title, artist, album},
        {"ID3v2.4 frame whose size is no syncsafe number", QStringLiteral("size.mp3"),
         tag(4, 0,
             "TXXX" + be32(203) + QByteArray(2, '\0') + QByteArray("\0x\0", 3) +
                 QByteArray(200, 'y') + frame("TIT2", latin1("Title"), 0, true) +
                 frame("TPE1", latin1("Artist"), 0, true) +
                 frame("TALB", latin1("Album"), 0, true)) +
             mp3,
         title, artist, album},
        {"short TYER with a flag FFmpeg takes for a length field", QStringLiteral("tyer.mp3"),
         tag(3, 0,
             frame("TYER",
                   QByteArray("\0"
                              "01",
                              3),
                   1) +
                 v3()) +
             mp3,
         title, artist, album},
        {"ID3v2.4 extended-header flag without an extended header", QStringLiteral("extended.mp3"),
         tag(4, 0x40,
             frame("TIT2", latin1("Title"), 0, true) + frame("TPE1", latin1("Artist"), 0, true) +
                 frame("TALB", latin1("Album"), 0, true)) +
             mp3,
         title, artist, album},
        {"album only in a second ID3v2 tag after padding", QStringLiteral("second.mp3"),
         tag(3, 0, frame("TIT2", latin1("Title")) + frame("TPE1", latin1("Artist"))) +
             QByteArray(32, '\0') + tag(3, 0, frame("TALB", latin1("Album"))) + mp3,
         title, artist, album},
        {"album only in the ID3v1 tag beside ID3v2", QStringLiteral("v1.mp3"),
         tag(3, 0, frame("TIT2", latin1("Title")) + frame("TPE1", latin1("Artist"))) + mp3 + id3v1,
         title, artist, album},
        {"APEv2 tag only", QStringLiteral("ape.mp3"),
         mp3 + apeHeader(true) + apeItems + apeHeader(false), title, artist,
         QStringLiteral("Ape Album")},
        // FFmpeg's values stay where it has them; only the missing album comes from APEv2.
        {"ID3v2 without album beside APEv2", QStringLiteral("both.mp3"),
         tag(3, 0, frame("TIT2", latin1("Own")) + frame("TPE1", latin1("Artist"))) + mp3 +
             apeHeader(true) + apeItems + apeHeader(false),
         QStringLiteral("Own"), artist, QStringLiteral("Ape Album")},
        {"WAV with INFO after an empty data chunk", QStringLiteral("info.wav"), wave, title, artist,
         album},
    };
    for (const Case& c : cases) {
        const QString p = path(c.name);
        writeAll(p, c.bytes);
        const AudioFile file = AudioFile::open(p);
        EXPECT_TRUE(file.hasAudio()) << c.kind;
        EXPECT_EQ(common(file, "title"), c.title) << c.kind;
        EXPECT_EQ(common(file, "artist"), c.artist) << c.kind;
        EXPECT_EQ(common(file, "albumName"), c.album) << c.kind;
    }
}

TEST_F(AudioFileTagFallbackTest, EveryFieldTheImportTakesComesFromTheFallbacks) {
    const QByteArray mp3 = bareMp3();
    using Encode = std::function<QByteArray(const char*)>;
    const Encode plain = [](const char* text) { return latin1(text); };
    const Encode noMark = [](const char* text) {
        return '\x01' + utf16le(QString::fromLatin1(text));
    };
    const Encode bigEndian = [](const char* text) {
        QByteArray out("\x01");
        for (const char c : QByteArray(text))
            out += '\0' + QByteArray(1, c);
        return out;
    };
    const Encode damagedMark = [](const char* text) {
        return "\x01\xFF\xFF" + utf16le(QString::fromLatin1(text));
    };
    const auto frames = [](const Encode& names, const Encode& band, const char* genre = "(17)") {
        return frame("TIT2", names("Title")) + frame("TPE1", names("Artist")) +
               frame("TALB", names("Album")) + frame("TPE2", band("Band")) +
               frame("TCON", names(genre));
    };
    const QByteArray info = "INFO" + riffChunk("INAM", "Title\0") + riffChunk("IART", "Artist\0") +
                            riffChunk("IPRD", "Album\0") + riffChunk("IGNR", "Rock\0");
    const QByteArray format = le32(0x00020001) + le32(44100) + le32(44100 * 4) + le32(0x00100004);
    struct Case {
        const char* kind;
        QString name;
        QByteArray bytes;
        QString albumArtist, genre;
    };
    const QString band = QStringLiteral("Band"), rock = QStringLiteral("Rock");
    const Case cases[] = {
        {"UTF-16 without a byte-order mark", QStringLiteral("le.mp3"),
         tag(3, 0, frames(noMark, noMark)) + mp3, band, rock},
        {"big-endian UTF-16 without a byte-order mark", QStringLiteral("be.mp3"),
         tag(3, 0, frames(bigEndian, bigEndian)) + mp3, band, rock},
        {"UTF-16 with a damaged byte-order mark", QStringLiteral("mark.mp3"),
         tag(3, 0, frames(damagedMark, damagedMark)) + mp3, band, rock},
        {"unsynchronised ID3v2.3 tag", QStringLiteral("unsync.mp3"),
         tag(3, 0x80,
             unsynchronise(frame("TXXX", QByteArray("\0x\0\xFF\xE0\xFF\xFF\0\xFF", 9)) +
                           frames(plain, plain))) +
             mp3,
         band, rock},
        // FFmpeg's own genre stays; only the album artist it cannot read comes from ours.
        {"ID3v2 whose album artist has no byte-order mark", QStringLiteral("mixed.mp3"),
         tag(3, 0, frames(plain, noMark, "(8)")) + mp3, band, QStringLiteral("Jazz")},
        {"WAV with INFO after an empty data chunk", QStringLiteral("info.wav"),
         TestSupport::riffWave({{"fmt ", format},
                                {"data", {}},
                                {"LIST", info},
                                {"data", QByteArray(44100 * 4, '\0')}}),
         QStringLiteral("<none>"), rock},
    };
    for (const Case& c : cases) {
        const QString p = path(c.name);
        writeAll(p, c.bytes);
        const AudioFile file = AudioFile::open(p);
        const bool wave = c.name.endsWith(QLatin1String(".wav"));
        EXPECT_EQ(common(file, "title"), QStringLiteral("Title")) << c.kind;
        EXPECT_EQ(common(file, "artist"), QStringLiteral("Artist")) << c.kind;
        EXPECT_EQ(common(file, "albumName"), QStringLiteral("Album")) << c.kind;
        EXPECT_EQ(common(file, "albumArtist"), c.albumArtist) << c.kind;
        EXPECT_EQ(item(file, wave ? QStringLiteral("riff/IAAR") : QStringLiteral("id3/TPE2")),
                  c.albumArtist)
            << c.kind;
        EXPECT_EQ(item(file, wave ? QStringLiteral("riff/IGNR") : QStringLiteral("id3/TCON")),
                  c.genre)
            << c.kind;
    }
}

TEST_F(AudioFileTagFallbackTest, TheAlbumArtistComesFromEachTagOnlyTheFallbackReads) {
    const QByteArray mp3 = bareMp3();
    const QByteArray band = frame("TIT2", latin1("Title")) + frame("TPE2", latin1("Band"));
    const auto apeItem = [](const QByteArray& key, const QByteArray& value) {
        return le32(quint32(value.size())) + le32(0) + key + '\0' + value;
    };
    const QByteArray apeItems = apeItem("Title", "Title") + apeItem("Album Artist", "Band");
    const auto apeHeader = [&](bool header) {
        return "APETAGEX" + le32(2000) + le32(quint32(apeItems.size() + 32)) + le32(2) +
               le32(0x80000000u | (header ? 0x20000000u : 0)) + QByteArray(8, '\0');
    };
    const QByteArray format = le32(0x00020001) + le32(44100) + le32(44100 * 4) + le32(0x00100004);
    struct Case {
        const char* kind;
        QString name;
        QByteArray bytes;
    };
    const Case cases[] = {
        // FFmpeg stops at the empty data chunk and never sees the tag.
        {"WAV whose id3 chunk follows an empty data chunk", QStringLiteral("id3.wav"),
         TestSupport::riffWave({{"fmt ", format},
                                {"data", {}},
                                {"id3 ", tag(3, 0, band)},
                                {"data", QByteArray(44100 * 4, '\0')}})},
        {"MP3 with an APEv2 tag alone", QStringLiteral("ape.mp3"),
         mp3 + apeHeader(true) + apeItems + apeHeader(false)},
        {"album artist only in a second ID3v2 tag", QStringLiteral("second.mp3"),
         tag(3, 0, frame("TIT2", latin1("Title"))) + QByteArray(16, '\0') +
             tag(3, 0, frame("TPE2", latin1("Band"))) + mp3},
    };
    for (const Case& c : cases) {
        const QString p = path(c.name);
        writeAll(p, c.bytes);
        const AudioFile file = AudioFile::open(p);
        EXPECT_EQ(common(file, "title"), QStringLiteral("Title")) << c.kind;
        EXPECT_EQ(common(file, "albumArtist"), QStringLiteral("Band")) << c.kind;
    }
}

TEST_F(AudioFileTagFallbackTest, RepeatedValuesAreJoinedOnceInOrder) {
    const QByteArray artists =
        frame("TPE1", latin1("duplicate artist")) + frame("TPE1", latin1("duplicate artist")) +
        frame("TPE1", latin1("duplicate artist")) + frame("TPE1", latin1("new artist")) +
        frame("TPE1", latin1("new artist"));
    const QString mp3 = path(QStringLiteral("repeats.mp3"));
    writeAll(mp3, tag(3, 0, frame("TIT2", latin1("T")) + artists) + bareMp3());
    EXPECT_EQ(common(AudioFile::open(mp3), "artist"),
              QStringLiteral("duplicate artist/new artist"));

    const QString flac = tone(QStringLiteral("repeats.flac"), toneSpec(QStringLiteral("flac")));
    ASSERT_TRUE(
        TestSupport::setFlacComments(flac, {{QStringLiteral("ARTIST"), QStringLiteral("a")},
                                            {QStringLiteral("ARTIST"), QStringLiteral("b")},
                                            {QStringLiteral("artist"), QStringLiteral("a")}}));
    EXPECT_EQ(common(AudioFile::open(flac), "artist"), QStringLiteral("a/b"));
}

} // namespace
