#include "platform/ScratchFolder.h"

#include "platform/OwnedFd.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

QString absoluteFromEnvironment(const char* name) {
    const QString value = qEnvironmentVariable(name);
    return QDir::isAbsolutePath(value) ? QDir::cleanPath(value) : QString();
}

// Lorvanel's folder in the user's cache folder, made (private) when missing.
QString cacheFolder() {
    QString cache = absoluteFromEnvironment("XDG_CACHE_HOME");
    if (cache.isEmpty()) {
        const QString home = absoluteFromEnvironment("HOME");
        if (home.isEmpty())
            return {};
        cache = home + QStringLiteral("/.cache");
    }
    const QString own = cache + QStringLiteral("/Lorvanel");
    ::mkdir(QFile::encodeName(cache).constData(), 0700);
    ::mkdir(QFile::encodeName(own).constData(), 0700);
    return own;
}

bool isFull(int error) {
    return error == ENOSPC || error == EDQUOT;
}

// A folder made where the file system holds no more (a full tmpfs takes one) is no use: the
// room is written once, then given back. 0 when it was, else the error that stopped it.
int writeRoom(const fs::path& folder, qint64 roomBytes) {
    if (roomBytes <= 0)
        return 0;
    const fs::path probe = folder / ".room";
    const int fd =
        ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    OwnedFd file(fd);
    const QByteArray zeros(qsizetype(std::min<qint64>(roomBytes, qint64(64) << 10)), '\0');
    int error = 0;
    for (qint64 done = 0; error == 0 && done < roomBytes; done += zeros.size()) {
        const qint64 chunk = std::min<qint64>(zeros.size(), roomBytes - done);
        try {
            file.writeAllAt(done, zeros.left(qsizetype(chunk)));
        } catch (const std::system_error& failure) {
            error = failure.code().value();
        }
    }
    if (!file.tryClose() && error == 0)
        error = errno;
    ::unlink(probe.c_str());
    return error;
}

} // namespace

ScratchFolder::ScratchFolder(const QString& prefix, qint64 roomBytes) {
    // Empty when TMPDIR names no folder (the pattern would then land in the root folder).
    if (const QString temporary = QDir::tempPath();
        !temporary.isEmpty() && makeIn(temporary, prefix, roomBytes))
        return;
    if (const QString runtime = absoluteFromEnvironment("XDG_RUNTIME_DIR");
        !runtime.isEmpty() && makeIn(runtime, prefix, roomBytes))
        return;
    // Made only now, so that a usable temporary folder leaves the cache folder alone.
    if (const QString cache = cacheFolder(); !cache.isEmpty())
        makeIn(cache, prefix, roomBytes);
}

bool ScratchFolder::makeIn(const QString& place, const QString& prefix, qint64 roomBytes) {
    QByteArray pattern =
        QFile::encodeName(place + QLatin1Char('/') + prefix + QStringLiteral("-XXXXXX"));
    const char* made = ::mkdtemp(pattern.data()); // mode 0700
    int error = made ? writeRoom(fs::path(made), roomBytes) : errno;
    if (error == 0) {
        path_ = fs::path(made);
        return true;
    }
    if (made) {
        std::error_code ignored;
        fs::remove_all(fs::path(made), ignored);
    }
    refusals_.append({place, isFull(error) ? Refusal::Reason::full : Refusal::Reason::unwritable});
    return false;
}

ScratchFolder::~ScratchFolder() {
    if (!path_.empty()) {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
}

QString ScratchFolder::pathText() const {
    return QFile::decodeName(QByteArray::fromStdString(path_.string()));
}
