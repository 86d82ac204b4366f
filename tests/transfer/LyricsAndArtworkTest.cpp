#include "TransferTestSupport.h"

#include "transfer/ExportError.h"
#include "transfer/ImportError.h"
#include "transfer/LyricsAndArtwork.h"

#include <zlib.h>

namespace {

using namespace IPodTransfer;

QByteArray be32(quint32 v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(v >> (24 - 8 * i));
    return b;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data) {
    const QByteArray typed = type + data;
    const quint32 crc =
        quint32(crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), uInt(typed.size())));
    return be32(quint32(data.size())) + typed + be32(crc);
}

// A tiny file that claims 20000 × 20000 pixels.
QByteArray pictureBomb() {
    QByteArray ihdr = be32(20000) + be32(20000) + QByteArray("\x08\x02\x00\x00\x00", 5);
    QByteArray raw(20000 * 3 + 1, '\0');
    QByteArray idat(int(compressBound(uLong(raw.size()))), '\0');
    uLongf n = uLongf(idat.size());
    compress(reinterpret_cast<Bytef*>(idat.data()), &n,
             reinterpret_cast<const Bytef*>(raw.constData()), uLong(raw.size()));
    idat.truncate(int(n));
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr) + pngChunk("IDAT", idat) +
           pngChunk("IEND", {});
}

class LyricsAndArtworkTest : public AudioTest {};

TEST_F(LyricsAndArtworkTest, VorbisLyricsMatchWithoutCaseAndKeepTheirBlanks) {
    const QString flac =
        tone(QStringLiteral("a.flac"), toneSpec(QStringLiteral("flac"), 44100, 2, 0.2));
    ASSERT_TRUE(TestSupport::setFlacComments(
        flac, {{QStringLiteral("LYRICS"), QStringLiteral(" \n ")},
               {QStringLiteral("VORB_OTHER"), QStringLiteral("no")},
               {QStringLiteral("UnSyncedLyrics"), QStringLiteral("  sung  ")},
               {QStringLiteral("LYRICS"), QStringLiteral("later")}}));
    AudioFile file = AudioFile::open(flac);
    EXPECT_EQ(readLyrics(file, file.metadata()), QStringLiteral("  sung  "));

    TestSupport::ToneSpec mp3 = toneSpec(QStringLiteral("mp3"), 44100, 2, 0.2);
    AudioFile bare = AudioFile::open(tone(QStringLiteral("bare.mp3"), mp3));
    EXPECT_FALSE(readLyrics(bare, bare.metadata()).has_value());
}

TEST_F(LyricsAndArtworkTest, ArtworkIsValidatedAndOddFormatsBecomePng) {
    for (const QString& name : {QStringLiteral("c.gif"), QStringLiteral("c.tiff")}) {
        ASSERT_TRUE(TestSupport::makePicture(path(name), 24, 24));
        const EmbeddableArtwork a = reencodeArtwork(readAll(path(name)));
        EXPECT_FALSE(a.isJPEG);
        EXPECT_TRUE(hasPNGSignature(a.bytes)) << name.toStdString();
    }
    ASSERT_TRUE(TestSupport::makePicture(path(QStringLiteral("c.jpg")), 24, 24));
    const QByteArray jpeg = readAll(path(QStringLiteral("c.jpg")));
    EXPECT_EQ(reencodeArtwork(jpeg).bytes, jpeg);
    EXPECT_TRUE(reencodeArtwork(jpeg).isJPEG);
    // Only the signature is looked at for JPEG.
    EXPECT_TRUE(reencodeArtwork(QByteArray("\xFF\xD8\xFF junk", 8)).isJPEG);
    EXPECT_THROW(reencodeArtwork("plain words"), ExportError);
    EXPECT_THROW(reencodeArtwork(QByteArray("BM") + QByteArray(40, '\xFF')), ExportError);
}

TEST_F(LyricsAndArtworkTest, FilePicturesThatDoNotDecodeOrAreHugeAreDropped) {
    ASSERT_TRUE(TestSupport::makePicture(path(QStringLiteral("c.png")), 16, 16));
    const QString bomb = path(QStringLiteral("bomb.png"));
    writeAll(bomb, pictureBomb());
    const QString junk = path(QStringLiteral("junk.png"));
    writeAll(junk, QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(100, 'z'));
    struct Case {
        QString cover;
        bool kept;
    } cases[] = {{path(QStringLiteral("c.png")), true}, {bomb, false}, {junk, false}};
    for (const Case& c : cases) {
        TestSupport::ToneSpec spec = toneSpec(QStringLiteral("mp3"), 44100, 2, 0.2);
        spec.tags.title = QStringLiteral("t");
        spec.coverPath = c.cover;
        AudioFile file = AudioFile::open(tone(QStringLiteral("x.mp3"), spec));
        EXPECT_EQ(artworkData(file).has_value(), c.kept) << c.cover.toStdString();
    }
    AudioFile none = AudioFile::open(
        tone(QStringLiteral("none.mp3"), toneSpec(QStringLiteral("mp3"), 44100, 2, 0.2)));
    EXPECT_FALSE(artworkData(none).has_value());
}

} // namespace
