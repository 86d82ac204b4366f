#pragma once

// Read-only access to an iOS device's media library: a private copy of the database and its
// write-ahead log over AFC, accepted only when the device's files did not change meanwhile, then
// one query for the songs.

#include "device/MobileDevice.h"
#include "device/MobileDeviceAFC.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace MobileDeviceMediaLibrary {

inline constexpr char databaseDevicePath[] = "/iTunes_Control/iTunes/MediaLibrary.sqlitedb";
inline constexpr char logDevicePath[] = "/iTunes_Control/iTunes/MediaLibrary.sqlitedb-wal";
inline constexpr char databaseFileName[] = "MediaLibrary.sqlitedb";
inline constexpr char logFileName[] = "MediaLibrary.sqlitedb-wal";
// Files move in reads of this size, straight to disk.
inline constexpr uint32_t readSize = 65536;

inline constexpr char songQuery[] =
    "SELECT i.item_pid, e.title, a.item_artist, b.album, g.genre, e.location, e.file_size, "
    "e.total_time_ms\n"
    "FROM item i\n"
    "JOIN item_extra e ON e.item_pid = i.item_pid\n"
    "LEFT JOIN item_artist a ON a.item_artist_pid = i.item_artist_pid\n"
    "LEFT JOIN album b ON b.album_pid = i.album_pid\n"
    "LEFT JOIN genre g ON g.genre_id = i.genre_id\n"
    "WHERE i.in_my_library = 1 AND e.media_kind = 1\n"
    "ORDER BY e.title COLLATE NOCASE, i.item_pid";

// The value of the first pair with the key; empty when there is none.
std::string afcInfoValue(const AFCFileInfo& info, std::string_view key);

// Copies one device file to a new or truncated local file; bytesCopied (when given) receives the
// number of bytes written. Stops with false when the task is cancelled.
bool copyAFCFile(MobileDeviceAFC& afc, const std::string& devicePath, const QString& localPath,
                 uint64_t* bytesCopied = nullptr);

// With earlier information: the file still has the same size and modification time. Without:
// the file still does not exist.
bool afcFileUnchanged(MobileDeviceAFC& afc, const std::string& devicePath,
                      const std::optional<AFCFileInfo>& earlier);

// Copies the database and, when the device has one, its log to the local paths; true only when
// everything was copied whole and proved unchanged.
bool copyMediaLibrary(MobileDeviceAFC& afc, const QString& databasePath, const QString& logPath);
bool copyMediaLibraryFromDevice(const QString& udid, const QString& databasePath,
                                const QString& logPath);

// Fills the local database and log paths; true when they hold a proven copy.
using Copier = std::function<bool(const QString& databasePath, const QString& logPath)>;

// The songs through a copy into a new private temporary folder, which is removed on every path.
// Throws std::system_error when the folder cannot be made.
std::optional<QList<MobileDevice::Song>> loadSongs(const Copier& copy);
std::optional<QList<MobileDevice::Song>> loadSongs(const QString& udid);

std::optional<QList<MobileDevice::Song>> querySongs(const QString& databasePath);

} // namespace MobileDeviceMediaLibrary
