#include "transfer/ChunkedCopy.h"

#include "library/IPodDatabaseError.h"
#include "platform/OwnedFd.h"
#include "platform/Task.h"
#include "transfer/ImportProgress.h"
#include "transfer/PosixError.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace ChunkedCopy;

void writeAll(int fd, const char* data, std::uint64_t n, const QString& path) {
    std::uint64_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(fd, data + done, size_t(n - done));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            throw PosixError::fromErrno(path);
        }
        done += std::uint64_t(w);
    }
}

// Copies n bytes from the source at offset onto the end of the destination. Returns the bytes
// copied, fewer only when the source ended early.
class ChunkMover {
public:
    ChunkMover(int from, int to, const QString& source, const QString& destination)
        : from(from)
        , to(to)
        , source(source)
        , destination(destination) {}

    std::uint64_t move(std::uint64_t offset, std::uint64_t n) {
        std::uint64_t done = 0;
        while (done < n) {
            const std::uint64_t got = inKernel ? copyInKernel(offset + done, n - done)
                                               : copyThroughBuffer(offset + done, n - done);
            if (got == 0)
                break;
            done += got;
        }
        return done;
    }

private:
    int from, to;
    const QString& source;
    const QString& destination;
    bool inKernel = true;
    std::vector<char> buffer;

    std::uint64_t copyInKernel(std::uint64_t offset, std::uint64_t n) {
        for (;;) {
            loff_t in = loff_t(offset);
            const ssize_t got = ::copy_file_range(from, &in, to, nullptr, size_t(n), 0);
            if (got >= 0)
                return std::uint64_t(got);
            if (errno == EINTR)
                continue;
            if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                errno == EBADF || errno == EPERM) {
                // Not offered between these file systems: copy through our buffer instead.
                inKernel = false;
                return copyThroughBuffer(offset, n);
            }
            // The error belongs to one of the two files; the destination is the likelier.
            throw PosixError::fromErrno(
                errno == ENOSPC || errno == EDQUOT || errno == EFBIG ? destination : source);
        }
    }

    std::uint64_t copyThroughBuffer(std::uint64_t offset, std::uint64_t n) {
        buffer.resize(chunkSize);
        const size_t want = size_t(std::min<std::uint64_t>(n, chunkSize));
        ssize_t got;
        do {
            got = ::pread(from, buffer.data(), want, off_t(offset));
        } while (got < 0 && errno == EINTR);
        if (got < 0)
            throw PosixError::fromErrno(source);
        writeAll(to, buffer.data(), std::uint64_t(got), destination);
        return std::uint64_t(got);
    }
};

} // namespace

void copyFileWithProgress(const QString& source, const QString& destination,
                          const IdentityCheck& verifyIdentity, const QByteArray& prefixData,
                          std::uint64_t sourceOffset, const CopyProgress& progress) {
    const OwnedFd in(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
    if (!in.isValid())
        throw PosixError::fromErrno(source);
    struct stat st {};
    if (fstat(in.get(), &st) != 0)
        throw PosixError::fromErrno(source);
    const std::uint64_t size = std::uint64_t(st.st_size);
    const std::uint64_t prefix = std::uint64_t(prefixData.size());
    if (size > largestFile || sourceOffset >= size || size - sourceOffset + prefix > largestFile)
        throw IPodDatabaseError::invalidTrack();
    posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    if (verifyIdentity)
        verifyIdentity();
    OwnedFd out(::open(QFile::encodeName(destination).constData(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!out.isValid())
        throw PosixError::fromErrno(destination);

    try {
        writeAll(out.get(), prefixData.constData(), prefix, destination);
        ChunkMover mover(in.get(), out.get(), source, destination);
        std::uint64_t copied = sourceOffset;
        std::uint64_t reported = 0;
        while (copied < size) {
            Task::checkCancellation();
            const std::uint64_t want = std::min(chunkSize, size - copied);
            const std::uint64_t got = mover.move(copied, want);
            copied += got;
            if (got < want)
                throw PosixError(EIO, source); // the source shrank while it was copied
            const double fraction = double(copied) / double(size);
            if (fraction - double(reported) / double(size) >= progressStep) {
                if (progress)
                    progress(fraction);
                reported = copied;
            }
        }
        // Exactly the measured length: a source that grew meanwhile is not what was checked.
        char probe = 0;
        if (::pread(in.get(), &probe, 1, off_t(size)) > 0)
            throw PosixError(EIO, source);
        if (fsync(out.get()) != 0)
            throw PosixError::fromErrno(destination);
        // A lost write can surface only here.
        if (!out.tryClose())
            throw PosixError::fromErrno(destination);
        if (verifyIdentity)
            verifyIdentity();
    } catch (...) {
        out.reset();
        bool sameDevice = true;
        try {
            if (verifyIdentity)
                verifyIdentity();
        } catch (...) {
            sameDevice = false; // the original error is the one to report
        }
        if (sameDevice)
            ::unlink(QFile::encodeName(destination).constData());
        throw;
    }
}

void copyFileWithProgress(const QString& source, const QString& destination,
                          const IdentityCheck& verifyIdentity,
                          const IPodTransfer::FileProgress& progress, double baseFraction) {
    copyFileWithProgress(source, destination, verifyIdentity, {}, 0, [&](double f) {
        if (progress)
            progress(ImportStage::copying, baseFraction + f * (1 - baseFraction));
    });
}

namespace ChunkedCopy {

CopyProgress rewriteOfMP3(IPodTransfer::FileProgress progress) {
    return [progress = std::move(progress)](double f) {
        if (progress)
            progress(ImportStage::copying, f * 0.95);
    };
}

CopyProgress rewriteAfterReencoding(IPodTransfer::FileProgress progress) {
    return [progress = std::move(progress)](double f) {
        if (progress)
            progress(ImportStage::copying, 0.75 + f * 0.2);
    };
}

} // namespace ChunkedCopy
