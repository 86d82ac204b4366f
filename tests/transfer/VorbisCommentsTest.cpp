// Our own FLAC comment reader: field order, duplicates, damage and random bytes.

#include "platform/audio/VorbisComments.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace {

QByteArray le32(quint32 v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(v >> (8 * i));
    return b;
}

QByteArray commentBlock(const QList<QByteArray>& fields) {
    QByteArray body = le32(3) + "ven" + le32(quint32(fields.size()));
    for (const QByteArray& f : fields)
        body += le32(quint32(f.size())) + f;
    return body;
}

QByteArray flac(const QByteArray& comment, bool id3 = false) {
    QByteArray out;
    if (id3)
        out += QByteArray("ID3\x04\x00\x00\x00\x00\x00\x02", 10) + QByteArray(2, '\0');
    out += "fLaC";
    out += QByteArray("\x00\x00\x00\x22", 4) + QByteArray(34, '\0'); // STREAMINFO
    const quint32 n = quint32(comment.size());
    out += char(0x84);
    out += char(n >> 16);
    out += char(n >> 8);
    out += char(n);
    return out + comment;
}

TEST(VorbisComments, KeepsEveryFieldInOrderBehindAnId3Tag) {
    const auto comments = VorbisComments::parseFlac(flac(
        commentBlock({"LYRICS=  ", "lyrics=second", "=nameless", "broken", "TITLE=a=b"}), true));
    ASSERT_TRUE(comments.has_value());
    ASSERT_EQ(comments->size(), 3);
    EXPECT_EQ((*comments)[0].value, QStringLiteral("  "));
    EXPECT_EQ((*comments)[1].name, QStringLiteral("lyrics"));
    EXPECT_EQ((*comments)[2].value, QStringLiteral("a=b"));
}

TEST(VorbisComments, DamagedBlocksGiveNothing) {
    EXPECT_FALSE(VorbisComments::parseFlac("OggS").has_value());
    QByteArray tooMany = commentBlock({"A=1"});
    tooMany.replace(7, 4, le32(1000));
    EXPECT_FALSE(VorbisComments::parseFlac(flac(tooMany)).has_value());
    QByteArray longField = commentBlock({"A=1"});
    longField.replace(11, 4, le32(0xFFFFFFFFu));
    EXPECT_FALSE(VorbisComments::parseFlac(flac(longField)).has_value());
    EXPECT_FALSE(VorbisComments::parseFlac(flac(commentBlock({"A=1"})).chopped(2)).has_value());
}

TEST(VorbisComments, BlockWithTooShortALengthIsReadAsFarAsItsFields) {
    const QByteArray longValue = "LYRICS=" + QByteArray(100 * 1024, 'w');
    QByteArray bytes = flac(commentBlock({"TITLE=t", longValue, "ARTIST=a"})) +
                       QByteArray("\x81\x00\x00\x04", 4) + QByteArray(4, '\0') + // PADDING
                       QByteArray(200 * 1024, '\xFF');                           // audio
    bytes[43] = bytes[44] = 0;
    bytes[45] = 8; // the vendor string only
    const auto inMemory = VorbisComments::parseFlac(bytes);
    ASSERT_TRUE(inMemory.has_value());
    ASSERT_EQ(inMemory->size(), 3);
    EXPECT_EQ((*inMemory)[2].value, QStringLiteral("a"));

    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("short.flac")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    const auto fromFile = VorbisComments::readFlacFile(file.fileName());
    ASSERT_TRUE(fromFile.has_value());
    ASSERT_EQ(fromFile->size(), 3);
    EXPECT_EQ((*fromFile)[1].value.size(), 100 * 1024);
    EXPECT_EQ((*fromFile)[2].name, QStringLiteral("ARTIST"));

    // Fields that run past the end of the file still give nothing.
    EXPECT_FALSE(VorbisComments::parseFlac(bytes.left(60 * 1024)).has_value());
}

TEST(VorbisComments, SurvivesRandomDamage) {
    const QByteArray seed = flac(commentBlock({"TITLE=x", "LYRICS=words", "ARTIST=y"}));
    QRandomGenerator rng(3);
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes = seed;
        for (int e = 0; e < 1 + int(rng.bounded(5)) && !bytes.isEmpty(); ++e) {
            const int at = int(rng.bounded(bytes.size()));
            if (rng.bounded(4) == 0)
                bytes.truncate(at);
            else
                bytes[at] = char(rng.bounded(256));
        }
        const auto comments = VorbisComments::parseFlac(bytes);
        if (comments) {
            EXPECT_LE(comments->size(), 3 + 1000);
        }
    }
}

} // namespace
