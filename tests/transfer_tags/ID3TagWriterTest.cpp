#include "transfer/ID3TagWriter.h"
#include "platform/audio/ID3v2Tag.h"

#include "TagTestSupport.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QTemporaryDir>

#include <system_error>

using namespace TagTest;

namespace {

const QByteArray audio = QByteArray::fromHex("FFFB9064") + QByteArray(400, '\x55');
const QByteArray jpeg = QByteArray::fromHex("FFD8FFE000104A464946") + QByteArray(20, '\x11');
const QByteArray png = QByteArray::fromHex("89504E470D0A1A0A") + QByteArray(20, '\x22');

class ID3TagWriter : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString source = dir.filePath(QStringLiteral("source.mp3"));

    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    ID3TagResult exportTag(const QByteArray& file, const std::optional<QString>& album,
                           const std::optional<QByteArray>& own = std::nullopt,
                           const QByteArray& picture = png, bool isJPEG = false) {
        writeFile(source, file);
        return writeExportID3Tag(source, album, tagFault(), own, picture, isJPEG);
    }
    void expectFault(const QByteArray& file, const std::optional<QString>& album) {
        writeFile(source, file);
        EXPECT_THROW(writeExportID3Tag(source, album, tagFault(), std::nullopt, png, false),
                     TagFault)
            << file.left(16).toHex().toStdString();
    }
};

QByteArray pictureData(const char* mime, const QByteArray& bytes) {
    return QByteArray(1, '\0') + mime + QByteArray(1, '\0') + "\x03" + QByteArray(1, '\0') + bytes;
}

} // namespace

TEST_F(ID3TagWriter, FileWithoutTagGetsVersion3WithOnlyTheNewFrames) {
    for (const QByteArray& file : {audio, QByteArray("ID"), QByteArray()}) {
        const ID3TagResult result =
            exportTag(file, QStringLiteral("Café ✓ 😀"), std::nullopt, jpeg, true);
        EXPECT_EQ(result.oldTagLength, 0);
        const ParsedTag parsed = parse(result.tag);
        EXPECT_EQ(parsed.version, 3);
        EXPECT_EQ(parsed.flags, 0);
        ASSERT_EQ(parsed.frames.size(), 2u);
        EXPECT_EQ(parsed.frames[0].id, "APIC");
        EXPECT_EQ(parsed.frames[0].flags, QByteArray(2, '\0'));
        EXPECT_EQ(parsed.frames[0].data, pictureData("image/jpeg", jpeg));
        EXPECT_EQ(parsed.frames[1].id, "TALB");
        EXPECT_EQ(utf16Text(parsed.frames[1].data), QStringLiteral("Café ✓ 😀"));
        EXPECT_TRUE(parsed.padding.isEmpty()) << "no padding is added";
    }
}

TEST_F(ID3TagWriter, MalformedHeadersAreRefusedWithTheCallersError) {
    const QByteArray body = frame(3, "TIT2", latin1Text("x"));
    auto withHeader = [&](const char* hex) {
        return QByteArray("ID3") + QByteArray::fromHex(hex) + body + audio;
    };
    expectFault(withHeader("05000000000B"), QStringLiteral("A"));               // version 5
    expectFault(withHeader("01000000000B"), QStringLiteral("A"));               // version 1
    expectFault(withHeader("03010000000B"), QStringLiteral("A"));               // revision 1
    expectFault(withHeader("03000000008B"), QStringLiteral("A"));               // size byte 0x8B
    expectFault(withHeader("02004000000B"), std::nullopt);                      // v2.2 compression
    expectFault(withHeader("030000100001"), std::nullopt);                      // over 32 MiB
    expectFault(QByteArray("ID3") + QByteArray::fromHex("0300"), std::nullopt); // short header
    expectFault(tag(3, 0, body).left(15), std::nullopt);                        // truncated body
    // A footer flag without "3DI" after the body, or with the footer cut short.
    expectFault(tag(4, 0x10, body) + "ID3" + QByteArray(7, '\0') + audio, std::nullopt);
    expectFault(tag(4, 0x10, body) + "3DI\x04", std::nullopt);
    // Nothing but the caller's error for faults: a missing file is the file's own error.
    EXPECT_THROW(
        writeID3Tag(dir.filePath(QStringLiteral("absent.mp3")), std::nullopt, tagFault(), true),
        std::system_error);
}

TEST_F(ID3TagWriter, FooterAndExtendedHeadersAreDroppedAndTheirFlagsCleared) {
    const QByteArray frames = frame(4, "TIT2", latin1Text("Song")) + QByteArray(5, '\0');
    // Version 4 with footer: old length counts the footer too.
    {
        const QByteArray old = tag(4, 0x30, frames);
        const QByteArray footer = QByteArray("3DI\x04") + old.mid(4, 6);
        const ID3TagResult result = exportTag(old + footer + audio, std::nullopt, png);
        EXPECT_EQ(result.oldTagLength, old.size() + 10);
        EXPECT_EQ(result.tag, tag(4, 0x20, frames)) << "footer flag cleared, experimental kept";
    }
    // Version 4 extended header: its syncsafe size includes itself.
    {
        const QByteArray ext = syncsafe(6) + QByteArray::fromHex("0100");
        const QByteArray old = tag(4, 0x40, ext + frames);
        const ID3TagResult result = exportTag(old + audio, std::nullopt, png);
        EXPECT_EQ(result.oldTagLength, old.size());
        EXPECT_EQ(result.tag, tag(4, 0, frames));
    }
    // Version 3 extended header: its 8-bit size leaves out the size field.
    {
        const QByteArray v3frames = frame(3, "TIT2", latin1Text("Song")) + QByteArray(3, '\0');
        const QByteArray ext = be32(10) + QByteArray(10, '\0');
        const QByteArray old = tag(3, 0x40, ext + v3frames);
        const ID3TagResult result = exportTag(old + audio, std::nullopt, png);
        EXPECT_EQ(result.tag, tag(3, 0, v3frames));
    }
    // Extended headers that claim too little, too much, or sit in an unsynchronised v2.3 tag.
    expectFault(tag(4, 0x40, syncsafe(5) + frames), std::nullopt);
    expectFault(tag(4, 0x40, syncsafe(quint32(frames.size() + 5)) + frames), std::nullopt);
    expectFault(tag(4, 0x40, QByteArray::fromHex("00008006") + frames), std::nullopt);
    expectFault(tag(3, 0x40, be32(1) + frames), std::nullopt);
    expectFault(tag(3, 0xC0, be32(6) + QByteArray(6, '\0') + frames), std::nullopt);
    expectFault(tag(4, 0x40, QByteArray::fromHex("0000")), std::nullopt);
}

TEST_F(ID3TagWriter, NewAlbumReplacesEveryOldAlbumFrameAndKeepsTheRest) {
    for (int version : {2, 3, 4}) {
        SCOPED_TRACE(version);
        const QByteArray albumId = version == 2 ? "TAL" : "TALB";
        const QByteArray titleId = version == 2 ? "TT2" : "TIT2";
        const QByteArray flagged = version == 2 ? QByteArray() : QByteArray::fromHex("4000");
        const QByteArray title = frame(version, titleId, latin1Text("Title"), flagged);
        const QByteArray empty = frame(version, version == 2 ? "TCO" : "TCON", QByteArray());
        const QByteArray padding(37, '\0');
        const QByteArray body = frame(version, albumId, latin1Text("Old one")) + title +
                                frame(version, albumId, latin1Text("Old two")) + empty + padding;
        const QByteArray old = tag(version, 0, body);
        const ID3TagResult result =
            exportTag(old + audio, QStringLiteral("New"), QByteArray("own"));
        EXPECT_EQ(result.oldTagLength, old.size());
        const ParsedTag parsed = parse(result.tag);
        EXPECT_EQ(parsed.version, version);
        ASSERT_EQ(parsed.frames.size(), 3u);
        EXPECT_EQ(parsed.frames[0].id, albumId) << "the new album comes before the kept frames";
        EXPECT_EQ(utf16Text(parsed.frames[0].data), QStringLiteral("New"));
        EXPECT_EQ(parsed.count(albumId), 1);
        EXPECT_EQ(result.tag.mid(10 + frame(version, albumId, parsed.frames[0].data).size()),
                  title + empty + padding)
            << "kept frames byte for byte (flags included), then the padding";
    }
}

TEST_F(ID3TagWriter, WithoutAlbumTheOldBodyIsKeptUnwalked) {
    // A frame running past the body is only a fault when the frames must be walked.
    const QByteArray body = frame(3, "TIT2", latin1Text("x")) + "TPE1" + be32(500) + "\0\0abc";
    const QByteArray old = tag(3, 0, body);
    const ID3TagResult same = exportTag(old + audio, std::nullopt, QByteArray("own"));
    EXPECT_EQ(same.tag, old);
    EXPECT_EQ(same.oldTagLength, old.size());
    expectFault(old + audio, QStringLiteral("A"));
    // A frame header cut off by the end of the body, in each version.
    expectFault(tag(2, 0, frame(2, "TT2", "\0a") + "TP"), QStringLiteral("A"));
    expectFault(tag(3, 0, frame(3, "TIT2", "\0a") + "TPE1\0\0"), QStringLiteral("A"));
    expectFault(tag(4, 0, frame(4, "TIT2", "\0a") + "TPE1" + syncsafe(1)), QStringLiteral("A"));
    // The walk stops at padding even when garbage follows it, and keeps that unchanged.
    const QByteArray garbage = QByteArray(1, '\0') + "TALB" + be32(99999);
    const QByteArray padded = tag(3, 0, frame(3, "TALB", "\0a") + garbage);
    const ParsedTag parsed = parse(exportTag(padded + audio, QStringLiteral("B")).tag);
    EXPECT_EQ(parsed.padding, garbage);
}

TEST_F(ID3TagWriter, Version4TagsWithPlain8BitFrameSizesAreStillWalked) {
    const QByteArray title =
        QByteArray("TIT2") + be32(201) + QByteArray(3, '\0') + QByteArray(200, 'a');
    const QByteArray album = QByteArray("TALB") + be32(4) + QByteArray(2, '\0') + latin1Text("Old");
    const ID3TagResult result = exportTag(tag(4, 0, title + album) + audio, QStringLiteral("New"));
    EXPECT_TRUE(result.tag.endsWith(title)) << "the title is kept, the old album dropped";
    EXPECT_EQ(result.tag.count("TALB"), 1);
    EXPECT_FALSE(result.tag.contains("Old"));
    // Sizes that fit neither reading are still a fault.
    expectFault(tag(4, 0, QByteArray("TIT2") + be32(0x9000) + QByteArray(12, '\0')),
                QStringLiteral("A"));
}

TEST_F(ID3TagWriter, UnsynchronisationFollowsTheTagVersion) {
    EXPECT_EQ(id3Unsynchronise(QByteArray::fromHex("FFE0")), QByteArray::fromHex("FF00E0"));
    EXPECT_EQ(id3Unsynchronise(QByteArray::fromHex("FF41")), QByteArray::fromHex("FF41"));
    EXPECT_EQ(id3Unsynchronise(QByteArray::fromHex("41FF")), QByteArray::fromHex("41FF00"));
    EXPECT_EQ(id3Unsynchronise(QByteArray::fromHex("FF00FFFF")),
              QByteArray::fromHex("FF0000FF00FF00"));
    EXPECT_EQ(ID3v2Tag::resynchronise(QByteArray::fromHex("FF0000FF00FF00")),
              QByteArray::fromHex("FF00FFFF"));

    const QByteArray syncPicture = QByteArray::fromHex("89504EFFE0FF");
    // Version 4: each new frame is unsynchronised on its own and flagged 0x02.
    {
        const QByteArray kept = frame(4, "TIT2", latin1Text("x"), QByteArray::fromHex("0002"));
        const ID3TagResult result =
            exportTag(tag(4, 0x80, kept) + audio, QStringLiteral("A"), std::nullopt, syncPicture);
        const ParsedTag parsed = parse(result.tag);
        EXPECT_EQ(parsed.flags, 0x80);
        ASSERT_EQ(parsed.frames.size(), 3u);
        EXPECT_EQ(parsed.frames[0].flags, QByteArray::fromHex("0002"));
        EXPECT_EQ(parsed.frames[0].data, id3Unsynchronise(pictureData("image/png", syncPicture)));
        EXPECT_TRUE(parsed.frames[1].data.startsWith(QByteArray::fromHex("01FF00FE")))
            << "the byte-order mark is a false sync too";
        EXPECT_EQ(result.tag.right(kept.size()), kept);
    }
    // Versions 2 and 3: the old tag is resynchronised and the new one written plain, with or
    // without an album to walk.
    for (int version : {2, 3}) {
        SCOPED_TRACE(version);
        const QByteArray title = frame(version, version == 2 ? "TT2" : "TIT2",
                                       latin1Text(QByteArray::fromHex("41FFE0FF")));
        const QByteArray plain = title + QByteArray(4, '\0');
        const QByteArray old = tag(version, 0x80, id3Unsynchronise(plain));
        const ID3TagResult walked = exportTag(old + audio, QStringLiteral("A"), QByteArray("own"));
        EXPECT_EQ(walked.oldTagLength, old.size());
        const ParsedTag parsed = parse(walked.tag);
        EXPECT_EQ(parsed.flags, 0);
        EXPECT_TRUE(walked.tag.endsWith(plain));
        const ID3TagResult unwalked = exportTag(old + audio, std::nullopt, QByteArray("own"));
        EXPECT_EQ(unwalked.tag, tag(version, 0, plain));
    }
}

TEST_F(ID3TagWriter, LyricsFrameOfTheRewrite) {
    const QByteArray lyrics =
        QByteArray(1, '\0') + "eng" + QByteArray(1, '\0') + "Welcome to Lorvanel.app";
    writeFile(source, tag(2, 0, frame(2, "TT2", latin1Text("x"))) + audio);
    ParsedTag parsed = parse(writeID3Tag(source, std::nullopt, tagFault(), true).tag);
    ASSERT_EQ(parsed.frames.size(), 2u);
    EXPECT_EQ(parsed.frames[0].id, "ULT");
    EXPECT_EQ(parsed.frames[0].data, lyrics);

    writeFile(source, audio);
    parsed = parse(writeID3Tag(source, QStringLiteral("Al"), tagFault(), true).tag);
    ASSERT_EQ(parsed.frames.size(), 2u);
    EXPECT_EQ(parsed.frames[0].id, "USLT");
    EXPECT_EQ(parsed.frames[0].data, lyrics);
    EXPECT_EQ(parsed.frames[1].id, "TALB");

    const QByteArray old = tag(4, 0, frame(4, "TIT2", latin1Text("x")) + QByteArray(9, '\0'));
    writeFile(source, old + audio);
    const ID3TagResult nothing = writeID3Tag(source, std::nullopt, tagFault(), false);
    EXPECT_EQ(nothing.tag, old);
}

TEST_F(ID3TagWriter, SizeFieldsAndFrameLimits) {
    EXPECT_EQ(id3SizeBytes(0x0FFFFFFF, 4, 7), QByteArray::fromHex("7F7F7F7F"));
    EXPECT_EQ(id3SizeBytes(0x1234, 4, 7), QByteArray::fromHex("00002434"));
    EXPECT_EQ(id3SizeBytes(0x123456, 3, 8), QByteArray::fromHex("123456"));
    EXPECT_EQ(id3SizeBytes(0x89ABCDEF, 4, 8), QByteArray::fromHex("89ABCDEF"));

    // A version-2 frame holds less than 2^24 bytes of data; the PIC header takes 6 of them.
    const QByteArray v2 = tag(2, 0, frame(2, "TT2", latin1Text("x")));
    const ID3TagResult fits =
        exportTag(v2 + audio, std::nullopt, std::nullopt, QByteArray((1 << 24) - 7, 'p'));
    EXPECT_EQ(parse(fits.tag).frames[0].data.size(), (1 << 24) - 1);
    writeFile(source, v2 + audio);
    EXPECT_THROW(writeExportID3Tag(source, std::nullopt, tagFault(), std::nullopt,
                                   QByteArray((1 << 24) - 6, 'p'), false),
                 TagFault);
}

// Real MP3 files made by ffmpeg, tagged by ffmpeg in versions 3 and 4 and by hand in version 2
// and as an unsynchronised version 3; the new file must read back through ffprobe with the new
// album and picture, the old tags, and the very same audio.
TEST_F(ID3TagWriter, RewrittenFilesReadBackThroughFFprobeWithTheAudioUnchanged) {
    if (!haveTool(QStringLiteral("ffmpeg")) || !haveTool(QStringLiteral("ffprobe")))
        GTEST_SKIP() << "ffmpeg and ffprobe are needed";
    const QString bare = dir.filePath(QStringLiteral("bare.mp3"));
    const QString cover = dir.filePath(QStringLiteral("cover.png"));
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-c:a", "libmp3lame",
                        "-b:a", "64k", "-id3v2_version", "0", "-write_xing", "0", bare}));
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "color=c=red:s=16x16", "-frames:v", "1", cover}));
    const QByteArray coverBytes = readFile(cover);

    struct Case {
        const char* name;
        QByteArray file;
    };
    std::vector<Case> cases;
    for (const char* version : {"3", "4"}) {
        const QString tagged = dir.filePath(QStringLiteral("v%1.mp3").arg(version));
        ASSERT_TRUE(ffmpeg({"-i", bare, "-c", "copy", "-id3v2_version", version, "-metadata",
                            "title=Ffmpeg Title", "-metadata", "artist=Someone", "-metadata",
                            "album=Old Album", tagged}));
        cases.push_back({version, readFile(tagged)});
    }
    const QByteArray bareBytes = readFile(bare);
    cases.push_back({"2", tag(2, 0,
                              frame(2, "TT2", latin1Text("Ffmpeg Title")) +
                                  frame(2, "TAL", latin1Text("Old Album")) +
                                  frame(2, "TP1", latin1Text("Someone")) + QByteArray(20, '\0')) +
                              bareBytes});
    // The title carries a false sync, so the unsynchronised tag really differs from plain.
    cases.push_back(
        {"3-unsync", tag(3, 0x80,
                         id3Unsynchronise(frame(3, "TIT2", latin1Text("Ffmpeg Title\xFF\xE0")) +
                                          frame(3, "TALB", latin1Text("Old Album")) +
                                          frame(3, "TPE1", latin1Text("Someone")))) +
                         bareBytes});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(source, c.file);
        const QString sourceMD5 = decodedAudioMD5(source);
        ASSERT_FALSE(sourceMD5.isEmpty());
        const ID3TagResult result = writeExportID3Tag(source, QStringLiteral("Новый альбом"),
                                                      tagFault(), std::nullopt, coverBytes, false);
        const QString out = dir.filePath(QStringLiteral("out-%1.mp3").arg(c.name));
        writeFile(out, result.tag + c.file.mid(result.oldTagLength));
        EXPECT_EQ(c.file.mid(result.oldTagLength), readFile(out).mid(result.tag.size()));
        EXPECT_EQ(decodedAudioMD5(out), sourceMD5);

        const QJsonObject probe = ffprobe(out);
        const QJsonObject tags = probe[QStringLiteral("format")][QStringLiteral("tags")].toObject();
        EXPECT_EQ(tags[QStringLiteral("album")].toString(), QStringLiteral("Новый альбом"));
        EXPECT_TRUE(
            tags[QStringLiteral("title")].toString().startsWith(QStringLiteral("Ffmpeg Title")));
        EXPECT_EQ(tags[QStringLiteral("artist")].toString(), QStringLiteral("Someone"));
        bool sawCover = false;
        for (const QJsonValue stream : probe[QStringLiteral("streams")].toArray()) {
            const QJsonObject s = stream.toObject();
            if (s[QStringLiteral("codec_name")].toString() == QStringLiteral("png")) {
                sawCover =
                    s[QStringLiteral("disposition")][QStringLiteral("attached_pic")].toInt() == 1 &&
                    s[QStringLiteral("width")].toInt() == 16;
            }
        }
        EXPECT_TRUE(sawCover);

        // With its own picture and album the file needs nothing: the tag comes back as it was.
        if (c.file.at(3) == '\x04' || c.file.at(3) == '\x03') {
            if (!(quint8(c.file.at(5)) & 0x80)) {
                const ID3TagResult same = writeExportID3Tag(source, std::nullopt, tagFault(),
                                                            QByteArray("own"), coverBytes, false);
                EXPECT_EQ(same.tag + c.file.mid(same.oldTagLength), c.file);
            }
        }
    }
}
