#include "library/Nano5Database.h"

#include "library/Nano5Container.h"
#include "library/Nano5Error.h"
#include "library/Nano5FileOps.h"
#include "library/SQLiteHandles.h"

#include <cerrno>
#include <ctime>
#include <fstream>
#include <limits>
#include <memory>
#include <sys/random.h>

namespace fs = std::filesystem;

namespace Nano5Playlist {

namespace {

using Statement = SQLiteHandles::StatementPtr;
using Database = SQLiteHandles::DatabasePtr;

Statement prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK || !raw) {
        sqlite3_finalize(raw);
        throw Nano5Error::unsupportedDatabase();
    }
    return Statement(raw);
}

void exec(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw Nano5Error::unsupportedDatabase();
}

std::uint64_t systemRandom64() {
    std::uint64_t value = 0;
    auto* p = reinterpret_cast<unsigned char*>(&value);
    size_t got = 0;
    while (got < sizeof value) {
        ssize_t n = getrandom(p + got, sizeof value - got, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throwPosixError(errno, "getrandom", "/dev/urandom");
        }
        got += static_cast<size_t>(n);
    }
    return value;
}

// Looks a row up; when it is missing and the name is not empty, inserts it and looks again.
std::pair<std::int64_t, std::int64_t> findOrInsert(sqlite3* db, const char* query,
                                                   const std::vector<SQLValue>& queryValues,
                                                   const QString& name, const char* insert,
                                                   const std::vector<SQLValue>& insertValues) {
    if (auto row = queryPidAndOrder(db, query, queryValues))
        return *row;
    if (name.isEmpty())
        return {0, 0};
    executeStatement(db, insert, insertValues);
    if (auto row = queryPidAndOrder(db, query, queryValues))
        return *row;
    throw Nano5Error::unsupportedDatabase();
}

} // namespace

std::uint64_t randomValue(std::uint64_t n) {
    const std::uint64_t threshold = (0 - n) % n; // (2^64 - n) mod n
    for (;;) {
        const unsigned __int128 product =
            static_cast<unsigned __int128>(systemRandom64()) * static_cast<unsigned __int128>(n);
        if (static_cast<std::uint64_t>(product) >= threshold)
            return static_cast<std::uint64_t>(product >> 64);
    }
}

std::int64_t newPid() {
    return static_cast<std::int64_t>(
               randomValue(static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))) +
           1;
}

std::int64_t secondsSinceReferenceDate() {
    return static_cast<std::int64_t>(std::time(nullptr)) - 978307200;
}

int bindText(sqlite3_stmt* statement, int index, const QString& text, void (*destructor)(void*)) {
    const QByteArray utf8 = text.toUtf8();
    return sqlite3_bind_text(statement, index, utf8.constData(), -1, destructor);
}

void bindValues(sqlite3_stmt* statement, const std::vector<SQLValue>& values) {
    for (size_t i = 0; i < values.size(); ++i) {
        const int index = static_cast<int>(i) + 1;
        int rc;
        if (const auto* number = std::get_if<std::int64_t>(&values[i].value))
            rc = sqlite3_bind_int64(statement, index, *number);
        else
            rc = bindText(statement, index, std::get<QString>(values[i].value), SQLITE_TRANSIENT);
        if (rc != SQLITE_OK)
            throw Nano5Error::unsupportedDatabase();
    }
}

std::optional<std::pair<std::int64_t, std::int64_t>>
queryPidAndOrder(sqlite3* db, const char* sql, const std::vector<SQLValue>& values) {
    Statement statement = prepare(db, sql);
    bindValues(statement.get(), values);
    const int rc = sqlite3_step(statement.get());
    if (rc == SQLITE_DONE)
        return std::nullopt;
    if (rc != SQLITE_ROW)
        throw Nano5Error::unsupportedDatabase();
    return std::make_pair(sqlite3_column_int64(statement.get(), 0),
                          sqlite3_column_int64(statement.get(), 1));
}

void executeStatement(sqlite3* db, const char* sql, const std::vector<SQLValue>& values) {
    Statement statement = prepare(db, sql);
    bindValues(statement.get(), values);
    if (sqlite3_step(statement.get()) != SQLITE_DONE || sqlite3_changes(db) != 1)
        throw Nano5Error::unsupportedDatabase();
}

QByteArray editDatabase(const QByteArray& bytes, const fs::path& tempPath, int requiredVersion,
                        const std::function<void(sqlite3*)>& statements) {
    {
        std::ofstream out(tempPath, std::ios::binary | std::ios::trunc);
        out.write(bytes.constData(), bytes.size());
        out.close();
        if (!out)
            throwPosixError(EIO, "write", tempPath);
    }
    {
        sqlite3* raw = nullptr;
        const int rc = sqlite3_open_v2(tempPath.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
        Database db(raw);
        if (rc != SQLITE_OK)
            throw Nano5Error::unsupportedDatabase();
        {
            Statement version = prepare(db.get(), "PRAGMA user_version");
            if (sqlite3_step(version.get()) != SQLITE_ROW ||
                sqlite3_column_int(version.get(), 0) != requiredVersion)
                throw Nano5Error::unsupportedDatabase();
        }
        exec(db.get(), "BEGIN");
        statements(db.get());
        exec(db.get(), "COMMIT");
        {
            Statement check = prepare(db.get(), "PRAGMA integrity_check");
            if (sqlite3_step(check.get()) != SQLITE_ROW)
                throw Nano5Error::unsupportedDatabase();
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(check.get(), 0));
            if (!text || std::string_view(text) != "ok" || sqlite3_step(check.get()) != SQLITE_DONE)
                throw Nano5Error::unsupportedDatabase();
        }
        if (sqlite3_close(db.release()) != SQLITE_OK)
            throw Nano5Error::unsupportedDatabase();
    }
    return readDatabaseFile(tempPath);
}

QByteArray writeTrackLibrary(const QByteArray& bytes, const fs::path& tempPath,
                             const Nano5Song& song) {
    return editDatabase(bytes, tempPath, 26, [&](sqlite3* db) {
        const QString artistName = song.albumArtist.isEmpty() ? song.artist : song.albumArtist;
        const auto artist = findOrInsert(
            db,
            "SELECT pid, name_order FROM artist WHERE kind = 2 AND\n"
            "    ((? <> '' AND name = ?) OR (? = '' AND is_unknown = 1)) ORDER BY pid LIMIT 1",
            {SQLValue::text(artistName), SQLValue::text(artistName), SQLValue::text(artistName)},
            artistName,
            "INSERT INTO artist (pid, kind, name, name_order, sort_name, has_songs)\n"
            "SELECT ?, 2, ?, COALESCE(MAX(name_order), 0) + 100, ?, 1 FROM artist",
            {SQLValue::number(newPid()), SQLValue::text(artistName), SQLValue::text(artistName)});

        const auto trackArtist = findOrInsert(
            db,
            "SELECT pid, name_order FROM track_artist WHERE\n"
            "    ((? <> '' AND name = ?) OR (? = '' AND is_unknown = 1)) ORDER BY pid LIMIT 1",
            {SQLValue::text(song.artist), SQLValue::text(song.artist), SQLValue::text(song.artist)},
            song.artist,
            "INSERT INTO track_artist (pid, name, name_order, sort_name, has_songs, "
            "has_non_compilation_tracks)\n"
            "SELECT ?, ?, COALESCE(MAX(name_order), 0) + 100, ?, 1, 1 FROM track_artist",
            {SQLValue::number(newPid()), SQLValue::text(song.artist), SQLValue::text(song.artist)});

        // An album row is added even for an empty name, so the lookup after it must succeed.
        const char* albumQuery =
            "SELECT pid, name_order FROM album WHERE kind = 2 AND name = ? AND "
            "artist_pid = ? ORDER BY pid LIMIT 1";
        const std::vector<SQLValue> albumKey{SQLValue::text(song.album),
                                             SQLValue::number(artist.first)};
        auto album = queryPidAndOrder(db, albumQuery, albumKey);
        if (!album) {
            executeStatement(db,
                             "INSERT INTO album (pid, kind, artist_pid, name, name_order, "
                             "artist_order, sort_name, has_songs, artist_count_calc)\n"
                             "SELECT ?, 2, ?, ?, COALESCE(MAX(name_order), 0) + 100, ?, ?, 1, 1 "
                             "FROM album",
                             {SQLValue::number(newPid()), SQLValue::number(artist.first),
                              SQLValue::text(song.album), SQLValue::number(artist.second),
                              SQLValue::text(song.album)});
            album = queryPidAndOrder(db, albumQuery, albumKey);
            if (!album)
                throw Nano5Error::unsupportedDatabase();
        }

        executeStatement(
            db,
            "INSERT INTO item (pid, revision_level, media_kind, is_song, date_modified, "
            "total_time_ms,\n"
            "    title, artist, album, album_artist, artist_pid, track_artist_pid, album_pid,\n"
            "    artist_order, album_order, album_artist_order, title_order, physical_order)\n"
            "SELECT ?, 0, 1, 1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?,\n"
            "    COALESCE(MAX(title_order), -1) + 1, COALESCE(MAX(physical_order), -1) + 1 FROM "
            "item",
            {SQLValue::number(song.itemPid), SQLValue::number(song.dateModified),
             SQLValue::number(song.totalTimeMs), SQLValue::text(song.title),
             SQLValue::text(song.artist), SQLValue::text(song.album),
             SQLValue::text(song.albumArtist), SQLValue::number(artist.first),
             SQLValue::number(trackArtist.first), SQLValue::number(album->first),
             SQLValue::number(trackArtist.second), SQLValue::number(album->second),
             SQLValue::number(artist.second)});

        executeStatement(db,
                         "INSERT INTO item_to_container (item_pid, container_pid, physical_order)\n"
                         "SELECT item.pid, container.pid, item.physical_order FROM item, container "
                         "WHERE item.pid = ? AND container.pid = ?",
                         {SQLValue::number(song.itemPid), SQLValue::number(song.containerPid)});

        executeStatement(db,
                         "INSERT INTO avformat_info (item_pid, audio_format, bit_rate, channels, "
                         "sample_rate, duration)\n"
                         "VALUES (?,301,?,?,?,?)",
                         {SQLValue::number(song.itemPid), SQLValue::number(song.bitRate),
                          SQLValue::number(song.channels), SQLValue::number(song.sampleRate),
                          SQLValue::number(song.duration)});
    });
}

void insertContainerRows(sqlite3* db, std::int64_t pid, const QString& name,
                         const std::vector<std::uint64_t>& trackIDs) {
    const std::int64_t now = secondsSinceReferenceDate();
    {
        Statement container = prepare(
            db, "INSERT INTO container (pid, distinguished_kind, date_created, date_modified, "
                "name, name_order,\n"
                "    parent_pid, media_kinds, workout_template_id, is_hidden, smart_is_folder)\n"
                "SELECT ?, 0, ?, ?, ?, COALESCE(MAX(name_order), 0) + 100, 0, 1, 0, 0, 0 FROM "
                "container");
        sqlite3_bind_int64(container.get(), 1, pid);
        sqlite3_bind_int64(container.get(), 2, now);
        sqlite3_bind_int64(container.get(), 3, now);
        if (bindText(container.get(), 4, name, SQLITE_TRANSIENT) != SQLITE_OK ||
            sqlite3_step(container.get()) != SQLITE_DONE || sqlite3_changes(db) != 1)
            throw Nano5Error::unsupportedDatabase();
    }
    Statement member =
        prepare(db, "INSERT INTO item_to_container (item_pid, container_pid, physical_order, "
                    "shuffle_order)\n"
                    "SELECT pid, ?, ?, NULL FROM item WHERE pid = ?");
    for (size_t i = 0; i < trackIDs.size(); ++i) {
        if (sqlite3_reset(member.get()) != SQLITE_OK)
            throw Nano5Error::unsupportedDatabase();
        sqlite3_bind_int64(member.get(), 1, pid);
        sqlite3_bind_int64(member.get(), 2, static_cast<std::int64_t>(i));
        sqlite3_bind_int64(member.get(), 3, sqlPid(trackIDs[i]));
        if (sqlite3_step(member.get()) != SQLITE_DONE)
            throw Nano5Error::unsupportedDatabase();
        if (sqlite3_changes(db) != 1)
            throw Nano5Error::trackSelectionChanged();
    }
}

QByteArray writePlaylistLibrary(const QByteArray& bytes, const fs::path& tempPath, std::int64_t pid,
                                const QString& name, const std::vector<std::uint64_t>& trackIDs) {
    return editDatabase(bytes, tempPath, 26,
                        [&](sqlite3* db) { insertContainerRows(db, pid, name, trackIDs); });
}

QByteArray writeDynamicDatabase(const QByteArray& bytes, const fs::path& tempPath, std::int64_t pid,
                                const DynamicStep& step) {
    return editDatabase(bytes, tempPath, 0, [&](sqlite3* db) { step(db, pid); });
}

void insertContainerUI(sqlite3* db, std::int64_t containerPid) {
    executeStatement(
        db,
        "INSERT INTO container_ui (container_pid, play_order, is_reversed, "
        "album_field_order,\n"
        "    repeat_mode, shuffle_items, has_been_shuffled) VALUES (?, 7, 0, 1, 0, 0, 0)",
        {SQLValue::number(containerPid)});
}

void insertItemStats(sqlite3* db, std::int64_t itemPid) {
    executeStatement(db, "INSERT INTO item_stats (item_pid) VALUES (?)",
                     {SQLValue::number(itemPid)});
}

QByteArray writeLocationsDatabase(const QByteArray& bytes, const fs::path& tempPath,
                                  std::int64_t itemPid, const QString& fileName,
                                  std::int64_t dateCreated, std::int64_t fileSize) {
    return editDatabase(bytes, tempPath, 0, [&](sqlite3* db) {
        executeStatement(
            db,
            "INSERT INTO location (item_pid, base_location_id, location_type, location, "
            "extension, kind_id,\n"
            "    date_created, file_size)\n"
            "SELECT ?, id, 1179208773, ?, 1297101600, 1, ?, ? FROM base_location\n"
            "WHERE id = 1 AND path = 'iPod_Control/Music'",
            {SQLValue::number(itemPid), SQLValue::text(QStringLiteral("F00/") + fileName),
             SQLValue::number(dateCreated), SQLValue::number(fileSize)});
    });
}

} // namespace Nano5Playlist
