// Tag reading on real files and the WAV INFO parser on byte-built files, with a bounded fuzz
// loop under the sanitizers.

#include "TransferTestSupport.h"

#include "library/IPodDatabaseError.h"
#include "platform/audio/AudioFile.h"
#include "transfer/IPodTransfer.h"
#include "transfer/PosixError.h"
#include "transfer/TagReader.h"

#include <QRandomGenerator>

namespace {

using TestSupport::riffWave;

QByteArray le32(quint32 v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(v >> (8 * i));
    return b;
}

QByteArray sub(const QByteArray& id, const QByteArray& data) {
    QByteArray out = id + le32(quint32(data.size())) + data;
    if (data.size() % 2)
        out += '\0';
    return out;
}

class TagReaderTest : public AudioTest {
protected:
    FileTags tagsOf(const QString& file, bool parse) {
        AudioFile f = AudioFile::open(file);
        return readTags(file, f.commonMetadata(), f.metadata(), parse);
    }
    QString wave(const QString& name, const QByteArray& bytes) {
        writeAll(path(name), bytes);
        return path(name);
    }
};

TEST_F(TagReaderTest, UntaggedFileNameGivesArtistAndTitleOnlyWhenAllowed) {
    const QString p = tone(QStringLiteral("Left Side - Right Side.mp3"),
                           toneSpec(QStringLiteral("mp3"), 44100, 2, 0.3));
    EXPECT_EQ(tagsOf(p, true), (FileTags{QStringLiteral("Right Side"), QStringLiteral("Left Side"),
                                         QStringLiteral("Lorvanel.APP"), false}));
    EXPECT_EQ(tagsOf(p, false), (FileTags{QStringLiteral("Left Side - Right Side"), QString(),
                                          QStringLiteral("Lorvanel.APP"), false}));
}

TEST_F(TagReaderTest, CompleteTagsStayCompleteAndLinksAreCut) {
    TestSupport::ToneSpec spec = toneSpec(QStringLiteral("mp3"), 44100, 2, 0.3);
    spec.tags.title = QStringLiteral("T");
    spec.tags.artist = QStringLiteral("A & B");
    spec.tags.album = QStringLiteral("Rock & Roll");
    EXPECT_EQ(tagsOf(tone(QStringLiteral("X - Y.mp3"), spec), true),
              (FileTags{QStringLiteral("T"), QStringLiteral("A & B"), QStringLiteral("Rock & Roll"),
                        true}));
    spec.tags.album = QStringLiteral("Get it at WWW.example.com ?a=1&b=2");
    const FileTags linked = tagsOf(tone(QStringLiteral("linked.mp3"), spec), true);
    EXPECT_EQ(linked.album, QStringLiteral("Get it at WWW.example.com ?a=1"));
    EXPECT_FALSE(linked.tagsComplete);
}

TEST_F(TagReaderTest, WaveAlbumComesFromInfoAndADamagedListGivesTheDefault) {
    TestSupport::ToneSpec spec = toneSpec(QStringLiteral("pcm_s16le"), 44100, 2, 0.2);
    spec.tags.album = QStringLiteral("Made by the tool");
    EXPECT_EQ(tagsOf(tone(QStringLiteral("a.wav"), spec), true).album,
              QStringLiteral("Made by the tool"));
    const QString broken =
        wave(QStringLiteral("broken.wav"),
             riffWave({{"LIST", QByteArray("INFO") + sub("IPRD", "x")}}).left(20));
    EXPECT_EQ(readTags(broken, {}, {}, true).album, IPodTransfer::defaultAlbum);
}

TEST_F(TagReaderTest, ParseWaveInfoFollowsTheChunkRules) {
    const QByteArray fmt("\x01\x00\x01\x00\x44\xAC\x00\x00\x88\x58\x01\x00\x02\x00\x10\x00", 16);
    // IPRD after an odd-sized entry, with trailing zero bytes.
    const QString odd = wave(QStringLiteral("odd.wav"),
                             riffWave({{"fmt ", fmt},
                                       {"LIST", QByteArray("INFO") + sub("INAM", "abc") +
                                                    sub("IPRD", QByteArray("Name\0\0\0", 7))},
                                       {"data", "ab"}}));
    EXPECT_EQ(parseWaveInfo(odd), QStringLiteral("Name"));
    // A blank IPRD gives none; a later one is taken.
    const QString blank = wave(QStringLiteral("blank.wav"),
                               riffWave({{"LIST", QByteArray("INFO") + sub("IPRD", " \n ")},
                                         {"LIST", QByteArray("INFO") + sub("IPRD", "Later")}}));
    EXPECT_EQ(parseWaveInfo(blank), QStringLiteral("Later"));
    const QString onlyBlank = wave(QStringLiteral("only.wav"),
                                   riffWave({{"LIST", QByteArray("INFO") + sub("IPRD", "   ")}}));
    EXPECT_FALSE(parseWaveInfo(onlyBlank).has_value());
    // Latin-1 when the bytes are no UTF-8.
    const QString latin = wave(QStringLiteral("latin.wav"),
                               riffWave({{"LIST", QByteArray("INFO") + sub("IPRD", "Caf\xE9")}}));
    EXPECT_EQ(parseWaveInfo(latin), QStringLiteral("Caf\u00E9"));
    // A file that ends just after a whole chunk, with fewer than 8 bytes left.
    const QString tail = wave(QStringLiteral("tail.wav"), riffWave({{"data", "abcd"}}) + "xyz");
    EXPECT_FALSE(parseWaveInfo(tail).has_value());
    EXPECT_FALSE(parseWaveInfo(wave(QStringLiteral("riff.wav"), "RIFX....WAVE")).has_value());

    // A list claiming more than the file, an entry claiming more than its list, and a size
    // near 4 GiB that must not wrap around.
    const QString longList =
        wave(QStringLiteral("long.wav"),
             riffWave({{"LIST", QByteArray("INFO") + sub("IPRD", "x")}}).left(24));
    EXPECT_THROW(parseWaveInfo(longList), IPodDatabaseError);
    QByteArray overrun = QByteArray("INFO") + QByteArray("IPRD") + le32(100) + "x";
    const QString longEntry = wave(QStringLiteral("entry.wav"),
                                   riffWave({{"LIST", overrun}, {"data", QByteArray(200, 'a')}}));
    EXPECT_THROW(parseWaveInfo(longEntry), IPodDatabaseError);
    const QString wrap = wave(QStringLiteral("wrap.wav"), QByteArray("RIFF\0\0\0\0WAVE", 12) +
                                                              "LIST" + le32(0xFFFFFFF8u) + "INFO");
    EXPECT_THROW(parseWaveInfo(wrap), IPodDatabaseError);
    EXPECT_THROW(parseWaveInfo(path(QStringLiteral("missing.wav"))), PosixError);
}

TEST_F(TagReaderTest, ParseWaveInfoSurvivesRandomDamage) {
    const QByteArray seed =
        riffWave({{"fmt ", QByteArray(16, '\x01')},
                  {"LIST", QByteArray("INFO") + sub("INAM", "abc") + sub("IPRD", "Album")},
                  {"data", QByteArray(64, 'a')}});
    QRandomGenerator rng(8);
    const QString p = path(QStringLiteral("fuzz.wav"));
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes = seed;
        const int edits = 1 + int(rng.bounded(6));
        for (int e = 0; e < edits; ++e) {
            const int at = int(rng.bounded(bytes.size()));
            switch (rng.bounded(3)) {
            case 0:
                bytes[at] = char(rng.bounded(256));
                break;
            case 1:
                bytes.truncate(at);
                break;
            default:
                bytes.insert(at, char(rng.bounded(256)));
                break;
            }
            if (bytes.isEmpty())
                break;
        }
        writeAll(p, bytes);
        try {
            const auto album = parseWaveInfo(p);
            if (album) {
                EXPECT_FALSE(album->trimmed().isEmpty());
            }
        } catch (const IPodDatabaseError&) {
        }
    }
}

TEST(TagRules, DashSplitAndTextRules) {
    EXPECT_EQ(splitAtDashSeparator(QStringLiteral(" A  -  B - C ")),
              (std::pair{QStringLiteral("A"), QStringLiteral("B - C")}));
    EXPECT_FALSE(splitAtDashSeparator(QStringLiteral("A-B")).has_value());
    EXPECT_FALSE(splitAtDashSeparator(QStringLiteral(" - B")).has_value());
    EXPECT_EQ(IPodTransfer::stripLinkTail(QStringLiteral("a & b")), QStringLiteral("a & b"));
    EXPECT_EQ(IPodTransfer::stripLinkTail(QStringLiteral("see wWw.x.org & more")),
              QStringLiteral("see wWw.x.org"));
    EXPECT_EQ(IPodTransfer::albumOrDefault(QStringLiteral(" \n\t")),
              QStringLiteral("Lorvanel.APP"));
    EXPECT_EQ(IPodTransfer::albumOrDefault(QStringLiteral(" x ")), QStringLiteral(" x "));
}

} // namespace
