#include "platform/OwnedFd.h"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace {

[[noreturn]] void throwErrno(int error, const QString& path) {
    throw std::system_error(error, std::generic_category(), path.toStdString());
}

} // namespace

OwnedFd& OwnedFd::operator=(OwnedFd&& other) noexcept {
    if (this != &other) {
        path_ = std::move(other.path_);
        reset(other.release());
    }
    return *this;
}

OwnedFd::~OwnedFd() {
    reset();
}

void OwnedFd::reset(int fd) {
    if (fd_ >= 0 && fd_ != fd)
        ::close(fd_);
    fd_ = fd;
}

OwnedFd OwnedFd::open(const QString& path, int flags, mode_t mode) {
    const QByteArray native = path.toUtf8();
    int fd;
    do {
        fd = ::open(native.constData(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throwErrno(errno, path);
    OwnedFd result(fd);
    result.path_ = path;
    return result;
}

int OwnedFd::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void OwnedFd::close() {
    if (!tryClose())
        throwErrno(errno, path_);
}

bool OwnedFd::tryClose() {
    if (fd_ < 0)
        return true;
    // Linux frees the descriptor even when close fails, so it must not be retried.
    return ::close(release()) == 0 || errno == EINTR;
}

// Reads until count bytes or the end of the file; at the current position when offset < 0.
static QByteArray readFully(int fd, qint64 offset, qint64 count, const QString& path) {
    QByteArray data;
    data.resize(count);
    qint64 done = 0;
    while (done < count) {
        char* into = data.data() + done;
        const size_t want = size_t(count - done);
        const ssize_t n =
            offset < 0 ? ::read(fd, into, want) : ::pread(fd, into, want, offset + done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throwErrno(errno, path);
        }
        if (n == 0)
            break;
        done += n;
    }
    data.resize(done);
    return data;
}

QByteArray OwnedFd::readUpTo(qint64 count) {
    return readFully(fd_, -1, count, path_);
}

QByteArray OwnedFd::readAt(qint64 offset, qint64 count) {
    if (offset < 0)
        throwErrno(EINVAL, path_);
    return readFully(fd_, offset, count, path_);
}

void OwnedFd::writeAllAt(qint64 offset, const QByteArray& data) {
    qint64 done = 0;
    while (done < data.size()) {
        const ssize_t n =
            ::pwrite(fd_, data.constData() + done, size_t(data.size() - done), offset + done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throwErrno(errno, path_);
        }
        done += n;
    }
}

namespace DescriptorIO {

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

bool readExactly(int fd, char* buffer, qsizetype size) {
    qsizetype done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer + done, size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace DescriptorIO
