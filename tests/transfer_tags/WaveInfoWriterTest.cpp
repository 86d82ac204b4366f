#include "transfer/WaveInfoWriter.h"

#include "TagTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QTemporaryDir>

#include <system_error>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace TagTest;

namespace {

QByteArray le32(quint32 v) {
    QByteArray out;
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
    return out;
}

QByteArray chunk(const QByteArray& id, const QByteArray& data, bool pad = true) {
    QByteArray out = id + le32(quint32(data.size())) + data;
    if (pad && data.size() % 2)
        out.append('\0');
    return out;
}

QByteArray riff(const QByteArray& chunks, quint32 sizeField = 0) {
    return QByteArray("RIFF") + le32(sizeField ? sizeField : quint32(chunks.size() + 4)) + "WAVE" +
           chunks;
}

const QByteArray fmt = chunk("fmt ", QByteArray::fromHex("01000100401F0000401F000001000800"));

class WaveInfoWriter : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString wave = dir.filePath(QStringLiteral("track.wav"));

    void expectRefusedAndUnchanged(const QByteArray& file) {
        writeFile(wave, file);
        EXPECT_THROW(writeWaveInfo(QStringLiteral("Album"), wave, tagFault()), TagFault)
            << file.left(24).toHex().toStdString();
        EXPECT_EQ(readFile(wave), file);
    }
};

} // namespace

TEST(WaveInfoChunk, OddValuesGetOnePadByte) {
    // "Abcdef" + 0x00 is 7 bytes: padded to 8.
    EXPECT_EQ(waveInfoChunk(QStringLiteral("Abcdef")), QByteArray("LIST") + le32(20) + "INFO" +
                                                           "IPRD" + le32(7) + "Abcdef" +
                                                           QByteArray(2, '\0'));
    EXPECT_EQ(waveInfoChunk(QStringLiteral("Abcdefg")), QByteArray("LIST") + le32(20) + "INFO" +
                                                            "IPRD" + le32(8) + "Abcdefg" +
                                                            QByteArray(1, '\0'));
    // n counts UTF-8 bytes, not characters.
    EXPECT_EQ(waveInfoChunk(QStringLiteral("é")).mid(16, 4), le32(3));
}

TEST_F(WaveInfoWriter, AppendsAfterTheLastChunkAndFixesTheRiffSize) {
    // Odd last chunk without its pad byte: the pad is added first, so the new chunk is aligned.
    const QByteArray odd = riff(fmt + chunk("data", "abc", false));
    writeFile(wave, odd);
    writeWaveInfo(QStringLiteral("Album"), wave, tagFault());
    QByteArray expected = odd + QByteArray(1, '\0') + waveInfoChunk(QStringLiteral("Album"));
    expected.replace(4, 4, le32(quint32(expected.size() - 8)));
    EXPECT_EQ(readFile(wave), expected);

    // Padded odd chunk, and a RIFF size that was wrong to begin with (as streaming writers
    // leave it): the size is made right.
    const QByteArray padded = riff(fmt + chunk("data", "abc"), 0xFFFFFFFF);
    writeFile(wave, padded);
    writeWaveInfo(QStringLiteral("Al"), wave, tagFault());
    expected = padded + waveInfoChunk(QStringLiteral("Al"));
    expected.replace(4, 4, le32(quint32(expected.size() - 8)));
    EXPECT_EQ(readFile(wave), expected);
}

TEST_F(WaveInfoWriter, RefusesWhatItCannotExtendSafely) {
    const QByteArray good = riff(fmt + chunk("data", "abcd"));
    expectRefusedAndUnchanged(QByteArray());
    expectRefusedAndUnchanged(good.left(11));
    expectRefusedAndUnchanged(QByteArray("RF64") + good.mid(4));
    expectRefusedAndUnchanged(QByteArray("RIFF") + good.mid(4, 4) + "AVI " + good.mid(12));
    // A data chunk that claims more than the file holds (a truncated recording).
    expectRefusedAndUnchanged(riff(fmt + QByteArray("data") + le32(1000) + "abcd"));
    expectRefusedAndUnchanged(riff(fmt + QByteArray("data") + le32(0xFFFFFFFF) + "abcd"));
    // Stray bytes after the last chunk that are no chunk of their own.
    expectRefusedAndUnchanged(good + "xyz");
    // Not a regular file, or no file at all.
    EXPECT_THROW(writeWaveInfo(QStringLiteral("A"), dir.path(), tagFault()), std::system_error);
    EXPECT_THROW(
        writeWaveInfo(QStringLiteral("A"), dir.filePath(QStringLiteral("absent.wav")), tagFault()),
        std::system_error);
}

TEST_F(WaveInfoWriter, The32BitRiffLimitIsKeptOnHugeSparseFiles) {
    auto sparseWave = [&](quint64 fileSize) {
        const QByteArray head = riff(fmt + QByteArray("data") + le32(quint32(fileSize - 44)));
        writeFile(wave, head.left(44));
        ASSERT_EQ(::truncate(QFile::encodeName(wave).constData(), off_t(fileSize)), 0);
    };
    const QString album = QStringLiteral("0123456789");
    const quint64 chunkBytes = quint64(waveInfoChunk(album).size());
    // The largest (even, so unpadded) file whose RIFF size still fits in 32 bits after the
    // append: accepted.
    const quint64 fitting = 0xFFFFFFFFull + 8 - chunkBytes - 1;
    sparseWave(fitting);
    writeWaveInfo(album, wave, tagFault());
    QFile file(wave);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(quint64(file.size()), fitting + chunkBytes);
    EXPECT_EQ(file.read(8).mid(4), le32(0xFFFFFFFE));
    file.close();
    // Two bytes more would overflow it: refused, and the file keeps its size.
    sparseWave(fitting + 2);
    EXPECT_THROW(writeWaveInfo(album, wave, tagFault()), TagFault);
    EXPECT_EQ(quint64(QFileInfo(wave).size()), fitting + 2);
    QFile::remove(wave);
}

TEST_F(WaveInfoWriter, FFmpegWaveKeepsItsListAudioAndGainsTheAlbum) {
    if (!haveTool(QStringLiteral("ffmpeg")) || !haveTool(QStringLiteral("ffprobe")))
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    // ffmpeg writes a LIST/INFO chunk of its own (the encoder), which must stay.
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "sine=frequency=330:duration=0.5", "-c:a", "pcm_s24le",
                        "-metadata", "title=Wave Title", wave}));
    const QByteArray before = readFile(wave);
    ASSERT_TRUE(before.contains("LIST"));
    const QString md5 = decodedAudioMD5(wave);

    writeWaveInfo(QStringLiteral("Ålbum 7"), wave, tagFault());
    const QByteArray after = readFile(wave);
    EXPECT_EQ(after.mid(8, before.size() - 8 + (before.size() % 2)),
              before.mid(8) + QByteArray(before.size() % 2, '\0'));
    EXPECT_EQ(after.count("LIST"), before.count("LIST") + 1);
    EXPECT_EQ(decodedAudioMD5(wave), md5);
    const QJsonObject tags =
        ffprobe(wave)[QStringLiteral("format")][QStringLiteral("tags")].toObject();
    EXPECT_EQ(tags[QStringLiteral("album")].toString(), QStringLiteral("Ålbum 7"));
    EXPECT_EQ(tags[QStringLiteral("title")].toString(), QStringLiteral("Wave Title"));
}

TEST_F(WaveInfoWriter, AFullDiskLeavesTheFileAsItWas) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    const QString mountPoint = dir.filePath(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=16k") != 0)
        GTEST_SKIP() << "cannot mount tmpfs here";
    struct Unmount {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount{QFile::encodeName(mountPoint)};

    // Four pages, the last one nearly full: the album needs a fifth that is not there.
    const QString full = mountPoint + QStringLiteral("/full.wav");
    const QByteArray file = riff(fmt + chunk("data", QByteArray(16384 - 44 - 10, 'a')));
    writeFile(full, file);
    EXPECT_THROW(writeWaveInfo(QString(6000, QLatin1Char('x')), full, tagFault()),
                 std::system_error);
    EXPECT_EQ(readFile(full), file);
}
