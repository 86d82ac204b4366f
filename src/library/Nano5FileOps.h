#pragma once

// The file-system calls that change a nano volume, behind one thin layer so that a test can make
// any one of them fail and prove that every interruption of a commit is recoverable. Every
// mutating call passes through willPerform() first; failures throw std::system_error.

#include "platform/OwnedFd.h"

#include <QByteArrayView>

#include <filesystem>
#include <string>

class Nano5FileOps {
public:
    enum class Operation {
        createFile,
        openFile,
        write,
        sync,
        close,
        rename,
        renameNoReplace,
        unlink,
        makeDirectory,
        removeDirectory,
        syncDirectory,
    };

    // A descriptor that is closed without checks when dropped; commit paths close it through
    // close() so that a late write error is seen.
    using File = OwnedFd;

    Nano5FileOps() = default;
    Nano5FileOps(const Nano5FileOps&) = delete;
    Nano5FileOps& operator=(const Nano5FileOps&) = delete;
    virtual ~Nano5FileOps() = default;

    // The real file system, nothing injected.
    static Nano5FileOps& system();

    // O_WRONLY | O_CREAT | O_NOFOLLOW, mode 0644; truncates unless exclusive (then O_EXCL).
    File createFile(const std::filesystem::path& path, bool exclusive);
    // An existing file, for writing (used to flush it).
    File openForWriting(const std::filesystem::path& path);
    void writeAll(const File& file, QByteArrayView bytes, const std::filesystem::path& path);
    void sync(const File& file, const std::filesystem::path& path);
    void close(File& file, const std::filesystem::path& path);
    void rename(const std::filesystem::path& from, const std::filesystem::path& to);
    // Fails with EEXIST instead of replacing an existing entry.
    void renameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);
    void unlink(const std::filesystem::path& path);
    // Exactly one level; fails when the entry exists.
    void makeDirectory(const std::filesystem::path& path);
    void removeDirectory(const std::filesystem::path& path);
    void syncDirectory(const std::filesystem::path& path);

protected:
    // Called before each operation; a test throws from here to simulate a failure or a crash.
    virtual void willPerform(Operation operation, const std::filesystem::path& path);
};

// Throws std::system_error for errno with the operation and path in the message.
[[noreturn]] void throwPosixError(int error, const char* operation,
                                  const std::filesystem::path& path);
