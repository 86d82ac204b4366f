#include "library/Nano5Playlist.h"

#include "library/IPodDatabaseError.h"
#include "platform/OwnedFd.h"

#include <QFile>

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString itunesFolder(const QString& mountPoint) {
    return mountPoint + QStringLiteral("/iPod_Control/iTunes/");
}

bool entryExists(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

bool fileExists(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0;
}

[[noreturn]] void throwErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

namespace Nano5Playlist {

const QStringList& databaseFiles() {
    static const QStringList files = [] {
        QStringList names{QStringLiteral("iTunesCDB"),
                          QStringLiteral("iTunes Library.itlp/Library.itdb"),
                          QStringLiteral("iTunes Library.itlp/Dynamic.itdb")};
        names << QStringLiteral("iTunes Library.itlp/Locations.itdb")
              << QStringLiteral("iTunes Library.itlp/Locations.itdb.cbk");
        return names;
    }();
    return files;
}

QByteArray readDatabaseFile(const QString& path) {
    const QByteArray encoded = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(encoded.constData(), &info) != 0)
        throwErrno("lstat");
    if (!S_ISREG(info.st_mode))
        throw IPodDatabaseError::unsupportedDatabase();
    for (const char* sidecar : {"-wal", "-shm", "-journal"}) {
        if (entryExists(path + QLatin1String(sidecar)))
            throw IPodDatabaseError::unsupportedDatabase();
    }
    // O_NOFOLLOW and a second look at the open file close the gap between check and read.
    OwnedFd file(::open(encoded.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.isValid()) {
        if (errno == ELOOP)
            throw IPodDatabaseError::unsupportedDatabase();
        throwErrno("open");
    }
    struct stat opened {};
    if (::fstat(file.get(), &opened) != 0)
        throwErrno("fstat");
    if (!S_ISREG(opened.st_mode) || opened.st_ino != info.st_ino || opened.st_dev != info.st_dev)
        throw IPodDatabaseError::unsupportedDatabase();
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(opened.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throwErrno("read");
        }
        if (got == 0)
            break;
        bytes.append(buffer, static_cast<qsizetype>(got));
    }
    return bytes;
}

std::optional<QByteArray> databaseSnapshot(const QString& mountPoint) {
    const QString folder = itunesFolder(mountPoint);
    if (!fileExists(folder + databaseFiles()[1]) || !fileExists(folder + databaseFiles()[2]))
        return std::nullopt;
    try {
        return readDatabaseFile(folder + databaseFiles()[0]);
    } catch (...) {
        return std::nullopt; // an unreadable library offers no snapshot; a write reads it again
    }
}

bool canImport(const QString& mountPoint) {
    const QString folder = itunesFolder(mountPoint);
    for (const QString& name : databaseFiles()) {
        if (!fileExists(folder + name))
            return false;
    }
    return true;
}

} // namespace Nano5Playlist
