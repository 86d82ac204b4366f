#include "device/MobileDeviceMediaLibrary.h"

#include "library/SQLiteHandles.h"
#include "platform/OwnedFd.h"
#include "platform/Task.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include <sqlite3.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <memory>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace MobileDeviceMediaLibrary {

namespace {

// Closes the device file whatever happens to the copy.
class DeviceFile {
public:
    DeviceFile(MobileDeviceAFC& afc, uint64_t handle)
        : afc(afc)
        , handle(handle) {}
    DeviceFile(const DeviceFile&) = delete;
    DeviceFile& operator=(const DeviceFile&) = delete;
    ~DeviceFile() { afc.close(handle); }

private:
    MobileDeviceAFC& afc;
    uint64_t handle;
};

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

std::optional<uint64_t> parseSize(const std::string& text) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// A copy whose byte count differs from what the device reported is incomplete, even when the
// service ended the reads without an error.
bool copiedWhole(const AFCFileInfo& info, uint64_t bytesCopied) {
    const auto size = parseSize(afcInfoValue(info, "st_size"));
    return size && *size == bytesCopied;
}

QString textColumn(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    if (!text)
        return {};
    return QString::fromUtf8(text, sqlite3_column_bytes(statement, column));
}

// The extension of the location's last path component, upper-cased.
QString formatOfLocation(const QString& location) {
    const QString fileName = location.section(u'/', -1);
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot <= 0)
        return {};
    return fileName.mid(dot + 1).toUpper();
}

double durationSeconds(double milliseconds) {
    const double seconds = milliseconds / 1000;
    if (std::isnan(seconds) || seconds < 0 || seconds > 2147483647.0)
        return 0;
    return seconds;
}

// Removes the folder and everything in it when the load ends, whichever way.
class TemporaryFolder {
public:
    TemporaryFolder() {
        // Empty when TMPDIR names a folder that does not exist: never fall back to "/".
        const QString base = QDir::tempPath();
        if (base.isEmpty()) {
            throw std::system_error(ENOENT, std::generic_category(),
                                    "The temporary folder does not exist");
        }
        path = base + u'/' + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        const QByteArray encoded = QFile::encodeName(path);
        if (::mkdir(encoded.constData(), 0700) != 0) {
            throw std::system_error(errno, std::generic_category(),
                                    "Could not create the folder " + encoded.toStdString());
        }
        created = true;
        // The umask may have taken away our own access; nobody else gets any.
        if (::chmod(encoded.constData(), 0700) != 0) {
            const int error = errno;
            remove();
            throw std::system_error(error, std::generic_category(),
                                    "Could not set the permissions of " + encoded.toStdString());
        }
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder() { remove(); }

    QString path;

private:
    void remove() {
        if (!created)
            return;
        created = false;
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(QFile::encodeName(path).toStdString()),
                                    ignored);
    }
    bool created = false;
};

} // namespace

std::string afcInfoValue(const AFCFileInfo& info, std::string_view key) {
    for (const auto& [name, value] : info) {
        if (name == key)
            return value;
    }
    return {};
}

bool copyAFCFile(MobileDeviceAFC& afc, const std::string& devicePath, const QString& localPath,
                 uint64_t* bytesCopied) {
    if (bytesCopied)
        *bytesCopied = 0;
    uint64_t handle = 0;
    if (afc.openForReading(devicePath, handle) != MobileDeviceAFC::success)
        return false;
    DeviceFile deviceFile(afc, handle);

    OwnedFd local(::open(QFile::encodeName(localPath).constData(),
                         O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!local.isValid())
        return false;

    auto buffer = std::make_unique<char[]>(readSize);
    uint64_t total = 0;
    int status = MobileDeviceAFC::success;
    for (;;) {
        if (Task::isCancelled()) {
            status = MobileDeviceAFC::ioError;
            break;
        }
        uint32_t bytesRead = 0;
        status = afc.read(handle, buffer.get(), readSize, bytesRead);
        if (status != MobileDeviceAFC::success || bytesRead == 0)
            break;
        if (bytesRead > readSize || !writeAll(local.get(), buffer.get(), bytesRead)) {
            status = MobileDeviceAFC::ioError;
            break;
        }
        total += bytesRead;
    }
    if (bytesCopied)
        *bytesCopied = total;
    const bool closed = local.tryClose();
    return closed && (status == MobileDeviceAFC::success || status == MobileDeviceAFC::endOfData);
}

bool afcFileUnchanged(MobileDeviceAFC& afc, const std::string& devicePath,
                      const std::optional<AFCFileInfo>& earlier) {
    std::optional<AFCFileInfo> now;
    const int status = afc.fileInfo(devicePath, now);
    if (!earlier)
        return status == MobileDeviceAFC::objectNotFound;
    if (status != MobileDeviceAFC::success || !now)
        return false;
    // Values the device did not report prove nothing.
    for (const char* key : {"st_size", "st_mtime"}) {
        const std::string before = afcInfoValue(*earlier, key);
        if (before.empty() || before != afcInfoValue(*now, key))
            return false;
    }
    return true;
}

bool copyMediaLibrary(MobileDeviceAFC& afc, const QString& databasePath, const QString& logPath) {
    std::optional<AFCFileInfo> databaseInfo;
    if (afc.fileInfo(databaseDevicePath, databaseInfo) != MobileDeviceAFC::success || !databaseInfo)
        return false;
    std::optional<AFCFileInfo> logInfo;
    const int logStatus = afc.fileInfo(logDevicePath, logInfo);
    if (logStatus == MobileDeviceAFC::objectNotFound)
        logInfo.reset();
    else if (logStatus != MobileDeviceAFC::success || !logInfo)
        return false;

    uint64_t copied = 0;
    if (!copyAFCFile(afc, databaseDevicePath, databasePath, &copied) ||
        !copiedWhole(*databaseInfo, copied))
        return false;
    if (logInfo &&
        (!copyAFCFile(afc, logDevicePath, logPath, &copied) || !copiedWhole(*logInfo, copied)))
        return false;

    return afcFileUnchanged(afc, databaseDevicePath, databaseInfo) &&
           afcFileUnchanged(afc, logDevicePath, logInfo);
}

bool copyMediaLibraryFromDevice(const QString& udid, const QString& databasePath,
                                const QString& logPath) {
    const auto afc = MobileDeviceAFC::connect(udid.toUtf8().constData());
    return afc && copyMediaLibrary(*afc, databasePath, logPath);
}

std::optional<QList<MobileDevice::Song>> loadSongs(const Copier& copy) {
    const TemporaryFolder folder;
    const QString databasePath = folder.path + u'/' + QLatin1String(databaseFileName);
    const QString logPath = folder.path + u'/' + QLatin1String(logFileName);
    if (!copy(databasePath, logPath))
        return std::nullopt;
    return querySongs(databasePath);
}

std::optional<QList<MobileDevice::Song>> loadSongs(const QString& udid) {
    return loadSongs([&udid](const QString& databasePath, const QString& logPath) {
        return copyMediaLibraryFromDevice(udid, databasePath, logPath);
    });
}

std::optional<QList<MobileDevice::Song>> querySongs(const QString& databasePath) {
    sqlite3* rawDatabase = nullptr;
    const int opened = sqlite3_open_v2(QFile::encodeName(databasePath).constData(), &rawDatabase,
                                       SQLITE_OPEN_READONLY, nullptr);
    SQLiteHandles::DatabasePtr database(rawDatabase);
    if (opened != SQLITE_OK)
        return std::nullopt;
    // The database came from a device: its schema gets no trust and cannot damage the file.
    sqlite3_db_config(database.get(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(database.get(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);

    sqlite3_stmt* rawStatement = nullptr;
    if (sqlite3_prepare_v2(database.get(), songQuery, -1, &rawStatement, nullptr) != SQLITE_OK)
        return std::nullopt;
    SQLiteHandles::StatementPtr statement(rawStatement);

    QList<MobileDevice::Song> songs;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(statement.get())) == SQLITE_ROW) {
        if (Task::isCancelled())
            return std::nullopt;
        MobileDevice::Song song;
        song.id = sqlite3_column_int64(statement.get(), 0);
        song.title = textColumn(statement.get(), 1);
        song.artist = textColumn(statement.get(), 2);
        song.album = textColumn(statement.get(), 3);
        song.genre = textColumn(statement.get(), 4).trimmed();
        song.format = formatOfLocation(textColumn(statement.get(), 5));
        song.sizeBytes = sqlite3_column_int64(statement.get(), 6);
        song.duration = durationSeconds(sqlite3_column_double(statement.get(), 7));
        songs.append(std::move(song));
    }
    if (step != SQLITE_DONE)
        return std::nullopt;
    return songs;
}

} // namespace MobileDeviceMediaLibrary
