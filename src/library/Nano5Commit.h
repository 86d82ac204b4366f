#pragma once

// The staged commit of several nano database files (and, for an import, one audio file) through
// a hidden transaction folder, and the recovery that finishes or rolls back an interrupted one.
// Everything that changes the volume goes through a Nano5FileOps, after the caller's checkpoint
// and a check that no folder of the volume written into or through has become a symbolic link
// (IPodDatabaseError::linkedFolder otherwise).

#include "library/Nano5FileOps.h"

#include <QByteArray>
#include <QByteArrayView>

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace Nano5Playlist {

// Throws when the volume at the mount point is no longer the same device.
using Checkpoint = std::function<void()>;

struct StagedAudio {
    std::filesystem::path source;
    // Inside iPod_Control/Music/F00 of the same volume, named "<8 upper-case hex digits>.mp3".
    std::filesystem::path destination;
};

inline constexpr const char* playlistTransactionName = ".Lorvanel-Playlist-Transaction";
inline constexpr const char* importTransactionName = ".Lorvanel-Import-Transaction";

// Transaction folders and their targets, in the order recovery maps staged file i to target i.
std::filesystem::path playlistTransactionFolder(const std::filesystem::path& mountPoint);
std::filesystem::path importTransactionFolder(const std::filesystem::path& mountPoint);
// iTunesCDB, Library.itdb, Dynamic.itdb.
std::vector<std::filesystem::path> playlistTargets(const std::filesystem::path& mountPoint);
// Library.itdb, Dynamic.itdb, Locations.itdb, Locations.itdb.cbk, iTunesCDB.
std::vector<std::filesystem::path> importTargets(const std::filesystem::path& mountPoint);

// Replaces path with data durably: a temporary file beside it, fsync, rename, fsync the folder.
void writeSynced(QByteArrayView data, const std::filesystem::path& path,
                 Nano5FileOps& ops = Nano5FileOps::system());

// The raw 32-byte SHA-256 of a file, read in 1 MiB chunks.
QByteArray sha256OfFile(const std::filesystem::path& path);

// Replaces every target with its new contents, or none: the targets must still hold oldContents
// (else unsupportedDatabase, nothing written). After any failure from staging on, the commit
// rolls its own folder back (keeping a change someone else made to a target) before the first
// error is thrown, so a thrown commit has changed nothing unless the device went away while it
// rolled back; the next recovery then settles the folder.
void commitFiles(const std::vector<QByteArray>& newContents,
                 const std::vector<QByteArray>& oldContents,
                 const std::vector<std::filesystem::path>& targets,
                 const std::filesystem::path& transactionFolder, const Checkpoint& checkpoint,
                 const std::optional<StagedAudio>& stagedAudio,
                 Nano5FileOps& ops = Nano5FileOps::system());

// The playlist folder, then the import folder; the first error stops it. Holds the volume's
// write lock (VolumeWriteLock) while it runs: throws IPodDatabaseError::deviceInUse, changing
// nothing, when another process writes to the device.
void recoverTransactions(const std::filesystem::path& mountPoint, const Checkpoint& checkpoint,
                         Nano5FileOps& ops = Nano5FileOps::system());

// Finishes (all targets new) or rolls back one folder. A target that is neither old nor new
// throws unsupportedDatabase and keeps the folder.
void recoverTransaction(const std::filesystem::path& folder,
                        const std::vector<std::filesystem::path>& targets,
                        const Checkpoint& checkpoint, Nano5FileOps& ops = Nano5FileOps::system());

} // namespace Nano5Playlist
