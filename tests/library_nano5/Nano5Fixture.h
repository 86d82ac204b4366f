#pragma once

// A fifth-generation nano test volume made from libgpod's own output: libgpod writes a small
// iTunesDB with a blank device, which is turned into an iTunesCDB (compressed payload and the
// nano's header words); beside it a SysInfoExtended and SQLite databases with the tables the
// writer touches.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <vector>

namespace Nano5Fixture {

struct Library {
    QByteArray cdb;
    std::uint64_t masterID = 0;
    std::uint64_t playlistID = 0;        // "Road Trip", holding the tracks in reverse order
    std::vector<std::uint64_t> trackIDs; // dbids in master-playlist order
};

// trackCount MP3 tracks, the master playlist and one user playlist.
Library makeLibrary(int trackCount);

// Uncompressed libgpod iTunesDB bytes turned into a nano iTunesCDB.
QByteArray cdbFromITunesDB(const QByteArray& itunesDB);

QByteArray sysInfoExtended(const QString& fireWireGUID = QStringLiteral("000A27001A2B3C4D"));

// Empty databases with the writer's tables.
QByteArray emptyLibraryDatabase(int userVersion = 26);
QByteArray emptyDynamicDatabase();
QByteArray emptyLocationsDatabase(const char* basePath = "iPod_Control/Music");

// Runs SQL on database bytes and returns the new bytes (for setting up rows).
QByteArray withSQL(const QByteArray& database, const char* sql);
// The rows of a query, each row's columns joined with "|".
std::vector<QString> query(const QByteArray& database, const char* sql);

void writeFile(const std::filesystem::path& path, const QByteArray& bytes);
QByteArray readFile(const std::filesystem::path& path);

// A memory file system for tests that flush hundreds of times, when there is one.
QString memoryTempBase();

// A private folder under the test's temporary directory (or under base), removed on
// destruction.
class TempFolder {
public:
    TempFolder();
    explicit TempFolder(const QString& base);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace Nano5Fixture
