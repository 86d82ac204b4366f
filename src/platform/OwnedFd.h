#pragma once

// The one owner of a POSIX file descriptor: closed on every path, or closed on purpose where a
// late write error must be seen. Also the few whole-buffer reads and writes the tag writers
// need (EINTR retried, short transfers continued).

#include <QByteArray>
#include <QString>

#include <sys/types.h>

class OwnedFd {
public:
    OwnedFd() = default;
    explicit OwnedFd(int fd)
        : fd_(fd) {}
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    OwnedFd(OwnedFd&& other) noexcept
        : fd_(other.release()) {}
    OwnedFd& operator=(OwnedFd&& other) noexcept;
    ~OwnedFd();

    // Opens path with the given flags (O_CLOEXEC is always added); throws std::system_error
    // carrying errno and the path on failure.
    static OwnedFd open(const QString& path, int flags, mode_t mode = 0);

    int get() const { return fd_; }
    bool isValid() const { return fd_ >= 0; }
    int release();
    // Closes now without looking at the result (nothing was written, or a failure is already
    // being reported), and takes fd instead.
    void reset(int fd = -1);
    // Closes now and reports close's own failure (write-back errors surface here).
    void close();
    // The same without throwing: false, with errno set, when close failed.
    bool tryClose();

    // Reads up to count bytes from the current position; fewer only at the end of the file.
    QByteArray readUpTo(qint64 count);
    // Reads up to count bytes at offset without moving the position.
    QByteArray readAt(qint64 offset, qint64 count);
    // Writes all of data at offset; throws std::system_error on failure.
    void writeAllAt(qint64 offset, const QByteArray& data);

private:
    int fd_ = -1;
    QString path_;
};

// Whole transfers on a descriptor of a pipe or socket (EINTR retried, short transfers
// continued): false when a call failed or the other end is gone.
namespace DescriptorIO {
bool writeAll(int fd, const QByteArray& bytes);
bool readExactly(int fd, char* buffer, qsizetype size);
} // namespace DescriptorIO
