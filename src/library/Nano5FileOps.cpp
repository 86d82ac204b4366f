#include "library/Nano5FileOps.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

void throwPosixError(int error, const char* operation, const fs::path& path) {
    throw std::system_error(error, std::generic_category(),
                            std::string(operation) + " " + path.string());
}

Nano5FileOps& Nano5FileOps::system() {
    static Nano5FileOps ops;
    return ops;
}

void Nano5FileOps::willPerform(Operation, const fs::path&) {
}

Nano5FileOps::File Nano5FileOps::createFile(const fs::path& path, bool exclusive) {
    willPerform(Operation::createFile, path);
    int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0)
        throwPosixError(errno, "create", path);
    return File(fd);
}

Nano5FileOps::File Nano5FileOps::openForWriting(const fs::path& path) {
    willPerform(Operation::openFile, path);
    int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        throwPosixError(errno, "open", path);
    return File(fd);
}

void Nano5FileOps::writeAll(const File& file, QByteArrayView bytes, const fs::path& path) {
    willPerform(Operation::write, path);
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(file.get(), data, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throwPosixError(errno, "write", path);
        }
        data += n;
        left -= n;
    }
}

void Nano5FileOps::sync(const File& file, const fs::path& path) {
    willPerform(Operation::sync, path);
    if (::fsync(file.get()) != 0)
        throwPosixError(errno, "fsync", path);
}

void Nano5FileOps::close(File& file, const fs::path& path) {
    willPerform(Operation::close, path);
    if (!file.tryClose())
        throwPosixError(errno, "close", path);
}

void Nano5FileOps::rename(const fs::path& from, const fs::path& to) {
    willPerform(Operation::rename, to);
    if (::rename(from.c_str(), to.c_str()) != 0)
        throwPosixError(errno, "rename", to);
}

void Nano5FileOps::renameNoReplace(const fs::path& from, const fs::path& to) {
    willPerform(Operation::renameNoReplace, to);
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0)
        throwPosixError(errno, "rename", to);
}

void Nano5FileOps::unlink(const fs::path& path) {
    willPerform(Operation::unlink, path);
    if (::unlink(path.c_str()) != 0)
        throwPosixError(errno, "unlink", path);
}

void Nano5FileOps::makeDirectory(const fs::path& path) {
    willPerform(Operation::makeDirectory, path);
    if (::mkdir(path.c_str(), 0755) != 0)
        throwPosixError(errno, "mkdir", path);
}

void Nano5FileOps::removeDirectory(const fs::path& path) {
    willPerform(Operation::removeDirectory, path);
    if (::rmdir(path.c_str()) != 0)
        throwPosixError(errno, "rmdir", path);
}

void Nano5FileOps::syncDirectory(const fs::path& path) {
    willPerform(Operation::syncDirectory, path);
    File dir(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0)
        throwPosixError(errno, "open", path);
    if (::fsync(dir.get()) != 0)
        throwPosixError(errno, "fsync", path);
}
