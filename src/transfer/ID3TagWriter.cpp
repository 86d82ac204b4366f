#include "transfer/ID3TagWriter.h"

#include "platform/OwnedFd.h"
#include "platform/audio/ID3v2Tag.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr int headerBytes = 10;
constexpr qint64 maxBodyBytes = 0x2000000;  // a larger old tag is refused before it is read
constexpr quint64 maxTagBytes = 0x10000000; // what four 7-bit size bytes can hold
constexpr quint8 flagUnsynchronisation = 0x80;
constexpr quint8 flagExtendedHeader = 0x40; // compression in version 2
constexpr quint8 flagFooter = 0x10;
const char defaultLyrics[] = "Welcome to Lorvanel.app";

[[noreturn]] void fail(const std::exception_ptr& tagError) {
    if (tagError)
        std::rethrow_exception(tagError);
    throw std::invalid_argument("writeID3Tag needs an error to throw");
}

quint8 byteAt(const QByteArray& data, qint64 i) {
    return quint8(data[i]);
}

// Reads n big-endian bytes of `bits` bits; nullopt when a 7-bit field has its top bit set.
std::optional<quint64> readSize(const QByteArray& data, qint64 pos, int n, int bits) {
    quint64 value = 0;
    for (int i = 0; i < n; ++i) {
        const quint8 b = byteAt(data, pos + i);
        if (bits == 7 && b >= 0x80)
            return std::nullopt;
        value = (value << bits) | b;
    }
    return value;
}

struct OldTag {
    int version = 3;
    quint8 flags = 0;
    qint64 length = 0;
    QByteArray body; // frames and padding, without extended header and unsynchronisation
};

OldTag readOldTag(const QString& path, const std::exception_ptr& tagError) {
    OwnedFd file = OwnedFd::open(path, O_RDONLY);
    OldTag tag;
    const QByteArray header = file.readUpTo(headerBytes);
    if (header.size() < 3 || !header.startsWith("ID3"))
        return tag;
    if (header.size() != headerBytes)
        fail(tagError);
    tag.version = byteAt(header, 3);
    const int revision = byteAt(header, 4);
    tag.flags = byteAt(header, 5);
    if (tag.version < 2 || tag.version > 4 || revision != 0)
        fail(tagError);
    const auto size = readSize(header, 6, 4, 7);
    if (!size || (tag.version == 2 && (tag.flags & flagExtendedHeader)) || *size > maxBodyBytes)
        fail(tagError);

    // A hostile size on a short file must not cost an allocation of the whole claim.
    struct stat info {};
    if (::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode) &&
        quint64(info.st_size) < headerBytes + *size)
        fail(tagError);
    tag.body = file.readUpTo(qint64(*size));
    if (tag.body.size() != qint64(*size))
        fail(tagError);
    tag.length = headerBytes + qint64(*size);

    if (tag.version == 4 && (tag.flags & flagFooter)) {
        const QByteArray footer = file.readUpTo(headerBytes);
        if (footer.size() != headerBytes || !footer.startsWith("3DI"))
            fail(tagError);
        tag.length += headerBytes;
        tag.flags &= quint8(~flagFooter);
    }

    if (tag.version >= 3 && (tag.flags & flagExtendedHeader)) {
        if (tag.body.size() < 4 || (tag.version == 3 && (tag.flags & flagUnsynchronisation)))
            fail(tagError);
        std::optional<quint64> extended;
        if (tag.version == 4) {
            extended = readSize(tag.body, 0, 4, 7);
        } else if (const auto field = readSize(tag.body, 0, 4, 8)) {
            extended = *field + 4; // the version-3 size leaves out its own four bytes
        }
        if (!extended || *extended < 6 || *extended > quint64(tag.body.size()))
            fail(tagError);
        tag.body.remove(0, qint64(*extended));
        tag.flags &= quint8(~flagExtendedHeader);
    }

    // Versions 2 and 3 unsynchronise the whole tag, and common readers misplace frames in such
    // tags once new frames are added; the new tag is written plain instead, which every reader
    // takes the same way.
    if (tag.version <= 3 && (tag.flags & flagUnsynchronisation)) {
        tag.body = ID3v2Tag::resynchronise(tag.body);
        tag.flags &= quint8(~flagUnsynchronisation);
    }
    file.close();
    return tag;
}

// Copies the frames that are not album frames, then whatever follows the last frame (padding).
// nullopt when a frame does not fit in the body.
std::optional<QByteArray> keptFrames(const QByteArray& body, int version, int sizeBits,
                                     const QByteArray& albumId) {
    const qint64 idBytes = version == 2 ? 3 : 4;
    const qint64 frameHeaderBytes = version == 2 ? 6 : 10;
    QByteArray kept;
    kept.reserve(body.size());
    qint64 pos = 0;
    while (pos < body.size() && body[pos] != '\0') {
        if (pos + frameHeaderBytes > body.size())
            return std::nullopt;
        const auto size = readSize(body, pos + idBytes, int(idBytes), sizeBits);
        if (!size || *size > quint64(body.size() - pos - frameHeaderBytes))
            return std::nullopt;
        const qint64 end = pos + frameHeaderBytes + qint64(*size);
        if (body.mid(pos, idBytes) != albumId)
            kept.append(body.constData() + pos, end - pos);
        pos = end;
    }
    kept.append(body.constData() + pos, body.size() - pos);
    return kept;
}

struct NewFrame {
    QByteArray id;
    QByteArray data;
};

QByteArray albumFrameData(const QString& album) {
    QByteArray data;
    data.reserve(3 + album.size() * 2);
    data.append('\x01');
    data.append('\xFF');
    data.append('\xFE');
    for (const QChar c : album) {
        data.append(char(c.unicode() & 0xFF));
        data.append(char(c.unicode() >> 8));
    }
    return data;
}

QByteArray pictureFrameData(int version, const QByteArray& picture, bool isJPEG) {
    QByteArray data;
    data.append('\0');
    if (version == 2)
        data.append(isJPEG ? "JPG" : "PNG");
    else
        data.append(isJPEG ? "image/jpeg" : "image/png").append('\0');
    data.append('\x03'); // front cover
    data.append('\0');   // empty description
    data.append(picture);
    return data;
}

QByteArray lyricsFrameData() {
    QByteArray data;
    data.append('\0');
    data.append("eng");
    data.append('\0');
    data.append(defaultLyrics);
    return data;
}

QByteArray serialise(const NewFrame& frame, int version, bool unsynchronise,
                     const std::exception_ptr& tagError) {
    const QByteArray data = unsynchronise ? id3Unsynchronise(frame.data) : frame.data;
    const quint64 limit = version == 2 ? (1u << 24) : maxTagBytes;
    if (quint64(data.size()) >= limit)
        fail(tagError);
    QByteArray out = frame.id;
    out.append(id3SizeBytes(quint64(data.size()), version == 2 ? 3 : 4, version == 4 ? 7 : 8));
    if (version >= 3) {
        out.append('\0');
        out.append(unsynchronise ? '\x02' : '\0');
    }
    out.append(data);
    return out;
}

// firstFrame gives the lyrics or picture frame for the tag's version, or nothing.
ID3TagResult buildTag(const QString& sourcePath, const std::optional<QString>& album,
                      const std::exception_ptr& tagError,
                      const std::function<std::optional<NewFrame>(int version)>& firstFrame) {
    const OldTag old = readOldTag(sourcePath, tagError);
    const int version = old.version;
    const QByteArray albumId = version == 2 ? "TAL" : "TALB";

    QByteArray kept = old.body;
    if (album) {
        auto walked = keptFrames(old.body, version, version == 4 ? 7 : 8, albumId);
        // Some writers put plain 8-bit frame sizes into version-4 tags.
        if (!walked && version == 4)
            walked = keptFrames(old.body, version, 8, albumId);
        if (!walked)
            fail(tagError);
        kept = std::move(*walked);
    }

    std::vector<NewFrame> frames;
    if (auto first = firstFrame(version))
        frames.push_back(std::move(*first));
    if (album)
        frames.push_back({albumId, albumFrameData(*album)});

    const bool unsynchroniseFrames = version == 4 && (old.flags & flagUnsynchronisation);
    QByteArray content;
    for (const NewFrame& frame : frames)
        content.append(serialise(frame, version, unsynchroniseFrames, tagError));
    if (quint64(content.size()) + quint64(kept.size()) >= maxTagBytes)
        fail(tagError);
    content.append(kept);

    QByteArray tag("ID3");
    tag.append(char(version));
    tag.append('\0');
    tag.append(char(old.flags));
    tag.append(id3SizeBytes(quint64(content.size()), 4, 7));
    tag.append(content);
    return {tag, old.length};
}

} // namespace

ID3TagResult writeID3Tag(const QString& sourcePath, const std::optional<QString>& album,
                         std::exception_ptr tagError, bool addLyrics) {
    return buildTag(sourcePath, album, tagError, [&](int version) -> std::optional<NewFrame> {
        if (!addLyrics)
            return std::nullopt;
        return NewFrame{version == 2 ? "ULT" : "USLT", lyricsFrameData()};
    });
}

ID3TagResult writeExportID3Tag(const QString& sourcePath, const std::optional<QString>& album,
                               std::exception_ptr tagError,
                               const std::optional<QByteArray>& embeddedArtwork,
                               const QByteArray& picture, bool isJPEG) {
    return buildTag(sourcePath, album, tagError, [&](int version) -> std::optional<NewFrame> {
        if (embeddedArtwork)
            return std::nullopt;
        return NewFrame{version == 2 ? "PIC" : "APIC", pictureFrameData(version, picture, isJPEG)};
    });
}

QByteArray id3Unsynchronise(const QByteArray& data) {
    QByteArray out;
    out.reserve(data.size() + data.size() / 64 + 1);
    for (qint64 i = 0; i < data.size(); ++i) {
        out.append(data[i]);
        if (byteAt(data, i) != 0xFF)
            continue;
        if (i + 1 == data.size() || byteAt(data, i + 1) == 0x00 || byteAt(data, i + 1) >= 0xE0)
            out.append('\0');
    }
    return out;
}

QByteArray id3SizeBytes(quint64 value, int byteCount, int bitsPerByte) {
    QByteArray out;
    const quint64 mask = (quint64(1) << bitsPerByte) - 1;
    for (int i = 0; i < byteCount; ++i)
        out.append(char((value >> (bitsPerByte * (byteCount - 1 - i))) & mask));
    return out;
}
