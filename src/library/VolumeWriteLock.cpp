#include "library/VolumeWriteLock.h"

#include "library/IPodDatabaseError.h"
#include "platform/OwnedFd.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// This process's holds: the descriptor that carries the lock, and how many share it. A flock
// belongs to one open file, so a second open of the same root in this process would be kept
// out like another process: every hold of a volume goes through its one entry.
struct Hold {
    int fd = -1;
    int count = 0;
};

std::mutex holdsMutex;

// Never destroyed: a hold may still end while the process exits.
std::map<VolumeWriteLock::Volume, Hold>& holds() {
    static auto* const entries = new std::map<VolumeWriteLock::Volume, Hold>();
    return *entries;
}

[[noreturn]] void throwFailure(const QString& operation, int error) {
    throw IPodDatabaseError::library(operation, QString::fromLocal8Bit(std::strerror(error)));
}

std::optional<VolumeWriteLock::Volume> volumeOf(const QString& mountPoint) {
    struct stat info {};
    if (::stat(QFile::encodeName(mountPoint).constData(), &info) != 0)
        return std::nullopt;
    return VolumeWriteLock::Volume{info.st_dev, info.st_ino};
}

} // namespace

VolumeWriteLock::VolumeWriteLock(const QString& mountPoint) {
    // Opened outside the registry's lock: a stalled volume keeps only its own caller waiting.
    int descriptor;
    do {
        descriptor =
            ::open(QFile::encodeName(mountPoint).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) // a root folder that cannot be opened cannot be read either
        throwFailure(LZ("Read library"), errno);
    OwnedFd fd(descriptor);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        throwFailure(LZ("Read library"), errno);
    volume = {info.st_dev, info.st_ino};

    const std::lock_guard lock(holdsMutex);
    const auto found = holds().find(volume);
    if (found != holds().end()) {
        ++found->second.count;
        return; // this descriptor closes without touching the lock, which is the entry's
    }
    int locked;
    do {
        locked = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        if (errno == EWOULDBLOCK)
            throw IPodDatabaseError::deviceInUse();
        throwFailure(LZ("Save library"), errno);
    }
    holds().emplace(volume, Hold{fd.release(), 1});
}

VolumeWriteLock::~VolumeWriteLock() {
    const std::lock_guard lock(holdsMutex);
    const auto found = holds().find(volume);
    if (found == holds().end() || --found->second.count > 0)
        return;
    // Closed while the registry is locked: a hold taken right after must find the lock free.
    ::close(found->second.fd);
    holds().erase(found);
}

bool VolumeWriteLock::isHeld(const QString& mountPoint) {
    const std::optional<Volume> volume = volumeOf(mountPoint);
    if (!volume)
        return false;
    const std::lock_guard lock(holdsMutex);
    return holds().contains(*volume);
}
