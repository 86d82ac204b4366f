#include "platform/audio/ID3v2Tag.h"

#include "platform/audio/AudioMetadata.h"

#include <QFile>

#include <functional>
#include <optional>

namespace {

constexpr qint64 headerBytes = 10;
// A text frame is a few words; a larger one is not read.
constexpr qint64 maxTextFrameBytes = 1 << 20;
// A whole-tag unsynchronised body has to be read at once; pictures make tags large, but not
// larger than this.
constexpr qint64 maxUnsynchronisedBodyBytes = 32LL << 20;
constexpr quint8 tagUnsynchronisation = 0x80;
constexpr quint8 tagExtendedHeader = 0x40; // compression in version 2.2
constexpr quint8 tagFooter = 0x10;

// Reads up to n bytes of the tag body at offset; fewer at its end.
using BodyReader = std::function<QByteArray(qint64 offset, qint64 n)>;

quint8 byteAt(const QByteArray& b, qint64 i) {
    return quint8(b[i]);
}

qint64 syncsafe(const QByteArray& b, qint64 at) {
    qint64 value = 0;
    for (qint64 i = at; i < at + 4; ++i) {
        if (byteAt(b, i) & 0x80)
            return -1;
        value = value << 7 | byteAt(b, i);
    }
    return value;
}

qint64 bigEndian(const QByteArray& b, qint64 at, int n) {
    qint64 value = 0;
    for (qint64 i = at; i < at + n; ++i)
        value = value << 8 | byteAt(b, i);
    return value;
}

// Where the zero bytes of Latin text fall tells the byte order of UTF-16 without a mark;
// little-endian, as the writers that leave the mark out use, when they tell nothing.
bool looksBigEndian(const QByteArray& bytes, qsizetype start) {
    qsizetype even = 0, odd = 0;
    for (qsizetype i = start; i < bytes.size(); ++i) {
        if (bytes[i] == '\0')
            ++((i - start) % 2 ? odd : even);
    }
    return even > odd;
}

// order is the byte order a value without a mark of its own takes; none until one is known.
QString decodeUtf16(const QByteArray& bytes, std::optional<bool>& order) {
    qsizetype start = 0;
    if (bytes.size() >= 2) {
        const quint8 a = byteAt(bytes, 0), b = byteAt(bytes, 1);
        if (a == 0xFF && b == 0xFE) {
            order = false;
            start = 2;
        } else if (a == 0xFE && b == 0xFF) {
            order = true;
            start = 2;
        } else if ((a == 0xFF || a == 0xFE) && a == b) {
            start = 2; // a damaged mark: no character is written so
        }
    }
    if (!order)
        order = looksBigEndian(bytes, start);
    const bool bigEndianOrder = *order;
    QString text;
    text.reserve((bytes.size() - start) / 2);
    for (qsizetype i = start; i + 1 < bytes.size(); i += 2) {
        const quint8 hi = byteAt(bytes, bigEndianOrder ? i : i + 1);
        const quint8 lo = byteAt(bytes, bigEndianOrder ? i + 1 : i);
        text.append(QChar(char16_t(hi << 8 | lo)));
    }
    return text;
}

// The values of one text frame's data: an encoding byte, then texts ended or separated by a
// zero character.
QStringList textValues(const QByteArray& data) {
    QStringList values;
    if (data.isEmpty())
        return values;
    const int encoding = byteAt(data, 0);
    const QByteArray text = data.mid(1);
    if (encoding == 1 || encoding == 2) {
        // Each value of a list may carry its own byte-order mark; one without keeps the last.
        std::optional<bool> order = encoding == 2 ? std::optional(true) : std::nullopt;
        const auto take = [&](qsizetype from, qsizetype to) {
            const QString value = decodeUtf16(text.mid(from, to - from), order);
            if (!value.isEmpty())
                values.append(value);
        };
        qsizetype start = 0;
        for (qsizetype i = 0; i + 1 < text.size(); i += 2) {
            if (text[i] == '\0' && text[i + 1] == '\0') {
                take(start, i);
                start = i + 2;
            }
        }
        if (start < text.size())
            take(start, text.size());
        return values;
    }
    if (encoding != 0 && encoding != 3)
        return values;
    // Version-1 era writers put UTF-8 into frames marked Latin-1; take what the bytes are.
    for (const QByteArray& part : text.split('\0')) {
        if (!part.isEmpty())
            values.append(decodeTagText(part));
    }
    return values;
}

bool isFrameID(const QByteArray& id) {
    for (const char c : id) {
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

// Walks the frames of a tag body of bodySize bytes (after the tag header).
QHash<QByteArray, QStringList> walkFrames(const BodyReader& read, qint64 bodySize, int version,
                                          quint8 tagFlags, const QList<QByteArray>& wanted) {
    QHash<QByteArray, QStringList> found;
    qint64 pos = 0;
    if (version >= 3 && (tagFlags & tagExtendedHeader)) {
        const QByteArray ext = read(0, 4);
        if (ext.size() < 4)
            return found;
        const qint64 size = version == 4 ? syncsafe(ext, 0) : bigEndian(ext, 0, 4) + 4;
        if (size < 6 || size > bodySize)
            return found;
        pos = size;
    }
    const int idBytes = version == 2 ? 3 : 4;
    const qint64 frameHeaderBytes = version == 2 ? 6 : 10;
    while (pos + frameHeaderBytes <= bodySize) {
        const QByteArray h = read(pos, frameHeaderBytes);
        if (h.size() < frameHeaderBytes || h[0] == '\0')
            break; // padding
        const QByteArray id = h.left(idBytes);
        if (!isFrameID(id))
            break;
        qint64 size = version == 2 ? bigEndian(h, 3, 3) : bigEndian(h, 4, 4);
        if (version == 4) {
            // Some writers put plain 8-bit sizes into version-4 frames.
            if (const qint64 safe = syncsafe(h, 4); safe >= 0)
                size = safe;
        }
        const qint64 dataStart = pos + frameHeaderBytes;
        if (size > bodySize - dataStart)
            break;
        pos = dataStart + size;
        if (!wanted.contains(id) || size > maxTextFrameBytes)
            continue;
        QByteArray data = read(dataStart, size);
        if (data.size() != size)
            break;
        if (version == 3) {
            const quint8 format = byteAt(h, 9);
            if (format & 0xC0)
                continue; // compressed or encrypted
            if (format & 0x20)
                data.remove(0, 1); // group id
        } else if (version == 4) {
            const quint8 format = byteAt(h, 9);
            if (format & 0x0C)
                continue; // compressed or encrypted
            if (format & 0x40)
                data.remove(0, 1); // group id
            if ((format & 0x02) || (tagFlags & tagUnsynchronisation))
                data = ID3v2Tag::resynchronise(data);
            if (format & 0x01)
                data.remove(0, 4); // data length indicator
        }
        found[id] += textValues(data);
    }
    return found;
}

struct TagHeader {
    int version = 0;
    quint8 flags = 0;
    qint64 bodySize = 0;
};

std::optional<TagHeader> headerOf(const QByteArray& head) {
    if (head.size() < headerBytes || !head.startsWith("ID3"))
        return std::nullopt;
    TagHeader header;
    header.version = byteAt(head, 3);
    header.flags = byteAt(head, 5);
    header.bodySize = syncsafe(head, 6);
    if (header.version < 2 || header.version > 4 || byteAt(head, 4) == 0xFF || header.bodySize < 0)
        return std::nullopt;
    return header;
}

// A version-2.2 tag marked compressed has no defined scheme and cannot be read.
bool isReadable(const TagHeader& header) {
    return !(header.version == 2 && (header.flags & tagExtendedHeader));
}

} // namespace

namespace ID3v2Tag {

QByteArray resynchronise(const QByteArray& data) {
    QByteArray out;
    out.reserve(data.size());
    for (qsizetype i = 0; i < data.size(); ++i) {
        out.append(data[i]);
        if (quint8(data[i]) == 0xFF && i + 1 < data.size() && data[i + 1] == '\0')
            ++i;
    }
    return out;
}

qint64 length(const QByteArray& head) {
    const auto header = headerOf(head);
    if (!header)
        return 0;
    const bool footer = header->version == 4 && (header->flags & tagFooter);
    return headerBytes + header->bodySize + (footer ? headerBytes : 0);
}

QHash<QByteArray, QStringList> parseTextFrames(const QByteArray& tag,
                                               const QList<QByteArray>& wanted) {
    const auto header = headerOf(tag);
    if (!header || !isReadable(*header))
        return {};
    QByteArray body = tag.mid(headerBytes, header->bodySize);
    if (header->version <= 3 && (header->flags & tagUnsynchronisation))
        body = ID3v2Tag::resynchronise(body);
    const BodyReader read = [&body](qint64 offset, qint64 n) { return body.mid(offset, n); };
    return walkFrames(read, body.size(), header->version, header->flags, wanted);
}

QHash<QByteArray, QStringList> readTextFrames(const QString& path,
                                              const QList<QByteArray>& wanted) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(headerBytes);
    const auto header = headerOf(head);
    if (!header || !isReadable(*header))
        return {};
    const qint64 bodySize = std::min(header->bodySize, file.size() - headerBytes);
    if (header->version <= 3 && (header->flags & tagUnsynchronisation)) {
        // Frame boundaries are only known once the whole body is resynchronised.
        if (bodySize > maxUnsynchronisedBodyBytes)
            return {};
        QByteArray whole = head;
        whole.append(file.read(bodySize));
        return parseTextFrames(whole, wanted);
    }
    const BodyReader read = [&file](qint64 offset, qint64 n) {
        return file.seek(headerBytes + offset) ? file.read(n) : QByteArray();
    };
    return walkFrames(read, bodySize, header->version, header->flags, wanted);
}

} // namespace ID3v2Tag
