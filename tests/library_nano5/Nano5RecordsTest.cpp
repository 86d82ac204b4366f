#include "Nano5Volume.h"

#include "library/Nano5Container.h"
#include "library/Nano5Error.h"
#include "library/Nano5Export.h"
#include "library/Nano5Records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace Nano5Playlist;
using Nano5Volume::datasets;
using Nano5Volume::joinDatasets;
using Nano5Volume::Volume;

namespace {

using Sets = std::vector<std::pair<std::uint32_t, QByteArray>>;

Sets setsOf(const QByteArray& cdb) {
    return datasets(inflatePayload(QByteArrayView(cdb).sliced(cdbHeaderLength)));
}

QByteArray withSets(const QByteArray& cdb, const Sets& sets) {
    return Nano5Volume::signedCDB(cdb, joinDatasets(sets), static_cast<std::uint32_t>(sets.size()));
}

QByteArray& setOfType(Sets& sets, std::uint32_t type) {
    for (auto& set : sets)
        if (set.first == type)
            return set.second;
    throw std::runtime_error("no such dataset");
}

// Offsets of the children of a dataset's list.
std::vector<qsizetype> children(const QByteArray& set) {
    const qsizetype list = readUInt32LE(set, 4);
    qsizetype pos = list + readUInt32LE(set, list + 4);
    std::vector<qsizetype> out;
    for (std::uint32_t i = 0; i < readUInt32LE(set, list + 8); ++i) {
        out.push_back(pos);
        pos += readUInt32LE(set, pos + 8);
    }
    return out;
}

std::uint64_t readUInt64LE(QByteArrayView bytes, qsizetype offset) {
    return std::uint64_t(readUInt32LE(bytes, offset)) |
           std::uint64_t(readUInt32LE(bytes, offset + 4)) << 32;
}

bool refused(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const Nano5Error& error) {
        return error.kind() == Nano5Error::Kind::unsupportedDatabase;
    }
    return false;
}

// A playlist record as the export gives it, for a playlist of the volume's first two tracks.
QByteArray exportedPlaylist(const Volume& volume, std::uint64_t* id = nullptr) {
    auto db = volume.parse();
    Itdb_Playlist* playlist = itdb_playlist_new("Exported", FALSE);
    itdb_playlist_add(db.get(), playlist, -1);
    itdb_playlist_add_track(playlist, static_cast<Itdb_Track*>(g_list_nth_data(db->tracks, 1)), -1);
    itdb_playlist_add_track(playlist, static_cast<Itdb_Track*>(g_list_nth_data(db->tracks, 0)), -1);
    if (id)
        *id = playlist->id;
    gsize length = 0;
    guint8* bytes = itdb_export_playlist_record(playlist, &length);
    QByteArray record(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(length));
    g_free(bytes);
    return record;
}

// A track record as the export gives it, for a new song added to a parse of the volume.
QByteArray exportedTrack(const Volume& volume) {
    auto db = volume.parse();
    Itdb_Track* track = itdb_track_new();
    track->title = g_strdup("Exported");
    track->filetype_marker = mp3FileType;
    track->mediatype = ITDB_MEDIATYPE_AUDIO;
    track->tracklen = 1234;
    itdb_track_add(db.get(), track, -1);
    gsize length = 0;
    guint8* bytes = itdb_nano5_export_track(track, &length);
    QByteArray record(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(length));
    g_free(bytes);
    return record;
}

} // namespace

TEST(Nano5RecordsTest, PlaylistExportNamesTheDevicesTrackIDs) {
    Volume volume; // track ids 1001..1003, not libgpod's own 52..
    std::uint64_t id = 0;
    const QByteArray record = exportedPlaylist(volume, &id);
    ASSERT_GE(record.size(), 48);
    EXPECT_EQ(record.first(4), "mhyp");
    EXPECT_EQ(readUInt32LE(record, 8), record.size());
    EXPECT_EQ(readUInt32LE(record, 16), 2u);
    EXPECT_EQ(readUInt64LE(record, 28), id);
    std::vector<std::uint32_t> items;
    for (qsizetype pos = readUInt32LE(record, 4); pos < record.size();
         pos += readUInt32LE(record, pos + 8))
        if (record.mid(pos, 4) == "mhip")
            items.push_back(readUInt32LE(record, pos + 24));
    EXPECT_EQ(items, (std::vector<std::uint32_t>{1002, 1001}));

    gsize length = 7;
    EXPECT_EQ(itdb_export_playlist_record(nullptr, &length), nullptr);
    EXPECT_EQ(length, 0u);
}

TEST(Nano5RecordsTest, PlaylistRecordEndsEveryPlaylistList) {
    Nano5Volume::Options options;
    options.keepPlaylistDataset = true;
    Volume volume(options);
    const QByteArray record = exportedPlaylist(volume);
    const QByteArray cdb = volume.library.cdb;
    const QByteArray updated = insertPlaylistRecord(record, cdb);

    // Header unchanged but for the length.
    QByteArray a = updated.first(cdbHeaderLength), b = cdb.first(cdbHeaderLength);
    EXPECT_EQ(readUInt32LE(a, 8), updated.size());
    std::memset(a.data() + 8, 0, 4);
    std::memset(b.data() + 8, 0, 4);
    EXPECT_EQ(a, b);

    Sets before = setsOf(cdb), after = setsOf(updated);
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        if (before[i].first != 2 && before[i].first != 3) {
            EXPECT_EQ(after[i].second, before[i].second) << "type " << before[i].first;
            continue;
        }
        const QByteArray& set = after[i].second;
        EXPECT_EQ(readUInt32LE(set, 8), set.size());
        EXPECT_EQ(children(set).size(), children(before[i].second).size() + 1);
        EXPECT_TRUE(set.endsWith(record));
    }
}

TEST(Nano5RecordsTest, PlaylistInsertionRefusesMisshapenLists) {
    Volume volume; // type 3 only: accepted
    const QByteArray record = exportedPlaylist(volume);
    const QByteArray cdb = volume.library.cdb;
    EXPECT_NO_THROW(insertPlaylistRecord(record, cdb));

    Sets sets = setsOf(cdb);
    {
        Sets twice = sets;
        twice.push_back({3, setOfType(twice, 3)});
        EXPECT_TRUE(refused([&] { insertPlaylistRecord(record, withSets(cdb, twice)); }));
    }
    {
        // A declared count whose records end before the dataset does.
        Sets shorter = sets;
        QByteArray& lists = setOfType(shorter, 3);
        const qsizetype list = readUInt32LE(lists, 4);
        writeUInt32LE(lists, list + 8, readUInt32LE(lists, list + 8) - 1);
        EXPECT_TRUE(refused([&] { insertPlaylistRecord(record, withSets(cdb, shorter)); }));
    }
    {
        // Bytes after the last counted dataset.
        QByteArray header = cdb.first(cdbHeaderLength);
        const QByteArray padded = Nano5Volume::deviceSigned(
            rebuildCDB(header, joinDatasets(sets) + QByteArray(32, '\0')));
        EXPECT_TRUE(refused([&] { insertPlaylistRecord(record, padded); }));
    }
    {
        Sets none;
        for (const auto& set : sets)
            if (set.first != 3)
                none.push_back(set);
        EXPECT_TRUE(refused([&] { insertPlaylistRecord(record, withSets(cdb, none)); }));
    }
    QByteArray badHeader = cdb;
    writeUInt32LE(badHeader, 16, 118);
    EXPECT_TRUE(refused([&] { insertPlaylistRecord(record, badHeader); }));
}

TEST(Nano5RecordsTest, TrackRecordIsWidenedAfterTheFirstMP3AndJoinsTheMaster) {
    Volume volume;
    const QByteArray record = exportedTrack(volume);
    ASSERT_GE(record.size(), exportedTrackHeaderLength);
    EXPECT_EQ(record.first(4), "mhit");
    EXPECT_EQ(readUInt32LE(record, 4), exportedTrackHeaderLength);

    // The second track is the first MP3; the third has the largest id.
    Sets sets = setsOf(volume.library.cdb);
    QByteArray& tracks = setOfType(sets, 1);
    const auto mhits = children(tracks);
    writeUInt32LE(tracks, mhits[0] + 24, 0x4D344120); // "M4A "
    writeUInt32LE(tracks, mhits[2] + 16, 5000);
    for (qsizetype field : {288, 496, 500})
        writeUInt32LE(tracks, mhits[1] + field, 0xC0DE0000u + std::uint32_t(field));
    const QByteArray cdb = withSets(volume.library.cdb, sets);

    const InsertedTrack inserted = insertTrackRecord(record, cdb, volume.library.masterID);
    EXPECT_EQ(inserted.trackID, 5001u);
    Sets after = setsOf(inserted.cdb);
    const QByteArray& newTracks = setOfType(after, 1);
    const auto newMhits = children(newTracks);
    ASSERT_EQ(newMhits.size(), 4u);
    const qsizetype added = newMhits[3];
    EXPECT_EQ(readUInt32LE(newTracks, added + 4), 624u);
    EXPECT_EQ(readUInt32LE(newTracks, added + 8), record.size() + 40);
    EXPECT_EQ(readUInt32LE(newTracks, added + 16), 5001u);
    EXPECT_EQ(newTracks.mid(added + 584, 40), tracks.mid(mhits[1] + 584, 40));
    for (qsizetype field : {288, 496, 500})
        EXPECT_EQ(readUInt32LE(newTracks, added + field), 0xC0DE0000u + std::uint32_t(field));
    EXPECT_EQ(newTracks.mid(added + 624), record.mid(584));
    EXPECT_EQ(readUInt32LE(newTracks, 8), newTracks.size());

    const QByteArray& lists = setOfType(after, 3);
    const auto playlists = children(lists);
    qsizetype master = -1;
    for (qsizetype p : playlists)
        if (readUInt64LE(lists, p + 28) == volume.library.masterID)
            master = p;
    ASSERT_GE(master, 0);
    EXPECT_EQ(readUInt32LE(lists, master + 16), 4u);
    const qsizetype item = master + readUInt32LE(lists, master + 8) - 120;
    EXPECT_EQ(lists.mid(item, 4), "mhip");
    EXPECT_EQ(readUInt32LE(lists, item + 24), 5001u);
    EXPECT_EQ(readUInt32LE(lists, item + 100), readUInt32LE(lists, item - 120 + 100) + 1);
}

TEST(Nano5RecordsTest, TrackInsertionRefusesMisshapenLibraries) {
    Volume volume;
    const QByteArray record = exportedTrack(volume);
    const QByteArray cdb = volume.library.cdb;
    const std::uint64_t master = volume.library.masterID;
    EXPECT_NO_THROW(insertTrackRecord(record, cdb, master));

    const Sets sets = setsOf(cdb);
    auto variant = [&](const std::function<void(Sets&)>& change) {
        Sets copy = sets;
        change(copy);
        return withSets(cdb, copy);
    };
    const std::vector<std::pair<const char*, QByteArray>> cases = {
        {"master count differs from the track count", variant([](Sets& s) {
             QByteArray& lists = setOfType(s, 3);
             for (qsizetype p : children(lists))
                 if (lists[p + 20] == 1)
                     writeUInt32LE(lists, p + 16, 2);
         })},
        {"empty track list", variant([](Sets& s) {
             QByteArray& tracks = setOfType(s, 1);
             const qsizetype list = readUInt32LE(tracks, 4);
             writeUInt32LE(tracks, list + 8, 0);
             tracks.truncate(list + readUInt32LE(tracks, list + 4));
             writeUInt32LE(tracks, 8, static_cast<std::uint32_t>(tracks.size()));
         })},
        {"a playlist dataset of type 2", variant([](Sets& s) {
             s.push_back({2, setOfType(s, 3)});
         })},
        {"two track datasets", variant([](Sets& s) {
             s.push_back({1, setOfType(s, 1)});
         })},
        {"track header of 584", variant([](Sets& s) {
             QByteArray& tracks = setOfType(s, 1);
             writeUInt32LE(tracks, children(tracks)[1] + 4, 584);
         })},
    };
    for (const auto& [what, bad] : cases)
        EXPECT_TRUE(refused([&] { insertTrackRecord(record, bad, master); })) << what;
    EXPECT_TRUE(refused([&] { insertTrackRecord(record, cdb, master + 1); })) << "no master";
    EXPECT_TRUE(refused([&] { insertTrackRecord(record.first(500), cdb, master); }));
    QByteArray wide = record;
    writeUInt32LE(wide, 4, 624);
    EXPECT_TRUE(refused([&] { insertTrackRecord(wide, cdb, master); }));
}

// Damaged files of every kind give unsupportedDatabase and nothing else, under the sanitizers.
TEST(Nano5RecordsTest, MutatedLibrariesNeverBreakTheParsers) {
    Nano5Volume::Options options;
    options.trackCount = 2;
    Volume volume(options);
    const QByteArray track = exportedTrack(volume);
    const QByteArray playlist = exportedPlaylist(volume);
    const QByteArray cdb = volume.library.cdb;
    const QByteArray payload = inflatePayload(QByteArrayView(cdb).sliced(cdbHeaderLength));
    std::mt19937 random(20261209);
    int refusedCount = 0;
    for (int round = 0; round < 400; ++round) {
        QByteArray mutated = payload;
        const int kind = round % 4;
        if (kind == 0) {
            // Flip a few bytes, mostly in the record headers.
            for (int i = 0; i < 1 + int(random() % 4); ++i) {
                const qsizetype at = random() % mutated.size();
                mutated[at] = static_cast<char>(random());
            }
        } else if (kind == 1) {
            mutated.truncate(random() % mutated.size());
        } else if (kind == 2) {
            // A length or count field set to something extreme.
            const qsizetype at = (random() % (mutated.size() / 4)) * 4;
            const std::uint32_t values[] = {0, 1, 12, 0x7FFFFFFF, 0xFFFFFFFF, 0xFFFFFFF0};
            writeUInt32LE(mutated, at, values[random() % 6]);
        } else {
            mutated.insert(random() % mutated.size(),
                           QByteArray(1 + random() % 40, char(random())));
        }
        const QByteArray file = rebuildCDB(cdb, mutated);
        try {
            insertTrackRecord(track, file, volume.library.masterID);
        } catch (const Nano5Error& error) {
            ASSERT_EQ(error.kind(), Nano5Error::Kind::unsupportedDatabase);
            ++refusedCount;
        }
        try {
            insertPlaylistRecord(playlist, file);
        } catch (const Nano5Error& error) {
            ASSERT_EQ(error.kind(), Nano5Error::Kind::unsupportedDatabase);
        }
        // The compressed stream itself damaged.
        QByteArray raw = cdb;
        raw[cdbHeaderLength + qsizetype(random() % (raw.size() - cdbHeaderLength))] ^=
            char(1 + random() % 255);
        try {
            insertTrackRecord(track, raw, volume.library.masterID);
        } catch (const Nano5Error& error) {
            ASSERT_EQ(error.kind(), Nano5Error::Kind::unsupportedDatabase);
        }
    }
    EXPECT_GT(refusedCount, 100);
}
