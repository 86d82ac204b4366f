#include "platform/audio/VorbisComments.h"

#include "platform/audio/AudioMetadata.h"
#include "platform/audio/ID3v2Tag.h"

#include <QFile>

#include <algorithm>
#include <cstdint>

namespace {

constexpr int vorbisCommentType = 4;
// Metadata blocks ahead of the audio hold tags and pictures; more than this is not a tag.
constexpr qint64 maxMetadataBytes = 64LL * 1024 * 1024;

quint32 le32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

} // namespace

namespace VorbisComments {

std::optional<QList<VorbisComment>> parseCommentBlock(const QByteArray& body) {
    const qint64 n = body.size();
    const char* p = body.constData();
    qint64 pos = 0;
    auto take32 = [&](quint32& out) {
        if (n - pos < 4)
            return false;
        out = le32(p + pos);
        pos += 4;
        return true;
    };
    quint32 vendorLength = 0;
    if (!take32(vendorLength) || vendorLength > quint64(n - pos))
        return std::nullopt;
    pos += vendorLength;
    quint32 count = 0;
    if (!take32(count))
        return std::nullopt;
    QList<VorbisComment> comments;
    for (quint32 i = 0; i < count; ++i) {
        quint32 length = 0;
        if (!take32(length) || length > quint64(n - pos))
            return std::nullopt;
        const QByteArray field = QByteArray::fromRawData(p + pos, qsizetype(length));
        pos += length;
        const qsizetype equals = field.indexOf('=');
        if (equals <= 0)
            continue; // a field without a name carries nothing usable
        comments.append({decodeTagText(field.left(equals)), decodeTagText(field.mid(equals + 1))});
    }
    return comments;
}

std::optional<QList<VorbisComment>> parseFlac(const QByteArray& bytes) {
    qint64 pos = ID3v2Tag::length(bytes);
    const qint64 n = bytes.size();
    if (pos > n - 4 || bytes.mid(pos, 4) != "fLaC")
        return std::nullopt;
    pos += 4;
    while (n - pos >= 4) {
        const auto* h = reinterpret_cast<const unsigned char*>(bytes.constData() + pos);
        const bool last = (h[0] & 0x80) != 0;
        const int type = h[0] & 0x7F;
        const qint64 length = qint64(h[1]) << 16 | qint64(h[2]) << 8 | h[3];
        pos += 4;
        if (length > n - pos)
            return std::nullopt;
        if (type == vorbisCommentType) {
            if (auto comments = parseCommentBlock(bytes.mid(pos, length)))
                return comments;
            // Some writers give the block too short a length: its own field lengths then tell
            // where it really ends, which the bytes that follow must hold.
            return parseCommentBlock(bytes.mid(pos));
        }
        if (type == 127)
            return std::nullopt; // invalid block type
        pos += length;
        if (last)
            return QList<VorbisComment>{};
    }
    return std::nullopt;
}

std::optional<QList<VorbisComment>> readFlacFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Read the header and the metadata blocks only, block by block.
    const qint64 skip = ID3v2Tag::length(file.read(10));
    if (!file.seek(skip))
        return std::nullopt;
    QByteArray metadata = file.read(4);
    if (metadata != "fLaC")
        return std::nullopt;
    while (metadata.size() < maxMetadataBytes) {
        const QByteArray header = file.read(4);
        if (header.size() < 4)
            break;
        metadata += header;
        const auto* h = reinterpret_cast<const unsigned char*>(header.constData());
        const qint64 length = qint64(h[1]) << 16 | qint64(h[2]) << 8 | h[3];
        const QByteArray body = file.read(length);
        metadata += body;
        if ((h[0] & 0x7F) == vorbisCommentType && body.size() == length &&
            !VorbisComments::parseCommentBlock(body)) {
            // A block shorter than its fields: read on, in growing steps, until they fit or the
            // file or the metadata limit ends.
            QByteArray rest;
            for (qint64 step = 64 * 1024; metadata.size() + rest.size() < maxMetadataBytes;
                 step *= 2) {
                const QByteArray more =
                    file.read(std::min(step, maxMetadataBytes - metadata.size() - rest.size()));
                if (more.isEmpty())
                    break;
                rest += more;
                if (VorbisComments::parseCommentBlock(body + rest))
                    break;
            }
            metadata += rest;
            break;
        }
        if (body.size() < length || (h[0] & 0x80) || (h[0] & 0x7F) == vorbisCommentType)
            break;
    }
    return parseFlac(metadata);
}

} // namespace VorbisComments
