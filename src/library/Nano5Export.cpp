#include "library/Nano5Export.h"

#include "library/GLibHandles.h"
#include "library/Nano5Container.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Nano5Playlist::readUInt32LE;

namespace {

inline constexpr std::uint32_t exportedTrackHeaderLength = 584;

std::uint64_t readUInt64LE(QByteArrayView bytes, qsizetype offset) {
    return std::uint64_t(readUInt32LE(bytes, offset)) |
           std::uint64_t(readUInt32LE(bytes, offset + 4)) << 32;
}

bool hasTag(QByteArrayView bytes, qsizetype offset, const char* tag) {
    return offset >= 0 && offset + 4 <= bytes.size() &&
           std::memcmp(bytes.data() + offset, tag, 4) == 0;
}

// A record of the tree: tag, header length at 4, and (for records with children) the total
// length at 8.
struct Span {
    qsizetype offset = 0;
    qsizetype header = 0;
    qsizetype total = 0;
};

std::optional<Span> spanAt(QByteArrayView bytes, qsizetype offset, qsizetype end, const char* tag) {
    if (offset < 0 || end > bytes.size() || offset > end - 12 || !hasTag(bytes, offset, tag))
        return std::nullopt;
    Span span{offset, readUInt32LE(bytes, offset + 4), readUInt32LE(bytes, offset + 8)};
    if (span.header < 12 || span.total < span.header || span.total > end - offset)
        return std::nullopt;
    return span;
}

// The first dataset of this type in an uncompressed iTunesDB.
std::optional<Span> dataset(QByteArrayView db, std::uint32_t type) {
    if (!hasTag(db, 0, "mhbd") || db.size() < 24)
        return std::nullopt;
    qsizetype off = readUInt32LE(db, 4);
    const std::uint32_t count = readUInt32LE(db, 20);
    for (std::uint32_t i = 0; i < count; ++i) {
        auto set = spanAt(db, off, db.size(), "mhsd");
        if (!set || set->header < 16)
            return std::nullopt;
        if (readUInt32LE(db, off + 12) == type)
            return set;
        off += set->total;
    }
    return std::nullopt;
}

// The list directly inside a dataset ("mhlt" or "mhlp"): its position, header length and count.
struct List {
    qsizetype first = 0; // offset of the first child
    qsizetype end = 0;
    std::uint32_t count = 0;
};

std::optional<List> listIn(QByteArrayView db, const Span& set, const char* tag) {
    const qsizetype at = set.offset + set.header;
    const qsizetype end = set.offset + set.total;
    if (at > end - 12 || !hasTag(db, at, tag))
        return std::nullopt;
    const qsizetype header = readUInt32LE(db, at + 4);
    if (header < 12 || header > end - at)
        return std::nullopt;
    return List{at + header, end, readUInt32LE(db, at + 8)};
}

// Writes the tiny database with its blank device into a private folder and returns the file.
std::optional<QByteArray> writeTiny(Itdb_iTunesDB* db) {
    GLibHandles::ErrorSlot error;
    GLibHandles::CharPtr folder(g_dir_make_tmp("lorvanel-record-XXXXXX", error.out()));
    if (!folder)
        return std::nullopt;
    const fs::path dir(folder.get());
    const fs::path file = dir / "iTunesDB";
    std::optional<QByteArray> bytes;
    if (itdb_write_file(db, file.c_str(), error.out())) {
        std::ifstream in(file, std::ios::binary);
        std::string contents((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
        if (in.good() || in.eof())
            bytes = QByteArray::fromStdString(contents);
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return bytes;
}

guint8* handOut(QByteArrayView record, gsize* length) {
    if (record.isEmpty())
        return nullptr;
    *length = static_cast<gsize>(record.size());
    return static_cast<guint8*>(g_memdup2(record.data(), static_cast<gsize>(record.size())));
}

// A database of its own for the export: a master playlist, nothing else yet.
struct TinyDatabase {
    GLibHandles::DatabasePtr db{itdb_new()};
    Itdb_Playlist* master = nullptr;

    TinyDatabase() {
        if (!db)
            return;
        master = itdb_playlist_new("Library", FALSE);
        itdb_playlist_set_mpl(master);
        itdb_playlist_add(db.get(), master, -1);
    }
    Itdb_Track* addBlankTrack(guint64 dbid) {
        Itdb_Track* track = itdb_track_new();
        track->dbid = dbid;
        track->dbid2 = dbid;
        track->mediatype = ITDB_MEDIATYPE_AUDIO;
        itdb_track_add(db.get(), track, -1);
        // libgpod keeps a non-zero dbid; make sure, since the record must carry the caller's.
        track->dbid = dbid;
        track->dbid2 = dbid;
        itdb_playlist_add_track(master, track, -1);
        return track;
    }
};

} // namespace

guint8* itdb_export_playlist_record(Itdb_Playlist* playlist, gsize* length) {
    if (!length)
        return nullptr;
    *length = 0;
    if (!playlist || playlist->is_spl || itdb_playlist_is_mpl(playlist))
        return nullptr;

    TinyDatabase tiny;
    if (!tiny.db)
        return nullptr;
    Itdb_Playlist* copy = itdb_playlist_new(playlist->name ? playlist->name : "", FALSE);
    copy->id = playlist->id;
    copy->sortorder = playlist->sortorder;
    copy->timestamp = playlist->timestamp;
    itdb_playlist_add(tiny.db.get(), copy, -1);
    copy->id = playlist->id;

    // One blank stand-in per distinct member; a track listed twice stays listed twice.
    std::map<Itdb_Track*, Itdb_Track*> standIns;
    std::vector<std::pair<Itdb_Track*, Itdb_Track*>> members; // (stand-in, original)
    for (GList* item = playlist->members; item; item = item->next) {
        auto* original = static_cast<Itdb_Track*>(item->data);
        if (!original)
            return nullptr;
        auto [it, added] = standIns.try_emplace(original, nullptr);
        if (added)
            it->second = tiny.addBlankTrack(original->dbid);
        itdb_playlist_add_track(copy, it->second, -1);
        members.emplace_back(it->second, original);
    }

    const auto db = writeTiny(tiny.db.get());
    if (!db)
        return nullptr;
    // Writing renumbers the stand-ins' ids from 52; the items must name the device's ids.
    std::map<guint32, guint32> realID;
    for (const auto& [standIn, original] : members)
        realID[standIn->id] = original->id;

    const auto set = dataset(*db, 2);
    if (!set)
        return nullptr;
    const auto list = listIn(*db, *set, "mhlp");
    if (!list)
        return nullptr;
    qsizetype pos = list->first;
    for (std::uint32_t i = 0; i < list->count; ++i) {
        const auto mhyp = spanAt(*db, pos, list->end, "mhyp");
        if (!mhyp || mhyp->total < 36)
            return nullptr;
        if (readUInt64LE(*db, pos + 28) == playlist->id && (*db)[pos + 20] == 0) {
            QByteArray record = db->mid(pos, mhyp->total);
            if (readUInt32LE(record, 16) != members.size())
                return nullptr;
            std::uint32_t items = 0;
            for (qsizetype child = mhyp->header; child < mhyp->total;) {
                if (child > mhyp->total - 12)
                    return nullptr;
                const qsizetype total = readUInt32LE(record, child + 8);
                if (total < 12 || total > mhyp->total - child)
                    return nullptr;
                if (hasTag(record, child, "mhip")) {
                    if (total < 28)
                        return nullptr;
                    const auto found = realID.find(readUInt32LE(record, child + 24));
                    if (found == realID.end())
                        return nullptr;
                    Nano5Playlist::writeUInt32LE(record, child + 24, found->second);
                    ++items;
                } else if (!hasTag(record, child, "mhod")) {
                    return nullptr;
                }
                child += total;
            }
            if (items != members.size())
                return nullptr;
            return handOut(record, length);
        }
        pos += mhyp->total;
    }
    return nullptr;
}

guint8* itdb_nano5_export_track(Itdb_Track* track, gsize* length) {
    if (!length)
        return nullptr;
    *length = 0;
    if (!track || track->dbid == 0)
        return nullptr;

    TinyDatabase tiny;
    if (!tiny.db)
        return nullptr;
    Itdb_Track* copy = itdb_track_duplicate(track);
    if (!copy)
        return nullptr;
    // The record carries no artwork link: the nano's artwork database is not ours to change.
    itdb_artwork_free(copy->artwork);
    copy->artwork = itdb_artwork_new();
    copy->has_artwork = 0x02;
    copy->mhii_link = 0;
    itdb_track_add(tiny.db.get(), copy, -1);
    copy->dbid = track->dbid;
    itdb_playlist_add_track(tiny.master, copy, -1);

    const auto db = writeTiny(tiny.db.get());
    if (!db)
        return nullptr;
    const auto set = dataset(*db, 1);
    if (!set)
        return nullptr;
    const auto list = listIn(*db, *set, "mhlt");
    if (!list || list->count != 1)
        return nullptr;
    const auto mhit = spanAt(*db, list->first, list->end, "mhit");
    if (!mhit || mhit->header != exportedTrackHeaderLength ||
        mhit->offset + mhit->total != list->end)
        return nullptr;
    return handOut(QByteArrayView(*db).sliced(mhit->offset, mhit->total), length);
}
