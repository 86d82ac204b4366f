#pragma once

// Helpers shared by the tag-writer tests: files on disk, the ffmpeg/ffprobe command-line tools,
// and a small independent reader of ID3v2 frames to check what the writer produced.

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <exception>
#include <optional>
#include <stdexcept>
#include <vector>

namespace TagTest {

// The error the tests hand to the writers, so that a throw can be told apart from any other.
struct TagFault : std::runtime_error {
    TagFault()
        : std::runtime_error("tag fault") {}
};
inline std::exception_ptr tagFault() {
    return std::make_exception_ptr(TagFault());
}

void writeFile(const QString& path, const QByteArray& data);
QByteArray readFile(const QString& path);

bool haveTool(const QString& name);
// Runs ffmpeg quietly with the arguments; fails the test (returns false) when it does not exit 0.
bool ffmpeg(const QStringList& arguments);
// ffprobe's JSON for the file (format and streams, with tags).
QJsonObject ffprobe(const QString& path);
// The MD5 of the decoded audio, as ffmpeg's md5 muxer gives it.
QString decodedAudioMD5(const QString& path);

// Big-endian 7-bit (syncsafe) and 8-bit size fields.
QByteArray syncsafe(quint32 value);
QByteArray be32(quint32 value);
QByteArray be24(quint32 value);

// One frame of a tag of the given version (2: 3-byte id and size; 3: 8-bit sizes; 4: syncsafe).
QByteArray frame(int version, const QByteArray& id, const QByteArray& data,
                 const QByteArray& flags = QByteArray(2, '\0'));
// A text frame's data in ISO-8859-1.
QByteArray latin1Text(const QByteArray& text);
// "ID3", version, revision 0, flags, the syncsafe size of the body, then the body.
QByteArray tag(int version, quint8 flags, const QByteArray& body);

struct ParsedFrame {
    QByteArray id;
    QByteArray flags;
    QByteArray data;
};
struct ParsedTag {
    int version = 0;
    quint8 flags = 0;
    qint64 size = 0;
    std::vector<ParsedFrame> frames;
    QByteArray padding;
    std::optional<ParsedFrame> find(const QByteArray& id) const;
    int count(const QByteArray& id) const;
};
// Parses a tag the writer produced (no extended header, no footer, no whole-tag
// unsynchronisation); the test fails on anything malformed.
ParsedTag parse(const QByteArray& tag);

// A TALB/TAL payload decoded from encoding 1 with its byte-order mark.
QString utf16Text(const QByteArray& data);

} // namespace TagTest
