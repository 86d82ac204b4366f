// Our reader of ID3v2 text frames: every value of a frame, in every encoding and version, and
// nothing read from outside the tag.

#include "platform/audio/ID3v2Tag.h"
#include "transfer/ID3TagWriter.h"

#include "TagTestSupport.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace TagTest;

namespace {

const QList<QByteArray> artists{"TPE1", "TPE2", "TP1"};

// The bytes of a literal, zero bytes included.
template <std::size_t N> QByteArray bytes(const char (&literal)[N]) {
    return QByteArray(literal, qsizetype(N - 1));
}

QByteArray utf16(const QString& text, bool bigEndian, bool bom = true) {
    QByteArray out =
        bom ? (bigEndian ? QByteArray("\xFE\xFF", 2) : QByteArray("\xFF\xFE", 2)) : QByteArray();
    for (const QChar c : text) {
        const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
        out.append(bigEndian ? hi : lo).append(bigEndian ? lo : hi);
    }
    return out;
}

TEST(ID3v2TagReader, EveryValueOfAFrameInEachEncoding) {
    const QByteArray zero16(2, '\0');
    const QByteArray frames =
        // UTF-8 with a closing zero, as many writers end a list.
        frame(4, "TPE1",
              bytes("\x03"
                    "Alpha\0Beta\0")) +
        // UTF-16 where only the first value has a byte-order mark.
        frame(4, "TPE2",
              bytes("\x01") + utf16(QStringLiteral("\u00dcn\u00f6"), true) + zero16 +
                  utf16(QStringLiteral("Zwei"), true, false)) +
        frame(4, "TIT2",
              bytes("\x03"
                    "Not wanted"));
    const auto found = ID3v2Tag::parseTextFrames(tag(4, 0, frames), artists);
    EXPECT_EQ(found.value("TPE1"), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Beta")}));
    EXPECT_EQ(found.value("TPE2"),
              (QStringList{QStringLiteral("\u00dcn\u00f6"), QStringLiteral("Zwei")}));
    EXPECT_FALSE(found.contains("TIT2"));

    // Single-byte text is Latin-1 unless its bytes are UTF-8; UTF-16 big-endian without a mark.
    const QByteArray older =
        frame(3, "TPE1",
              bytes("\x00"
                    "Sm\xF6"
                    "rg\xE5"
                    "s\0R\xC3\xA4"
                    "ka")) +
        frame(3, "TPE2", bytes("\x02") + utf16(QStringLiteral("B\u00e9"), true, false));
    const auto v3 = ID3v2Tag::parseTextFrames(tag(3, 0, older), artists);
    EXPECT_EQ(v3.value("TPE1"),
              (QStringList{QStringLiteral("Sm\u00f6rg\u00e5s"), QStringLiteral("R\u00e4ka")}));
    EXPECT_EQ(v3.value("TPE2"), QStringList{QStringLiteral("B\u00e9")});

    const auto v2 = ID3v2Tag::parseTextFrames(tag(2, 0,
                                                  frame(2, "TP1",
                                                        bytes("\x00"
                                                              "One\0Two"))),
                                              artists);
    EXPECT_EQ(v2.value("TP1"), (QStringList{QStringLiteral("One"), QStringLiteral("Two")}));
}

TEST(ID3v2TagReader, UnsynchronisationGroupsLengthsAndDamage) {
    // Version 4: a frame unsynchronised on its own, with a data length indicator and a group.
    const QByteArray raw = bytes("\x03\xFF\xE0"
                                 "x\0y");
    const QByteArray stored = id3Unsynchronise(raw);
    ASSERT_NE(stored, raw);
    const QByteArray v4 = frame(4, "TPE1", bytes("\x07") + syncsafe(quint32(raw.size())) + stored,
                                bytes("\x00\x43")) +
                          frame(4, "TPE2", bytes("compressed"), bytes("\x00\x08"));
    const auto four = ID3v2Tag::parseTextFrames(tag(4, 0, v4), artists);
    ASSERT_EQ(four.value("TPE1").size(), 2);
    EXPECT_EQ(four.value("TPE1").at(1), QStringLiteral("y"));
    EXPECT_FALSE(four.contains("TPE2")) << "a compressed frame is not read";

    // Version 3: the whole tag unsynchronised, behind an extended header.
    const QByteArray body = be32(6) + QByteArray(6, '\0') +
                            frame(3, "TPE1",
                                  bytes("\x00\xFF\xE0\0"
                                        "B"));
    const auto three = ID3v2Tag::parseTextFrames(tag(3, 0xC0, id3Unsynchronise(body)), artists);
    EXPECT_EQ(three.value("TPE1").size(), 2);

    // A frame that claims more than the tag holds ends the walk; earlier frames stay.
    const QByteArray damaged = frame(4, "TPE1",
                                     bytes("\x03"
                                           "Kept")) +
                               "TPE2" + syncsafe(1000) + QByteArray(2, '\0') +
                               "\x03"
                               "short";
    EXPECT_EQ(ID3v2Tag::parseTextFrames(tag(4, 0, damaged), artists),
              (QHash<QByteArray, QStringList>{{"TPE1", {QStringLiteral("Kept")}}}));
    EXPECT_TRUE(ID3v2Tag::parseTextFrames("ID3\x04", artists).isEmpty());
    EXPECT_EQ(ID3v2Tag::length(tag(4, 0x10, QByteArray(20, '\0'))), 10 + 20 + 10);
    EXPECT_EQ(ID3v2Tag::length("RIFF....WAVE"), 0);
}

TEST(ID3v2TagReader, AFileIsReadUpToItsTag) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.mp3"));
    // A large picture ahead of the artists is stepped over, and the audio never read.
    const QByteArray frames = frame(3, "APIC", QByteArray(300000, '\x55')) +
                              frame(3, "TPE1",
                                    bytes("\x00"
                                          "Solo")) +
                              QByteArray(32, '\0');
    writeFile(path, tag(3, 0, frames) + QByteArray::fromHex("FFFB9064") + "TPE2");
    EXPECT_EQ(ID3v2Tag::readTextFrames(path, artists),
              (QHash<QByteArray, QStringList>{{"TPE1", {QStringLiteral("Solo")}}}));
    // A tag that claims more than the file holds still gives what it has.
    writeFile(path, tag(4, 0,
                        frame(4, "TPE1",
                              bytes("\x03"
                                    "Cut")) +
                            QByteArray(100, '\0'))
                        .left(30));
    EXPECT_EQ(ID3v2Tag::readTextFrames(path, artists).value("TPE1"),
              QStringList{QStringLiteral("Cut")});
    EXPECT_TRUE(ID3v2Tag::readTextFrames(dir.filePath(QStringLiteral("none")), artists).isEmpty());
}

} // namespace
