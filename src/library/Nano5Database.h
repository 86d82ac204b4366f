#pragma once

// Edits of the fifth-generation nano's SQLite databases (Library.itdb, Dynamic.itdb,
// Locations.itdb). Each edit runs on a temporary copy, which is checked and read back as bytes;
// the device's own files are never opened by SQLite.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace Nano5Playlist {

// A value bound to a statement parameter.
struct SQLValue {
    std::variant<std::int64_t, QString> value;
    static SQLValue number(std::int64_t n) { return {n}; }
    static SQLValue text(QString s) { return {std::move(s)}; }
};

// libgpod ids are unsigned 64-bit; the pid columns are signed. The same bit pattern is stored,
// so ids at or above 2^63 come back as negative pids and still match.
inline std::int64_t sqlPid(std::uint64_t id) {
    return static_cast<std::int64_t>(id);
}

// Uniform in 0..<n from the system's secure random source (multiply-high with rejection).
std::uint64_t randomValue(std::uint64_t n);
// A new persistent id, uniform in 1...2^63-1.
std::int64_t newPid();
// Whole seconds since 2001-01-01 00:00:00 UTC.
std::int64_t secondsSinceReferenceDate();

// Binds the UTF-8 form of text, NUL-terminated, length -1.
int bindText(sqlite3_stmt* statement, int index, const QString& text, void (*destructor)(void*));
// Value i to parameter i + 1; a failing bind throws unsupportedDatabase.
void bindValues(sqlite3_stmt* statement, const std::vector<SQLValue>& values);
// The first row's (pid, order), or nothing when there is no row.
std::optional<std::pair<std::int64_t, std::int64_t>>
queryPidAndOrder(sqlite3* db, const char* sql, const std::vector<SQLValue>& values);
// Runs an insert that must change exactly one row.
void executeStatement(sqlite3* db, const char* sql, const std::vector<SQLValue>& values);

// The edit frame: bytes to tempPath, open, check user_version, BEGIN, statements, COMMIT,
// integrity_check, close, guarded read back. Errors of the statements pass through unchanged.
QByteArray editDatabase(const QByteArray& bytes, const std::filesystem::path& tempPath,
                        int requiredVersion, const std::function<void(sqlite3*)>& statements);

struct Nano5Song {
    std::int64_t itemPid = 0;
    QString title;
    QString artist;
    QString albumArtist;
    QString album;
    std::int64_t dateModified = 0;
    std::int64_t totalTimeMs = 0;
    // The playlist the song joins (the master playlist's id).
    std::int64_t containerPid = 0;
    std::int64_t bitRate = 0;
    std::int64_t channels = 0;
    std::int64_t sampleRate = 0;
    // Stored as avformat_info.duration (the audio frame count).
    std::int64_t duration = 0;
};

// Library.itdb (user_version 26): artist, track artist and album found or added, then item,
// playlist membership and audio format.
QByteArray writeTrackLibrary(const QByteArray& bytes, const std::filesystem::path& tempPath,
                             const Nano5Song& song);
// Library.itdb (user_version 26): the container row and one membership row per track, in order.
QByteArray writePlaylistLibrary(const QByteArray& bytes, const std::filesystem::path& tempPath,
                                std::int64_t pid, const QString& name,
                                const std::vector<std::uint64_t>& trackIDs);
// Rows of a new playlist, on an open Library.itdb; a vanished track is trackSelectionChanged.
void insertContainerRows(sqlite3* db, std::int64_t pid, const QString& name,
                         const std::vector<std::uint64_t>& trackIDs);

// Dynamic.itdb (user_version 0) with one of the two steps below.
using DynamicStep = std::function<void(sqlite3*, std::int64_t)>;
QByteArray writeDynamicDatabase(const QByteArray& bytes, const std::filesystem::path& tempPath,
                                std::int64_t pid, const DynamicStep& step);
void insertContainerUI(sqlite3* db, std::int64_t containerPid);
void insertItemStats(sqlite3* db, std::int64_t itemPid);

// Locations.itdb (user_version 0): the row for "F00/<fileName>" under base location 1.
QByteArray writeLocationsDatabase(const QByteArray& bytes, const std::filesystem::path& tempPath,
                                  std::int64_t itemPid, const QString& fileName,
                                  std::int64_t dateCreated, std::int64_t fileSize);

} // namespace Nano5Playlist
