#pragma once

// Putting dropped or chosen audio files onto one mounted iPod: folders expanded, files already
// on the device skipped, the rest converted where needed, copied into the music folder and
// registered, and the database written once at the end.

#include "library/Track.h"
#include "transfer/ChunkedCopy.h"
#include "transfer/ImportProgress.h"
#include "transfer/TransferSettings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class IPodDatabase;

namespace IPodTransfer {

// What an import needs of the device it writes to. The device layer fills it from a mounted
// iPod; the transfer never sees more of the device than this.
struct ImportTarget {
    QString mountPoint;
    // Throws ImportError::disconnected when the volume is no longer the one the import began on.
    IdentityCheck verifyIdentity;
    // A fresh database session on the device.
    std::function<std::unique_ptr<IPodDatabase>()> openDatabase;
    // The SysInfoExtended of a fifth-generation nano, read over USB; none for any other device
    // or when it cannot be read. May be empty.
    std::function<std::optional<QByteArray>()> nano5SysInfoExtended;
};

// How a batch ended, file by file: every file became a track, was skipped because the same
// bytes (as they are, or once converted) are already on the device, or failed.
struct ImportResult {
    QStringList failures; // one line per failed file, in batch order
    int skippedIdentical = 0;
};

// Called on the import's thread, in order; the caller passes each value on to the interface.
using ImportProgressSink = std::function<void(const ImportProgress&)>;
// Called once per registered file, before the next file starts.
using TrackAddedSink = std::function<void(const Track&)>;

// Imports urls (files and folders, in the user's order) into the device and returns one failure
// line per file that failed, in batch order, and the count of files skipped. Throws ImportError
// (emptyAudioFolder, disconnected, cannotSave), CancellationError, and the errors of the folder
// scan, of opening the database, of its write gate and of making the temporary folder. A batch that
// ends before the save leaves the database as it was and takes its copies off the device again
// while it is still the same device; each copy is recorded on the device before it is made, so
// what stays (the device gone, the save failed) goes at the next session of that device.
// A file is copied only when the save that lists it will fit after it (one that does not fails
// with ImportError::noRoomForSave, nothing of it written), and none while a folder the import
// writes into is a symbolic link (ImportError::linkedFolder), one that appears later included.
ImportResult importAudio(const QStringList& urls, const ImportTarget& device,
                         const TransferSettings& settings, const ImportProgressSink& progress,
                         const TrackAddedSink& trackAdded);

// The whole import into a fifth-generation nano, which keeps its library in its own files.
// Only called when the nano's library files exist and its SysInfoExtended was read. Takes MP3
// files at 44.1 kHz with one or two channels as they are; each accepted file is committed to
// the device on its own, so files done before a failure or a cancel stay. Returns one failure
// line per failed file and the count of files skipped; throws ImportError (emptyAudioFolder,
// disconnected, linkedFolder), CancellationError, and the errors of the folder scan, of the
// recovery of an interrupted write, of opening the database and of making the temporary folder.
ImportResult importNano5Audio(const QStringList& urls, const ImportTarget& device,
                              const QByteArray& sysInfoExtended, bool parseFilenameTags,
                              const ImportProgressSink& progress);

// How many files may be prepared (inspected and converted) at the same time, ahead of the file
// being copied; at least 1.
int importPreparationWidth();

// Byte-for-byte equality of two files; false when either cannot be read.
bool contentsEqual(const QString& a, const QString& b);

} // namespace IPodTransfer
