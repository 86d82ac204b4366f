#include "library/Nano5Records.h"

#include "library/Nano5Container.h"
#include "library/Nano5Error.h"

#include <cstring>
#include <limits>
#include <set>
#include <vector>

namespace Nano5Playlist {

namespace {

[[noreturn]] void refuse() {
    throw Nano5Error::unsupportedDatabase();
}

void require(bool condition) {
    if (!condition)
        refuse();
}

bool tagAt(QByteArrayView bytes, qsizetype offset, const char* tag) {
    return offset >= 0 && offset <= bytes.size() - 4 &&
           std::memcmp(bytes.data() + offset, tag, 4) == 0;
}

std::uint64_t readUInt64LE(QByteArrayView bytes, qsizetype offset) {
    return std::uint64_t(readUInt32LE(bytes, offset)) |
           std::uint64_t(readUInt32LE(bytes, offset + 4)) << 32;
}

// A length that grew must still fit its 32-bit field.
std::uint32_t fieldValue(qsizetype value) {
    require(value >= 0 &&
            static_cast<std::uint64_t>(value) <= std::numeric_limits<std::uint32_t>::max());
    return static_cast<std::uint32_t>(value);
}

} // namespace

QByteArray insertPlaylistRecord(QByteArrayView record, QByteArrayView cdb) {
    checkCDBHeader(cdb);
    QByteArray payload = inflatePayload(cdb.sliced(cdbHeaderLength));
    const std::uint32_t n = readUInt32LE(cdb, 20);
    require(static_cast<std::uint64_t>(payload.size() / 16) >= n);

    std::set<std::uint32_t> seen;
    qsizetype off = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        require(off <= payload.size() - 16 && tagAt(payload, off, "mhsd"));
        const qsizetype hdr = readUInt32LE(payload, off + 4);
        qsizetype total = readUInt32LE(payload, off + 8);
        const std::uint32_t type = readUInt32LE(payload, off + 12);
        require(hdr >= 16 && total >= hdr && total <= payload.size() - off);
        if (type == 2 || type == 3) {
            require(seen.insert(type).second);
            require(total - hdr >= 12);
            const qsizetype lp = off + hdr;
            require(tagAt(payload, lp, "mhlp"));
            const std::uint32_t count = readUInt32LE(payload, lp + 8);
            const qsizetype lpHdr = readUInt32LE(payload, lp + 4);
            require(lpHdr >= 12 && lpHdr <= total - hdr && count < total / 12);
            const qsizetype end = off + total;
            qsizetype pos = lp + lpHdr;
            for (std::uint32_t c = 0; c < count; ++c) {
                require(pos <= end - 12 && tagAt(payload, pos, "mhyp"));
                const qsizetype child = readUInt32LE(payload, pos + 8);
                require(child >= 12 && child <= end - pos);
                pos += child;
            }
            require(pos == end);
            insertBytes(record, payload, end);
            total += record.size();
            writeUInt32LE(payload, off + 8, fieldValue(total));
            writeUInt32LE(payload, lp + 8, count + 1);
        }
        off += total;
    }
    require(!seen.empty() && off == payload.size());
    return rebuildCDB(cdb, payload);
}

QByteArray checkedPayload(QByteArrayView cdb) {
    checkCDBHeader(cdb);
    QByteArray payload = completePayload(cdb);
    std::uint32_t count = 0;
    for (qsizetype off = 0; off < payload.size(); ++count) {
        require(off <= payload.size() - 16 && tagAt(payload, off, "mhsd"));
        const qsizetype total = readUInt32LE(payload, off + 8);
        require(total >= 16 && total <= payload.size() - off);
        off += total;
    }
    require(count == readUInt32LE(cdb, 20));
    return payload;
}

InsertedTrack insertTrackRecord(QByteArrayView record, QByteArrayView cdb,
                                std::uint64_t masterPlaylistID) {
    checkCDBHeader(cdb);
    require(record.size() >= exportedTrackHeaderLength && tagAt(record, 0, "mhit") &&
            readUInt32LE(record, 4) == exportedTrackHeaderLength);
    return insertTrackRecord(record, cdb, inflatePayload(cdb.sliced(cdbHeaderLength)),
                             masterPlaylistID);
}

InsertedTrack insertTrackRecord(QByteArrayView record, QByteArrayView cdb,
                                const QByteArray& payload, std::uint64_t masterPlaylistID) {
    checkCDBHeader(cdb);
    require(record.size() >= exportedTrackHeaderLength && tagAt(record, 0, "mhit") &&
            readUInt32LE(record, 4) == exportedTrackHeaderLength);

    struct Dataset {
        std::uint32_t type;
        QByteArray bytes;
    };
    std::vector<Dataset> sets;
    for (qsizetype off = 0; off < payload.size();) {
        require(off <= payload.size() - 16 && tagAt(payload, off, "mhsd"));
        const qsizetype total = readUInt32LE(payload, off + 8);
        require(total >= 16 && total <= payload.size() - off);
        sets.push_back({readUInt32LE(payload, off + 12), payload.mid(off, total)});
        off += total;
    }
    require(sets.size() == readUInt32LE(cdb, 20));
    Dataset* d1 = nullptr;
    Dataset* d3 = nullptr;
    for (auto& set : sets) {
        require(set.type != 2);
        if (set.type == 1) {
            require(!d1);
            d1 = &set;
        } else if (set.type == 3) {
            require(!d3);
            d3 = &set;
        }
    }
    require(d1 && d3);

    // The track list.
    QByteArray& tracks = d1->bytes;
    const qsizetype h = readUInt32LE(tracks, 4);
    require(h >= 16 && h <= tracks.size() - 12 && tagAt(tracks, h, "mhlt"));
    const qsizetype listHeader = readUInt32LE(tracks, h + 4);
    const std::uint32_t t = readUInt32LE(tracks, h + 8);
    require(listHeader >= 12 && listHeader <= tracks.size() - h);
    require(t != 0 && t <= tracks.size() / trackHeaderLength);
    qsizetype o = h + listHeader;
    std::uint32_t largestID = 0;
    QByteArray templateHeader;
    for (std::uint32_t i = 0; i < t; ++i) {
        require(o <= tracks.size() - trackHeaderLength && tagAt(tracks, o, "mhit") &&
                readUInt32LE(tracks, o + 4) == trackHeaderLength);
        const qsizetype total = readUInt32LE(tracks, o + 8);
        require(total >= trackHeaderLength && total <= tracks.size() - o);
        largestID = std::max(largestID, readUInt32LE(tracks, o + 16));
        if (templateHeader.isEmpty() && readUInt32LE(tracks, o + 24) == mp3FileType)
            templateHeader = tracks.mid(o, trackHeaderLength);
        o += total;
    }
    require(o == tracks.size() && !templateHeader.isEmpty() &&
            largestID <= std::numeric_limits<std::uint32_t>::max() - 1);
    const std::uint32_t trackID = largestID + 1;

    QByteArray track = record.first(exportedTrackHeaderLength).toByteArray();
    track += QByteArrayView(templateHeader).sliced(exportedTrackHeaderLength);
    track += record.sliced(exportedTrackHeaderLength);
    for (qsizetype field : {288, 496, 500})
        std::memcpy(track.data() + field, templateHeader.constData() + field, 4);
    writeUInt32LE(track, 4, trackHeaderLength);
    writeUInt32LE(track, 8, fieldValue(track.size()));
    writeUInt32LE(track, 16, trackID);
    tracks += track;
    writeUInt32LE(tracks, h + 8, t + 1);
    writeUInt32LE(tracks, 8, fieldValue(tracks.size()));

    // The master playlist.
    QByteArray& lists = d3->bytes;
    const qsizetype a = readUInt32LE(lists, 4);
    require(a >= 16 && a <= lists.size() - 12 && tagAt(lists, a, "mhlp"));
    const qsizetype playlistHeader = readUInt32LE(lists, a + 4);
    const std::uint32_t p = readUInt32LE(lists, a + 8);
    require(playlistHeader >= 12 && playlistHeader <= lists.size() - a);
    require(p != 0 && p <= lists.size() / 36);
    qsizetype l = a + playlistHeader;
    qsizetype master = -1;
    for (std::uint32_t i = 0; i < p; ++i) {
        require(l <= lists.size() - 36 && tagAt(lists, l, "mhyp"));
        const qsizetype total = readUInt32LE(lists, l + 8);
        require(total >= 36 && total <= lists.size() - l);
        if (readUInt64LE(lists, l + 28) == masterPlaylistID)
            master = l;
        l += total;
    }
    require(l == lists.size() && master >= 0);
    const qsizetype masterLength = readUInt32LE(lists, master + 8);
    require(static_cast<unsigned char>(lists[master + 20]) == 1 &&
            readUInt32LE(lists, master + 16) == t && masterLength >= 156);

    const qsizetype masterEnd = master + masterLength;
    QByteArray item = lists.mid(masterEnd - 120, 120);
    require(tagAt(item, 0, "mhip") && readUInt32LE(item, 8) == 120 && tagAt(item, 76, "mhod"));
    const std::uint32_t position = readUInt32LE(item, 100);
    require(position != std::numeric_limits<std::uint32_t>::max());
    writeUInt32LE(item, 24, trackID);
    writeUInt32LE(item, 100, position + 1);
    insertBytes(item, lists, masterEnd);
    writeUInt32LE(lists, master + 8, fieldValue(masterLength + 120));
    writeUInt32LE(lists, master + 16, t + 1);
    writeUInt32LE(lists, 8, fieldValue(lists.size()));

    QByteArray rebuilt;
    rebuilt.reserve(payload.size() + track.size() + 120);
    for (const auto& set : sets)
        rebuilt += set.bytes;
    return {rebuildCDB(cdb, rebuilt), trackID};
}

} // namespace Nano5Playlist
