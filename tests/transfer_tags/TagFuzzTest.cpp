// Hostile tags and WAV files, made by mutating well-formed ones with a fixed seed: the writers
// must either refuse with the caller's error or produce well-formed output, never crash, hang
// or read out of bounds (this runs under the sanitizers).

#include "platform/audio/ID3v2Tag.h"
#include "transfer/ID3TagWriter.h"
#include "transfer/WaveInfoWriter.h"

#include "TagTestSupport.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <random>

using namespace TagTest;

namespace {

QByteArray le32(quint32 v) {
    QByteArray out;
    for (int i = 0; i < 4; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
    return out;
}

// Flips, overwrites with boundary values, truncates or extends the seed bytes.
QByteArray mutate(QByteArray data, std::mt19937& random) {
    static const QByteArray extremes[] = {QByteArray::fromHex("FFFFFFFF"),
                                          QByteArray::fromHex("7F7F7F7F"),
                                          QByteArray::fromHex("00000000"),
                                          QByteArray::fromHex("80000000"),
                                          QByteArray::fromHex("0FFFFFFF"),
                                          QByteArray::fromHex("FFE0"),
                                          QByteArray::fromHex("FF00"),
                                          QByteArray("3DI"),
                                          QByteArray("ID3"),
                                          QByteArray("LIST"),
                                          QByteArray("TALB"),
                                          QByteArray("INFO")};
    const int edits = 1 + int(random() % 4);
    for (int e = 0; e < edits && !data.isEmpty(); ++e) {
        const qsizetype at = qsizetype(random() % quint32(data.size()));
        switch (random() % 5) {
        case 0:
            data[at] = char(data[at] ^ (1 << (random() % 8)));
            break;
        case 1:
            data[at] = char(random());
            break;
        case 2: {
            const QByteArray& value = extremes[random() % std::size(extremes)];
            data.replace(at, qMin(value.size(), data.size() - at), value);
            break;
        }
        case 3:
            data.truncate(at);
            break;
        default:
            data.insert(at, QByteArray(1 + int(random() % 8), char(random())));
            break;
        }
    }
    return data;
}

} // namespace

TEST(TagFuzz, HostileTagsGiveTheirTextFramesOrNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fuzz.mp3"));
    const QList<QByteArray> wanted{"TPE1", "TPE2", "TP1"};
    std::vector<QByteArray> seeds;
    for (int version : {2, 3, 4}) {
        const QByteArray id = version == 2 ? "TP1" : "TPE1";
        const QByteArray frames = frame(version, id,
                                        QByteArray("\x03"
                                                   "A\0B\0",
                                                   6)) +
                                  frame(version, id,
                                        QByteArray("\x01\xFF\xFE"
                                                   "x\0\0\0y\0",
                                                   10)) +
                                  QByteArray(8, '\0');
        seeds.push_back(tag(version, 0, frames));
        seeds.push_back(tag(version, 0x80, id3Unsynchronise(frames)));
    }
    seeds.push_back(tag(4, 0x40,
                        syncsafe(6) + QByteArray(2, '\0') +
                            frame(4, "TPE2",
                                  QByteArray("\x03"
                                             "Z"),
                                  QByteArray("\x00\x03", 2))));
    std::mt19937 random(20260115);
    int read = 0;
    for (int i = 0; i < 2000; ++i) {
        const QByteArray bytes = mutate(seeds[i % seeds.size()], random);
        const auto inMemory = ID3v2Tag::parseTextFrames(bytes, wanted);
        writeFile(path, bytes);
        const auto fromFile = ID3v2Tag::readTextFrames(path, wanted);
        // Reading the file frame by frame sees exactly what the bytes in memory hold.
        ASSERT_EQ(inMemory, fromFile) << bytes.toHex().toStdString();
        for (const QStringList& values : inMemory)
            for (const QString& value : values)
                ASSERT_FALSE(value.isEmpty());
        read += !inMemory.isEmpty();
    }
    EXPECT_GT(read, 0);
}

TEST(TagFuzz, HostileID3TagsNeverCrash) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fuzz.mp3"));
    const QByteArray audio = QByteArray::fromHex("FFFB9064") + QByteArray(64, '\x55');
    std::vector<QByteArray> seeds;
    for (int version : {2, 3, 4}) {
        const QByteArray a = version == 2 ? "TAL" : "TALB";
        const QByteArray t = version == 2 ? "TT2" : "TIT2";
        const QByteArray frames = frame(version, t, latin1Text("Title\xFF\xE0")) +
                                  frame(version, a, latin1Text("Album")) + QByteArray(8, '\0');
        seeds.push_back(tag(version, 0, frames) + audio);
        seeds.push_back(tag(version, 0x80, id3Unsynchronise(frames)) + audio);
    }
    const QByteArray v4frames = frame(4, "TALB", latin1Text("A"));
    seeds.push_back(tag(4, 0x50, syncsafe(6) + QByteArray(2, '\0') + v4frames) + "3DI" +
                    QByteArray(7, '\0') + audio);
    seeds.push_back(tag(3, 0x40, be32(6) + QByteArray(6, '\0') + frame(3, "TALB", "\0B")) + audio);

    std::mt19937 random(20261208);
    int refused = 0;
    for (int i = 0; i < 3000; ++i) {
        const QByteArray file = mutate(seeds[i % seeds.size()], random);
        writeFile(path, file);
        const std::optional<QString> album =
            i % 3 ? std::optional<QString>(QStringLiteral("Fuzz")) : std::nullopt;
        try {
            const ID3TagResult result =
                i % 2 ? writeID3Tag(path, album, tagFault(), i % 4 == 1)
                      : writeExportID3Tag(path, album, tagFault(), std::nullopt,
                                          QByteArray::fromHex("89504E47FF"), false);
            ASSERT_GE(result.oldTagLength, 0);
            ASSERT_LE(result.oldTagLength, file.size());
            ASSERT_GE(result.tag.size(), 10);
            ASSERT_TRUE(result.tag.startsWith("ID3"));
            qint64 size = 0;
            for (int b = 6; b < 10; ++b) {
                ASSERT_LT(quint8(result.tag[b]), 0x80);
                size = (size << 7) | quint8(result.tag[b]);
            }
            ASSERT_EQ(size + 10, result.tag.size());
            const int version = result.tag[3];
            const quint8 flags = quint8(result.tag[5]);
            ASSERT_FALSE(version >= 3 && (flags & 0x40)) << "no extended header";
            ASSERT_FALSE(version == 4 && (flags & 0x10)) << "no footer";
            ASSERT_FALSE(version <= 3 && (flags & 0x80)) << "no whole-tag unsynchronisation";
        } catch (const TagFault&) {
            ++refused;
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_LT(refused, 3000);
}

TEST(TagFuzz, HostileWaveFilesAreExtendedCorrectlyOrLeftAlone) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fuzz.wav"));
    const QByteArray fmt =
        QByteArray("fmt ") + le32(16) + QByteArray::fromHex("01000100401F0000401F000001000800");
    const QByteArray list =
        QByteArray("LIST") + le32(14) + "INFOISFT" + le32(2) + "x" + QByteArray(1, '\0');
    const QByteArray data = QByteArray("data") + le32(5) + "abcde" + QByteArray(1, '\0');
    const QByteArray body = "WAVE" + fmt + list + data;
    const QByteArray seed = QByteArray("RIFF") + le32(quint32(body.size())) + body;

    std::mt19937 random(8122026);
    int accepted = 0;
    for (int i = 0; i < 2000; ++i) {
        const QByteArray file = mutate(seed, random);
        writeFile(path, file);
        try {
            writeWaveInfo(QStringLiteral("Fuzz"), path, tagFault());
        } catch (const TagFault&) {
            ASSERT_EQ(readFile(path), file) << "a refused file is untouched";
            continue;
        }
        ++accepted;
        // The old chunks, maybe one pad byte, then the new chunk; the RIFF size covers it all.
        const QByteArray after = readFile(path);
        const QByteArray added = waveInfoChunk(QStringLiteral("Fuzz"));
        ASSERT_TRUE(after.endsWith(added));
        const qsizetype start = after.size() - added.size();
        ASSERT_TRUE(start == file.size() || (start == file.size() + 1 && file.size() % 2));
        ASSERT_EQ(after.mid(8, file.size() - 8), file.mid(8));
        ASSERT_EQ(after.mid(4, 4), le32(quint32(after.size() - 8)));
        ASSERT_EQ(start % 2, 0);
    }
    EXPECT_GT(accepted, 0);
}
