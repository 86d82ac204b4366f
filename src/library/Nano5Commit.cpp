#include "library/Nano5Commit.h"

#include "library/IPodDatabase.h"
#include "library/Nano5Container.h"
#include "library/Nano5Error.h"
#include "library/VolumeWriteLock.h"

#include <QFile>

#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace Nano5Playlist {

namespace {

constexpr qsizetype chunkLength = 1048576;
constexpr const char* readyName = "ready";
constexpr const char* stagedAudioName = "audio.mp3";

fs::path iTunesFolder(const fs::path& mountPoint) {
    return mountPoint / "iPod_Control" / "iTunes";
}

fs::path libraryFolder(const fs::path& mountPoint) {
    return iTunesFolder(mountPoint) / "iTunes Library.itlp";
}

// The caller's checkpoint, then the refusal of a folder of the volume that has become a link:
// every write of a transaction in folder passes it first.
Checkpoint refusingLinks(const Checkpoint& checkpoint, const fs::path& folder) {
    const QString mountPoint =
        QFile::decodeName(folder.parent_path().parent_path().parent_path().c_str());
    return [checkpoint, mountPoint] {
        checkpoint();
        IPodDatabase::refuseLinkedFolders(mountPoint);
    };
}

fs::path stagedName(const char* kind, size_t index) {
    return std::string(kind) + "-" + std::to_string(index);
}

// lstat that tells "absent" from "present"; other errors are thrown.
bool lstatEntry(const fs::path& path, struct stat& st) {
    if (::lstat(path.c_str(), &st) == 0)
        return true;
    if (errno == ENOENT)
        return false;
    throwPosixError(errno, "lstat", path);
}

bool entryExists(const fs::path& path) {
    struct stat st;
    return lstatEntry(path, st);
}

bool isHex8Upper(const std::string& s) {
    return s.size() == 8 && std::all_of(s.begin(), s.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
           });
}

// "^[0-9A-F]{8}\.mp3$"
bool isAudioName(const std::string& name) {
    return name.size() == 12 && isHex8Upper(name.substr(0, 8)) && name.substr(8) == ".mp3";
}

// "^[0-9A-F]{8}\.mp3\.sha256$"
bool isSidecarName(const std::string& name) {
    return name.size() == 19 && isAudioName(name.substr(0, 12)) && name.substr(12) == ".sha256";
}

// A plain whole-file read of a staged copy (not following a link).
QByteArray readStaged(const fs::path& path) {
    Nano5FileOps::File file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (file.get() < 0)
        throwPosixError(errno, "open", path);
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throwPosixError(errno, "read", path);
        }
        if (n == 0)
            return bytes;
        bytes.append(buffer, n);
    }
}

fs::path temporaryFor(const fs::path& path) {
    // Hidden, fixed per target (a leftover is simply overwritten next time), and never ending
    // in a SQLite sidecar suffix.
    // Built by appending: GCC 12 at -O3 misreads "." + string as an overlapping copy.
    std::string name(".");
    name += path.filename().string();
    name += ".lorvanel-tmp";
    return path.parent_path() / name;
}

// Half-written replacements an interruption left beside the targets.
void removeTemporaries(const std::vector<fs::path>& targets, Nano5FileOps& ops) {
    for (const auto& target : targets) {
        struct stat st;
        const fs::path temporary = temporaryFor(target);
        if (lstatEntry(temporary, st) && S_ISREG(st.st_mode))
            ops.unlink(temporary);
    }
}

std::vector<QByteArray> readTargets(const std::vector<fs::path>& targets) {
    std::vector<QByteArray> contents;
    contents.reserve(targets.size());
    for (const auto& target : targets)
        contents.push_back(readDatabaseFile(target));
    return contents;
}

// Removes the "ready" marker first, so that an interruption part-way leaves a folder that
// recovery simply deletes, then everything else, then the folder itself.
void removeFolder(const fs::path& folder, Nano5FileOps& ops, bool isTransaction) {
    if (isTransaction && entryExists(folder / readyName)) {
        ops.unlink(folder / readyName);
        ops.syncDirectory(folder);
    }
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(folder))
        entries.push_back(entry.path());
    std::sort(entries.begin(), entries.end());
    for (const auto& entry : entries) {
        struct stat st;
        if (!lstatEntry(entry, st))
            continue;
        if (S_ISDIR(st.st_mode))
            removeFolder(entry, ops, false);
        else
            ops.unlink(entry);
    }
    ops.removeDirectory(folder);
    ops.syncDirectory(folder.parent_path());
}

void copyFileSynced(const fs::path& source, const fs::path& destination, Nano5FileOps& ops) {
    Nano5FileOps::File in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        throwPosixError(errno, "open", source);
    Nano5FileOps::File out = ops.createFile(destination, true);
    QByteArray buffer(chunkLength, Qt::Uninitialized);
    for (;;) {
        ssize_t n = ::read(in.get(), buffer.data(), static_cast<size_t>(buffer.size()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throwPosixError(errno, "read", source);
        }
        if (n == 0)
            break;
        ops.writeAll(out, QByteArrayView(buffer.constData(), n), destination);
    }
    ops.sync(out, destination);
    ops.close(out, destination);
}

// How a folder is settled: by a later recovery (a complete transaction is kept), or by the
// commit that failed, which has reported failure and so must leave the old contents.
enum class Settle { finishOrRollBack, rollBack, rollBackKeepingForeign };

void recoverFolder(const fs::path& folder, const std::vector<fs::path>& targets,
                   const Checkpoint& callerCheckpoint, Nano5FileOps& ops, Settle settle) {
    const Checkpoint checkpoint = refusingLinks(callerCheckpoint, folder);
    const bool keepForeignTargets = settle == Settle::rollBackKeepingForeign;
    struct stat st;
    if (!lstatEntry(folder, st))
        return;
    // Never follow a link or descend into something that is not our folder.
    if (!S_ISDIR(st.st_mode))
        throw Nano5Error::unsupportedDatabase();
    checkpoint();
    auto finish = [&] {
        checkpoint();
        removeTemporaries(targets, ops);
        removeFolder(folder, ops, true);
    };
    if (!entryExists(folder / readyName)) {
        finish();
        return;
    }

    std::vector<QByteArray> oldContents, newContents;
    for (size_t i = 0; i < targets.size(); ++i) {
        oldContents.push_back(readStaged(folder / stagedName("old", i)));
        newContents.push_back(readStaged(folder / stagedName("new", i)));
    }
    const std::vector<QByteArray> current = readTargets(targets);

    std::vector<bool> foreign(targets.size(), false);
    bool allNew = true;
    for (size_t i = 0; i < targets.size(); ++i) {
        const bool isOld = current[i] == oldContents[i];
        const bool isNew = current[i] == newContents[i];
        if (!isOld && !isNew) {
            // Someone else's change: only a commit that saw it itself may leave it in place.
            if (!keepForeignTargets)
                throw Nano5Error::unsupportedDatabase();
            foreign[i] = true;
        }
        allNew = allNew && isNew;
    }
    if (allNew && settle == Settle::finishOrRollBack) {
        finish();
        return;
    }

    for (size_t i = 0; i < targets.size(); ++i) {
        if (foreign[i] || current[i] == oldContents[i])
            continue;
        checkpoint();
        writeSynced(oldContents[i], targets[i], ops);
    }

    if (folder.filename() == playlistTransactionName) {
        finish();
        return;
    }
    if (entryExists(folder / stagedAudioName)) {
        // The song never reached the music folder.
        finish();
        return;
    }

    std::vector<std::string> sidecars;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (isSidecarName(name))
            sidecars.push_back(name);
    }
    std::sort(sidecars.begin(), sidecars.end());
    if (!sidecars.empty()) {
        const std::string audioName = sidecars.front().substr(0, 12);
        const fs::path mountPoint = folder.parent_path().parent_path().parent_path();
        const fs::path musicFolder = mountPoint / "iPod_Control" / "Music" / "F00";
        const fs::path audio = musicFolder / audioName;
        // A link anywhere on the way means the file is not the one we moved there.
        std::error_code ec;
        const fs::path resolved = fs::weakly_canonical(audio, ec);
        const fs::path expected =
            fs::weakly_canonical(mountPoint, ec) / "iPod_Control" / "Music" / "F00" / audioName;
        struct stat audioStat;
        if (!ec && resolved == expected && lstatEntry(audio, audioStat) &&
            S_ISREG(audioStat.st_mode)) {
            const QByteArray digest = readStaged(folder / sidecars.front());
            if (sha256OfFile(audio) == digest) {
                checkpoint();
                ops.unlink(audio);
                ops.syncDirectory(musicFolder);
            }
        }
    }
    finish();
}

} // namespace

fs::path playlistTransactionFolder(const fs::path& mountPoint) {
    return iTunesFolder(mountPoint) / playlistTransactionName;
}

fs::path importTransactionFolder(const fs::path& mountPoint) {
    return iTunesFolder(mountPoint) / importTransactionName;
}

std::vector<fs::path> playlistTargets(const fs::path& mountPoint) {
    return {iTunesFolder(mountPoint) / "iTunesCDB", libraryFolder(mountPoint) / "Library.itdb",
            libraryFolder(mountPoint) / "Dynamic.itdb"};
}

std::vector<fs::path> importTargets(const fs::path& mountPoint) {
    const fs::path library = libraryFolder(mountPoint);
    return {library / "Library.itdb", library / "Dynamic.itdb", library / "Locations.itdb",
            library / "Locations.itdb.cbk", iTunesFolder(mountPoint) / "iTunesCDB"};
}

void writeSynced(QByteArrayView data, const fs::path& path, Nano5FileOps& ops) {
    const fs::path temporary = temporaryFor(path);
    try {
        Nano5FileOps::File file = ops.createFile(temporary, false);
        ops.writeAll(file, data, temporary);
        ops.sync(file, temporary);
        ops.close(file, temporary);
        ops.rename(temporary, path);
    } catch (...) {
        try {
            if (entryExists(temporary))
                ops.unlink(temporary);
        } catch (...) {
            // A stray temporary is harmless; the write's own failure is the one to report.
        }
        throw;
    }
    ops.syncDirectory(path.parent_path());
}

QByteArray sha256OfFile(const fs::path& path) {
    Nano5FileOps::File file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        throwPosixError(errno, "open", path);
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        throw std::bad_alloc();
    QByteArray buffer(chunkLength, Qt::Uninitialized);
    for (;;) {
        ssize_t n = ::read(file.get(), buffer.data(), static_cast<size_t>(buffer.size()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throwPosixError(errno, "read", path);
        }
        if (n == 0)
            break;
        EVP_DigestUpdate(context.get(), buffer.constData(), static_cast<size_t>(n));
    }
    QByteArray digest(32, '\0');
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), reinterpret_cast<unsigned char*>(digest.data()), &length);
    return digest;
}

void commitFiles(const std::vector<QByteArray>& newContents,
                 const std::vector<QByteArray>& oldContents, const std::vector<fs::path>& targets,
                 const fs::path& transactionFolder, const Checkpoint& callerCheckpoint,
                 const std::optional<StagedAudio>& stagedAudio, Nano5FileOps& ops) {
    const Checkpoint checkpoint = refusingLinks(callerCheckpoint, transactionFolder);
    if (newContents.size() != targets.size() || oldContents.size() != targets.size())
        throw std::invalid_argument("commitFiles: lists of different length");
    if (stagedAudio) {
        // Recovery finds the song only by this name in this folder.
        const fs::path mountPoint = transactionFolder.parent_path().parent_path().parent_path();
        if (!isAudioName(stagedAudio->destination.filename().string()) ||
            stagedAudio->destination.parent_path() != mountPoint / "iPod_Control" / "Music" / "F00")
            throw Nano5Error(Nano5Error::Kind::invalidTrackLocation);
    }

    checkpoint();
    if (readTargets(targets) != oldContents)
        throw Nano5Error::unsupportedDatabase();
    ops.makeDirectory(transactionFolder);

    bool sawForeignChange = false;
    try {
        ops.syncDirectory(transactionFolder.parent_path());
        if (stagedAudio) {
            const fs::path staged = transactionFolder / stagedAudioName;
            copyFileSynced(stagedAudio->source, staged, ops);
            writeSynced(sha256OfFile(staged),
                        transactionFolder /
                            (stagedAudio->destination.filename().string() + ".sha256"),
                        ops);
        }
        for (size_t i = 0; i < targets.size(); ++i) {
            checkpoint();
            writeSynced(oldContents[i], transactionFolder / stagedName("old", i), ops);
            writeSynced(newContents[i], transactionFolder / stagedName("new", i), ops);
        }
        // writeSynced has flushed the folder after every entry, so all copies are on disk
        // before the marker can be.
        checkpoint();
        writeSynced(QByteArrayView(), transactionFolder / readyName, ops);

        if (stagedAudio) {
            checkpoint();
            ops.renameNoReplace(transactionFolder / stagedAudioName, stagedAudio->destination);
            ops.syncDirectory(stagedAudio->destination.parent_path());
            ops.syncDirectory(transactionFolder);
        }
        for (size_t i = 0; i < targets.size(); ++i) {
            checkpoint();
            if (readDatabaseFile(targets[i]) != oldContents[i]) {
                sawForeignChange = true;
                throw Nano5Error::unsupportedDatabase();
            }
            writeSynced(newContents[i], targets[i], ops);
        }
        checkpoint();
        if (readTargets(targets) != newContents) {
            sawForeignChange = true;
            throw Nano5Error::unsupportedDatabase();
        }
    } catch (...) {
        try {
            recoverFolder(transactionFolder, targets, callerCheckpoint, ops,
                          sawForeignChange ? Settle::rollBackKeepingForeign : Settle::rollBack);
        } catch (...) {
            // The transaction folder stays for the next recovery; the commit's own failure is
            // the one to report.
        }
        throw;
    }

    try {
        removeFolder(transactionFolder, ops, true);
    } catch (...) {
        // Committed; the next recovery removes what is left.
    }
}

void recoverTransaction(const fs::path& folder, const std::vector<fs::path>& targets,
                        const Checkpoint& checkpoint, Nano5FileOps& ops) {
    recoverFolder(folder, targets, checkpoint, ops, Settle::finishOrRollBack);
}

void recoverTransactions(const fs::path& mountPoint, const Checkpoint& checkpoint,
                         Nano5FileOps& ops) {
    const VolumeWriteLock lock(QFile::decodeName(mountPoint.c_str()));
    recoverTransaction(playlistTransactionFolder(mountPoint), playlistTargets(mountPoint),
                       checkpoint, ops);
    recoverTransaction(importTransactionFolder(mountPoint), importTargets(mountPoint), checkpoint,
                       ops);
}

} // namespace Nano5Playlist
