#pragma once

// Damaged copies of a libgpod-written iTunesDB or iTunesCDB, the way a worn disk or a
// half-finished write leaves them: length fields off by one, zero or 0xffffffff, the file cut
// at a record boundary, a compressed stream that ends early, a tiny file that inflates to a
// huge one.
//
//     const QByteArray good = volume.readFile("iPod_Control/iTunes/iTunesDB");
//     for (const auto& damage : TestSupport::damagedCopies(good))
//         volume.writeFile("iPod_Control/iTunes/iTunesDB", damage.bytes);

#include <QByteArray>
#include <QList>
#include <QString>

namespace TestSupport {

// Where a record starts in an iTunesDB, found by its tag (independently of the product's walk).
struct RecordSpot {
    qsizetype offset = 0;
    QByteArray tag;     // "mhit", ...
    quint32 type = 0;   // the type word of "mhsd" and "mhod" records, else 0
    quint32 header = 0; // its header length
};
QList<RecordSpot> findRecords(const QByteArray& database);

struct DamagedCopy {
    QString label; // e.g. "mhod type 1 @1016 +4 = ffffffff"
    QByteArray bytes;
    // A length that leaves its record or the file: the open must refuse it as damaged.
    bool leavesItsRecord = false;
};

// For the first record of each kind (tag and type): its header length, its total length or item
// count and, for text records, the text length set to 0, one less, one more and 0xffffffff; and
// the file cut at the start and after the header of each of those records.
QList<DamagedCopy> damagedCopies(const QByteArray& database);

quint32 readUInt32(const QByteArray& bytes, qsizetype offset);
void writeUInt32(QByteArray& bytes, qsizetype offset, quint32 value);

// An iTunesCDB (header of the given one) whose zlib stream stops halfway.
QByteArray truncatedStreamCDB(const QByteArray& cdb);
// An iTunesCDB (header of the given one) holding the given records followed by `padding` zero
// bytes, compressed as tightly as zlib can.
QByteArray inflationBombCDB(const QByteArray& cdb, qsizetype padding);

} // namespace TestSupport
