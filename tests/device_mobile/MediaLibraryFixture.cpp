#include "MediaLibraryFixture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace MediaLibraryFixture {

namespace {

void exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    ASSERT_EQ(rc, SQLITE_OK) << (error ? error : "") << " in " << sql;
    sqlite3_free(error);
}

void bindText(sqlite3_stmt* statement, int index, const char* text) {
    if (text)
        sqlite3_bind_text(statement, index, text, -1, SQLITE_TRANSIENT);
    else
        sqlite3_bind_null(statement, index);
}

// Each row gets its own artist, album and genre entries, keyed by its item_pid.
void insert(sqlite3* db, const Row& row) {
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db,
                           "INSERT INTO item (item_pid, item_artist_pid, album_pid, genre_id, "
                           "in_my_library) VALUES (?1, ?1, ?1, ?1, ?2)",
                           -1, &statement, nullptr),
        SQLITE_OK);
    sqlite3_bind_int64(statement, 1, row.itemPid);
    sqlite3_bind_int(statement, 2, row.inMyLibrary);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_DONE);
    sqlite3_finalize(statement);

    ASSERT_EQ(sqlite3_prepare_v2(db,
                                 "INSERT INTO item_extra (item_pid, title, location, file_size, "
                                 "total_time_ms, media_kind) VALUES (?, ?, ?, ?, ?, ?)",
                                 -1, &statement, nullptr),
              SQLITE_OK);
    sqlite3_bind_int64(statement, 1, row.itemPid);
    bindText(statement, 2, row.title);
    bindText(statement, 3, row.location);
    sqlite3_bind_int64(statement, 4, row.fileSize);
    if (row.totalTimeMs)
        sqlite3_bind_double(statement, 5, *row.totalTimeMs);
    else
        sqlite3_bind_null(statement, 5);
    sqlite3_bind_int(statement, 6, row.mediaKind);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_DONE);
    sqlite3_finalize(statement);

    const std::pair<const char*, const char*> names[] = {
        {"INSERT INTO item_artist (item_artist_pid, item_artist) VALUES (?, ?)", row.artist},
        {"INSERT INTO album (album_pid, album) VALUES (?, ?)", row.album},
        {"INSERT INTO genre (genre_id, genre) VALUES (?, ?)", row.genre},
    };
    for (const auto& [sql, value] : names) {
        ASSERT_EQ(sqlite3_prepare_v2(db, sql, -1, &statement, nullptr), SQLITE_OK);
        sqlite3_bind_int64(statement, 1, row.itemPid);
        bindText(statement, 2, value);
        ASSERT_EQ(sqlite3_step(statement), SQLITE_DONE);
        sqlite3_finalize(statement);
    }
}

} // namespace

void writeDeviceLibrary(const QString& folder, const std::vector<Row>& checkpointed,
                        const std::vector<Row>& logged, int paddingRows) {
    const QString deviceDir = folder + QStringLiteral("/iTunes_Control/iTunes");
    const QString scratchDir = folder + QStringLiteral("/scratch");
    ASSERT_TRUE(QDir().mkpath(deviceDir));
    ASSERT_TRUE(QDir().mkpath(scratchDir));
    const QString scratch = scratchDir + QStringLiteral("/MediaLibrary.sqlitedb");

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(scratch).constData(), &db), SQLITE_OK);
    exec(db, "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
             "CREATE TABLE item (item_pid INTEGER PRIMARY KEY, item_artist_pid INTEGER,"
             " album_pid INTEGER, genre_id INTEGER, in_my_library INTEGER);"
             "CREATE TABLE item_extra (item_pid INTEGER PRIMARY KEY, title TEXT, location TEXT,"
             " file_size INTEGER, total_time_ms REAL, media_kind INTEGER);"
             "CREATE TABLE item_artist (item_artist_pid INTEGER PRIMARY KEY, item_artist TEXT);"
             "CREATE TABLE album (album_pid INTEGER PRIMARY KEY, album TEXT);"
             "CREATE TABLE genre (genre_id INTEGER PRIMARY KEY, genre TEXT);");
    exec(db, "BEGIN");
    for (const Row& row : checkpointed)
        insert(db, row);
    const std::string padding(1000, 'x');
    for (int i = 0; i < paddingRows; ++i) {
        Row row;
        row.itemPid = 1000000 + i;
        row.title = padding.c_str();
        row.mediaKind = 2;
        insert(db, row);
    }
    exec(db, "COMMIT; PRAGMA wal_checkpoint(TRUNCATE);");
    if (!logged.empty()) {
        exec(db, "BEGIN");
        for (const Row& row : logged)
            insert(db, row);
        exec(db, "COMMIT");
    }
    // Copied while the connection is open, so that the log keeps its rows.
    ASSERT_TRUE(QFile::copy(scratch, deviceDir + QStringLiteral("/MediaLibrary.sqlitedb")));
    if (!logged.empty()) {
        ASSERT_TRUE(QFile::copy(scratch + QStringLiteral("-wal"),
                                deviceDir + QStringLiteral("/MediaLibrary.sqlitedb-wal")));
    }
    sqlite3_close(db);
    ASSERT_TRUE(QDir(scratchDir).removeRecursively());
}

LocalAFC::~LocalAFC() {
    for (const auto& [handle, fd] : files)
        ::close(fd);
}

QString LocalAFC::localPath(const std::string& devicePath) const {
    return root + QString::fromStdString(devicePath);
}

int LocalAFC::fileInfo(const std::string& path, std::optional<AFCFileInfo>& info) {
    info.reset();
    struct stat st {};
    if (::stat(QFile::encodeName(localPath(path)).constData(), &st) != 0)
        return errno == ENOENT ? objectNotFound : ioError;
    const auto nanoseconds = [](const timespec& t) {
        return std::to_string(static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec);
    };
    info = AFCFileInfo{
        {"st_size", std::to_string(st.st_size)},   {"st_blocks", std::to_string(st.st_blocks)},
        {"st_nlink", std::to_string(st.st_nlink)}, {"st_ifmt", "S_IFREG"},
        {"st_mtime", nanoseconds(st.st_mtim)},     {"st_birthtime", nanoseconds(st.st_ctim)}};
    return success;
}

int LocalAFC::openForReading(const std::string& path, uint64_t& handle) {
    const int fd = ::open(QFile::encodeName(localPath(path)).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? objectNotFound : ioError;
    handle = nextHandle++;
    files[handle] = fd;
    return success;
}

int LocalAFC::read(uint64_t handle, char* data, uint32_t length, uint32_t& bytesRead) {
    bytesRead = 0;
    ++reads;
    if (beforeRead) {
        if (const int status = beforeRead(reads))
            return status;
    }
    if (reads == endEarlyAtRead)
        return success;
    const auto it = files.find(handle);
    if (it == files.end())
        return 7;
    const ssize_t n = ::read(it->second, data, length);
    if (n < 0)
        return ioError;
    bytesRead = static_cast<uint32_t>(n);
    return n == 0 ? endOfData : success;
}

int LocalAFC::close(uint64_t handle) {
    const auto it = files.find(handle);
    if (it == files.end())
        return 7;
    ::close(it->second);
    files.erase(it);
    return success;
}

} // namespace MediaLibraryFixture
