#include "library/ITunesDBStructure.h"

#include <cstring>

namespace {

constexpr qsizetype minimumRecord = 12; // tag, header length, total length or item count
// mhbd > mhsd > mhlp > mhyp > mhip > mhod is the deepest tree there is; a deeper one is made up.
constexpr int maximumDepth = 16;
// A text record: 24-byte header, then position, text length and two more words, then the text.
constexpr qsizetype textOffset = 40;

bool hasTag(QByteArrayView bytes, qsizetype offset, const char* tag) {
    return std::memcmp(bytes.data() + offset, tag, 4) == 0;
}

bool hasAnyTag(QByteArrayView bytes, qsizetype offset, std::initializer_list<const char*> tags) {
    for (const char* tag : tags) {
        if (hasTag(bytes, offset, tag))
            return true;
    }
    return false;
}

// The dataset types whose body is a list of records: tracks, playlists, podcasts, albums, smart
// playlists, the two empty lists and artists. The vendor's software writes other types that
// hold raw data; libgpod skips them.
bool isListDatasetType(quint32 type) {
    return (type >= 1 && type <= 6) || type == 8 || type == 10;
}

// The "mhod" types whose text length libgpod allocates before it checks it.
bool isTextType(quint32 type) {
    return (type >= 1 && type <= 6) || type == 8 || type == 9 || (type >= 12 && type <= 14) ||
           (type >= 18 && type <= 24) || (type >= 27 && type <= 31) ||
           (type >= 200 && type <= 204) || type == 300;
}

// An ArtworkDB's text records: an album's title (1) and a thumbnail's file name (3). The text
// follows a 24-byte header, its length, encoding and one more word.
constexpr qsizetype artworkTextOffset = 36;

bool isArtworkTextType(quint32 type) {
    return type == 1 || type == 3;
}

} // namespace

bool ITunesDBStructure::isSoundArtworkDB(QByteArrayView file) {
    if (file.size() < minimumRecord || !hasTag(file, 0, "mhfd"))
        return false;
    return ITunesDBStructure(file, Kind::artworkDB).record(0, file.size(), 0) >= 0;
}

bool ITunesDBStructure::isList(qsizetype offset) const {
    if (kind_ == Kind::artworkDB)
        return hasAnyTag(bytes_, offset, {"mhli", "mhla", "mhlf"});
    return hasAnyTag(bytes_, offset, {"mhlt", "mhlp", "mhla", "mhli"});
}

bool ITunesDBStructure::holdsRecords(qsizetype offset, qsizetype total) const {
    if (kind_ == Kind::iTunesDB)
        return hasAnyTag(bytes_, offset,
                         {"mhbd", "mhsd", "mhit", "mhyp", "mhip", "mhia", "mhii"}) &&
               !isRawDataset(offset, total);
    // A thumbnail's container holds its "mhni".
    if (hasTag(bytes_, offset, "mhod")) {
        const quint32 type = total >= 16 ? u32(offset + 12) & 0xFFFF : 0;
        return type == 2 || type == 5;
    }
    return hasAnyTag(bytes_, offset, {"mhfd", "mhsd", "mhii", "mhni", "mhba"});
}

bool ITunesDBStructure::isSound(QByteArrayView file) {
    if (file.size() < minimumRecord || !hasTag(file, 0, "mhbd"))
        return false;
    return ITunesDBStructure(file).record(0, file.size(), 0) >= 0;
}

bool ITunesDBStructure::areSoundRecords(QByteArrayView records) {
    return ITunesDBStructure(records).children(0, records.size(), 1);
}

std::optional<QHash<quint64, quint32>> ITunesDBStructure::coverLinks(QByteArrayView file) {
    if (!isSound(file))
        return std::nullopt;
    // Where a track record keeps its id and the id of its cover image.
    constexpr qsizetype trackID = 112;
    constexpr qsizetype imageLink = 352;
    const ITunesDBStructure walk(file);
    QHash<quint64, quint32> links;
    // The file is sound: each record found by walking lies inside its parent.
    const qsizetype end = walk.u32(8);
    for (qsizetype at = walk.u32(4); end - at >= minimumRecord;) {
        const qsizetype next = walk.record(at, end, 1);
        if (next < 0)
            break;
        const qsizetype list = at + walk.u32(at + 4);
        if (!hasTag(file, at, "mhsd") || next - at < 16 || walk.u32(at + 12) != 1 ||
            next - list < minimumRecord || !hasTag(file, list, "mhlt")) {
            at = next;
            continue;
        }
        qsizetype item = list + walk.u32(list + 4);
        for (quint32 count = walk.u32(list + 8); count > 0 && next - item >= minimumRecord;
             --count) {
            const qsizetype after = walk.record(item, next, 3);
            if (after < 0)
                break;
            if (hasTag(file, item, "mhit") && walk.u32(item + 4) >= imageLink + 4) {
                if (const quint32 link = walk.u32(item + imageLink))
                    links.insert(walk.u32(item + trackID) | quint64(walk.u32(item + trackID + 4))
                                                                << 32,
                                 link);
            }
            item = after;
        }
        at = next;
    }
    return links;
}

quint32 ITunesDBStructure::u32(qsizetype offset) const {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data()) + offset;
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

qsizetype ITunesDBStructure::record(qsizetype offset, qsizetype end, int depth) const {
    if (depth > maximumDepth || end - offset < minimumRecord)
        return -1;
    const qsizetype room = end - offset;
    const qsizetype header = u32(offset + 4);
    if (header < minimumRecord || header > room)
        return -1;
    if (isList(offset)) {
        // The items follow the header; the list ends with its last item.
        qsizetype cursor = offset + header;
        for (quint32 count = u32(offset + 8); count > 0; --count) {
            cursor = record(cursor, end, depth + 1);
            if (cursor < 0)
                return -1;
        }
        return cursor;
    }
    const qsizetype total = u32(offset + 8);
    if (total < header || total > room)
        return -1;
    if (holdsRecords(offset, total) && !children(offset + header, offset + total, depth + 1))
        return -1;
    if (hasTag(bytes_, offset, "mhod") && !isSoundText(offset, total))
        return -1;
    return offset + total;
}

bool ITunesDBStructure::children(qsizetype offset, qsizetype end, int depth) const {
    // A few bytes too short for a record at the end are padding, not a record.
    while (end - offset >= minimumRecord) {
        offset = record(offset, end, depth);
        if (offset < 0)
            return false;
    }
    return true;
}

bool ITunesDBStructure::isRawDataset(qsizetype offset, qsizetype total) const {
    return hasTag(bytes_, offset, "mhsd") && (total < 16 || !isListDatasetType(u32(offset + 12)));
}

bool ITunesDBStructure::isSoundText(qsizetype offset, qsizetype total) const {
    if (kind_ == Kind::artworkDB) {
        if (total < 16 || !isArtworkTextType(u32(offset + 12) & 0xFFFF))
            return true;
        return total >= artworkTextOffset &&
               qsizetype(u32(offset + 24)) <= total - artworkTextOffset;
    }
    if (total < 16 || !isTextType(u32(offset + 12)))
        return true;
    return total >= textOffset && qsizetype(u32(offset + 28)) <= total - textOffset;
}
