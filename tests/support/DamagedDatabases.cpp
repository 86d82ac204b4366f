#include "support/DamagedDatabases.h"

#include <QSet>

#include <zlib.h>

#include <stdexcept>

namespace TestSupport {

namespace {

const QList<QByteArray> recordTags = {"mhbd", "mhsd", "mhlt", "mhit", "mhod", "mhlp",
                                      "mhyp", "mhip", "mhla", "mhia", "mhli", "mhii"};
const QList<QByteArray> listTags = {"mhlt", "mhlp", "mhla", "mhli"};

bool isTextType(quint32 type) {
    return (type >= 1 && type <= 6) || type == 22 || type == 200 || type == 300;
}

QByteArray compressed(const QByteArray& bytes, int level) {
    uLongf length = compressBound(uLong(bytes.size()));
    QByteArray out(qsizetype(length), '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &length,
                  reinterpret_cast<const Bytef*>(bytes.constData()), uLong(bytes.size()),
                  level) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.truncate(qsizetype(length));
    return out;
}

QByteArray withPayload(const QByteArray& cdb, const QByteArray& payload) {
    const qsizetype header = readUInt32(cdb, 4);
    QByteArray out = cdb.left(header) + payload;
    writeUInt32(out, 8, quint32(out.size()));
    return out;
}

QByteArray inflated(const QByteArray& cdb) {
    const qsizetype header = readUInt32(cdb, 4);
    QByteArray body = cdb.mid(header);
    // qUncompress wants the expected size in front, big-endian.
    const quint32 guess = quint32(body.size()) * 64;
    QByteArray prefixed(4, '\0');
    for (int i = 0; i < 4; ++i)
        prefixed[i] = char((guess >> (8 * (3 - i))) & 0xFF);
    return qUncompress(prefixed + body);
}

} // namespace

quint32 readUInt32(const QByteArray& bytes, qsizetype offset) {
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
    return value;
}

void writeUInt32(QByteArray& bytes, qsizetype offset, quint32 value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = char((value >> (8 * i)) & 0xFF);
}

QList<RecordSpot> findRecords(const QByteArray& database) {
    QList<RecordSpot> spots;
    for (qsizetype offset = 0; offset + 16 <= database.size(); ++offset) {
        const QByteArray tag = database.mid(offset, 4);
        if (!recordTags.contains(tag))
            continue;
        RecordSpot spot{offset, tag, 0, readUInt32(database, offset + 4)};
        if (tag == "mhsd" || tag == "mhod")
            spot.type = readUInt32(database, offset + 12);
        spots.append(spot);
    }
    return spots;
}

QList<DamagedCopy> damagedCopies(const QByteArray& database) {
    QList<DamagedCopy> copies;
    QSet<QByteArray> seen;
    for (const RecordSpot& spot : findRecords(database)) {
        const QByteArray kind = spot.tag + ' ' + QByteArray::number(spot.type);
        if (seen.contains(kind))
            continue;
        seen.insert(kind);
        // (offset, whether a zero there leaves the record): the header length, the total length
        // or a list's item count, a text record's text length.
        QList<std::pair<qsizetype, bool>> fields = {{4, true}, {8, !listTags.contains(spot.tag)}};
        if (spot.tag == "mhod" && isTextType(spot.type))
            fields.append({28, false});
        for (const auto& [field, zeroLeaves] : fields) {
            const quint32 original = readUInt32(database, spot.offset + field);
            for (const quint32 value : {0u, original - 1, original + 1, 0xFFFFFFFFu}) {
                DamagedCopy copy;
                copy.label = QStringLiteral("%1 type %2 @%3 +%4 = %5")
                                 .arg(QString::fromLatin1(spot.tag))
                                 .arg(spot.type)
                                 .arg(spot.offset)
                                 .arg(field)
                                 .arg(value, 0, 16);
                copy.bytes = database;
                writeUInt32(copy.bytes, spot.offset + field, value);
                copy.leavesItsRecord = value == 0xFFFFFFFFu || (zeroLeaves && value == 0);
                copies.append(copy);
            }
        }
        for (const qsizetype cut : {spot.offset, spot.offset + qsizetype(spot.header)}) {
            if (cut <= 0 || cut >= database.size())
                continue;
            copies.append({QStringLiteral("cut at %1").arg(cut), database.left(cut), true});
        }
    }
    return copies;
}

QByteArray truncatedStreamCDB(const QByteArray& cdb) {
    const QByteArray stream = cdb.mid(readUInt32(cdb, 4));
    return withPayload(cdb, stream.left(stream.size() / 2));
}

QByteArray inflationBombCDB(const QByteArray& cdb, qsizetype padding) {
    return withPayload(cdb, compressed(inflated(cdb) + QByteArray(padding, '\0'), 9));
}

} // namespace TestSupport
