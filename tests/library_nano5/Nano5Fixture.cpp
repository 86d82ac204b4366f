#include "Nano5Fixture.h"

#include <gpod/itdb.h>
#include <sqlite3.h>
#include <zlib.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace fs = std::filesystem;

namespace Nano5Fixture {

namespace {

struct ItdbFree {
    void operator()(Itdb_iTunesDB* db) const { itdb_free(db); }
};

void putUInt32(QByteArray& bytes, qsizetype offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

const char* schema = R"sql(
CREATE TABLE artist (pid INTEGER PRIMARY KEY, kind INTEGER, name TEXT, name_order INTEGER,
    sort_name TEXT, has_songs INTEGER, is_unknown INTEGER DEFAULT 0);
CREATE TABLE track_artist (pid INTEGER PRIMARY KEY, name TEXT, name_order INTEGER,
    sort_name TEXT, has_songs INTEGER, has_non_compilation_tracks INTEGER,
    is_unknown INTEGER DEFAULT 0);
CREATE TABLE album (pid INTEGER PRIMARY KEY, kind INTEGER, artist_pid INTEGER, name TEXT,
    name_order INTEGER, artist_order INTEGER, sort_name TEXT, has_songs INTEGER,
    artist_count_calc INTEGER);
CREATE TABLE item (pid INTEGER PRIMARY KEY, revision_level INTEGER, media_kind INTEGER,
    is_song INTEGER, date_modified INTEGER, total_time_ms INTEGER, title TEXT, artist TEXT,
    album TEXT, album_artist TEXT, artist_pid INTEGER, track_artist_pid INTEGER,
    album_pid INTEGER, artist_order INTEGER, album_order INTEGER, album_artist_order INTEGER,
    title_order INTEGER, physical_order INTEGER);
CREATE TABLE container (pid INTEGER PRIMARY KEY, distinguished_kind INTEGER,
    date_created INTEGER, date_modified INTEGER, name TEXT, name_order INTEGER,
    parent_pid INTEGER, media_kinds INTEGER, workout_template_id INTEGER, is_hidden INTEGER,
    smart_is_folder INTEGER);
CREATE TABLE item_to_container (item_pid INTEGER, container_pid INTEGER,
    physical_order INTEGER, shuffle_order INTEGER);
CREATE TABLE avformat_info (item_pid INTEGER PRIMARY KEY, audio_format INTEGER,
    bit_rate INTEGER, channels INTEGER, sample_rate INTEGER, duration INTEGER);
)sql";

} // namespace

TempFolder::TempFolder()
    : TempFolder(QDir::tempPath()) {
}

TempFolder::TempFolder(const QString& base) {
    QTemporaryDir dir(base + QStringLiteral("/nano5-XXXXXX"));
    dir.setAutoRemove(false);
    if (!dir.isValid())
        throw std::runtime_error("no temporary folder");
    path_ = dir.path().toStdString();
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

QString memoryTempBase() {
    const QString shm = QStringLiteral("/dev/shm");
    return QFileInfo(shm).isDir() && QFileInfo(shm).isWritable() ? shm : QDir::tempPath();
}

void writeFile(const fs::path& path, const QByteArray& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.constData(), bytes.size());
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

QByteArray readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return QByteArray::fromStdString(
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

QByteArray cdbFromITunesDB(const QByteArray& itunesDB) {
    QByteArray header = itunesDB.first(244);
    const QByteArray payload = itunesDB.sliced(244);
    putUInt32(header, 16, 117);
    header[48] = 1;
    header[49] = 0;
    header[168] = 1;
    uLongf length = compressBound(static_cast<uLong>(payload.size()));
    QByteArray compressed(static_cast<qsizetype>(length), '\0');
    if (compress2(reinterpret_cast<Bytef*>(compressed.data()), &length,
                  reinterpret_cast<const Bytef*>(payload.constData()),
                  static_cast<uLong>(payload.size()), 6) != Z_OK)
        throw std::runtime_error("compress failed");
    compressed.truncate(static_cast<qsizetype>(length));
    QByteArray cdb = header + compressed;
    putUInt32(cdb, 8, static_cast<std::uint32_t>(cdb.size()));
    return cdb;
}

Library makeLibrary(int trackCount) {
    std::unique_ptr<Itdb_iTunesDB, ItdbFree> db(itdb_new());
    Itdb_Playlist* master = itdb_playlist_new("Nano", FALSE);
    itdb_playlist_set_mpl(master);
    itdb_playlist_add(db.get(), master, -1);
    Itdb_Playlist* road = itdb_playlist_new("Road Trip", FALSE);
    itdb_playlist_add(db.get(), road, -1);
    Library library;
    for (int i = 0; i < trackCount; ++i) {
        Itdb_Track* track = itdb_track_new();
        track->title = g_strdup_printf("Song %d", i);
        track->artist = g_strdup("Artist");
        track->album = g_strdup("Album");
        track->filetype = g_strdup("MPEG audio file");
        track->filetype_marker = 0x4D503320;
        track->ipod_path = g_strdup_printf(":iPod_Control:Music:F00:%08X.mp3", 0x1000 + i);
        track->mediatype = 1;
        track->size = 4000;
        track->tracklen = 3000;
        track->samplerate = 44100;
        itdb_track_add(db.get(), track, -1);
        itdb_playlist_add_track(master, track, -1);
        itdb_playlist_add_track(road, track, 0);
        library.trackIDs.push_back(track->dbid);
    }
    library.masterID = master->id;
    library.playlistID = road->id;

    TempFolder folder;
    const fs::path file = folder.path() / "iTunesDB";
    GError* error = nullptr;
    if (!itdb_write_file(db.get(), file.c_str(), &error)) {
        const std::string message = error ? error->message : "unknown";
        g_clear_error(&error);
        throw std::runtime_error("libgpod write failed: " + message);
    }
    library.cdb = cdbFromITunesDB(readFile(file));
    return library;
}

QByteArray sysInfoExtended(const QString& fireWireGUID) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                          "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                          "<plist version=\"1.0\"><dict>\n"
                          "<key>FamilyID</key><integer>16</integer>\n"
                          "<key>DBVersion</key><integer>3</integer>\n"
                          "<key>SQLiteDB</key><true/>\n"
                          "<key>SerialNumber</key><string>5U8431Z871V</string>\n"
                          "<key>FireWireGUID</key><string>%1</string>\n"
                          "</dict></plist>\n")
        .arg(fireWireGUID)
        .toUtf8();
}

QByteArray withSQL(const QByteArray& database, const char* sql) {
    TempFolder folder;
    const fs::path file = folder.path() / "db";
    if (!database.isEmpty())
        writeFile(file, database);
    sqlite3* raw = nullptr;
    sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    char* message = nullptr;
    if (sqlite3_exec(db.get(), sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message ? message : "?";
        sqlite3_free(message);
        throw std::runtime_error("SQL failed: " + text);
    }
    db.reset();
    return readFile(file);
}

std::vector<QString> query(const QByteArray& database, const char* sql) {
    TempFolder folder;
    const fs::path file = folder.path() / "db";
    writeFile(file, database);
    sqlite3* raw = nullptr;
    sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
    sqlite3_stmt* rawStatement = nullptr;
    if (sqlite3_prepare_v2(db.get(), sql, -1, &rawStatement, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("bad query: ") + sqlite3_errmsg(db.get()));
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(rawStatement, sqlite3_finalize);
    std::vector<QString> rows;
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
        QStringList columns;
        for (int i = 0; i < sqlite3_column_count(statement.get()); ++i) {
            const auto* text =
                reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), i));
            columns << (text ? QString::fromUtf8(text) : QStringLiteral("NULL"));
        }
        rows.push_back(columns.join(u'|'));
    }
    return rows;
}

QByteArray emptyLibraryDatabase(int userVersion) {
    const std::string sql =
        std::string(schema) + "PRAGMA user_version = " + std::to_string(userVersion) + ";";
    return withSQL({}, sql.c_str());
}

QByteArray emptyDynamicDatabase() {
    return withSQL({}, "CREATE TABLE container_ui (container_pid INTEGER PRIMARY KEY, "
                       "play_order INTEGER, is_reversed INTEGER, album_field_order INTEGER, "
                       "repeat_mode INTEGER, shuffle_items INTEGER, has_been_shuffled INTEGER);"
                       "CREATE TABLE item_stats (item_pid INTEGER PRIMARY KEY, play_count_user "
                       "INTEGER DEFAULT 0);");
}

QByteArray emptyLocationsDatabase(const char* basePath) {
    const std::string sql =
        std::string("PRAGMA page_size = 1024;"
                    "CREATE TABLE base_location (id INTEGER PRIMARY KEY, path TEXT);"
                    "CREATE TABLE location (item_pid INTEGER PRIMARY KEY, base_location_id "
                    "INTEGER, location_type INTEGER, location TEXT, extension INTEGER, kind_id "
                    "INTEGER, date_created INTEGER, file_size INTEGER);"
                    "INSERT INTO base_location VALUES (1, '") +
        basePath + "');";
    return withSQL({}, sql.c_str());
}

} // namespace Nano5Fixture
