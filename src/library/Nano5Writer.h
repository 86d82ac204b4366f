#pragma once

// The fifth-generation nano's two writers: a new playlist, and one imported MP3 song. Each runs
// the same road: check the device, finish or roll back an interrupted transaction, read every
// database file through the guarded read, validate, build every new file in memory (SQLite
// edits on copies in a private signing folder), sign what the device checks, prove the rebuilt
// iTunesCDB by parsing it back with libgpod, and only then replace all files in one staged
// commit. Nothing on the device changes before the commit, and a failed commit rolls itself
// back. A device none of whose current files carries a signature we can verify is not written.
// Each holds the volume's write lock (VolumeWriteLock) from before its first read, and throws
// IPodDatabaseError::deviceInUse, changing nothing, when another process writes to the device.

#include "library/Nano5Commit.h"
#include "library/Nano5FileOps.h"

#include <gpod/itdb.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <vector>

namespace Nano5Playlist {

// The device must describe itself as a fifth-generation nano with the SQLite library:
// FamilyID 16, DBVersion 3, SQLiteDB true (else unsupportedDatabase).
void checkSysInfoExtended(const QByteArray& sysInfoExtended);

// itdb_nano5_sign_cdb on updated, in place: it carries fresh signatures of the kinds current
// carries, hash58 for the FireWire GUID of the device's description.
bool signCDB(Itdb_Device* device, QByteArrayView current, QByteArray& updated);

// A private folder in the temporary directory that stands in for the device while a write is
// built: iPod_Control/Device/SysInfoExtended (and, for the import, the current iTunesCDB).
// Removed with everything in it when dropped.
class SigningFolder {
public:
    explicit SigningFolder(const QByteArray& sysInfoExtended);
    ~SigningFolder();
    SigningFolder(const SigningFolder&) = delete;
    SigningFolder& operator=(const SigningFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path cdbPath() const;
    // Writes bytes to path() / relative (plain write); errors are std::system_error.
    void write(const std::filesystem::path& relative, QByteArrayView bytes) const;

private:
    std::filesystem::path path_;
};

// Writes a playlist that libgpod holds in memory (in a session opened on this device) to the
// device. name and trackIDs (dbids, in order) are what the playlist must carry; sourceCDB is the
// iTunesCDB the session was opened on, and the device's must still equal it.
// Throws Nano5Error (unsupportedDatabase, trackSelectionChanged), std::system_error or the
// checkpoint's error; on any throw the device is as it was.
void createPlaylist(Itdb_Playlist* playlist, const QString& name,
                    const std::vector<std::uint64_t>& trackIDs, const QByteArray& sourceCDB,
                    const QByteArray& sysInfoExtended, const std::filesystem::path& mountPoint,
                    const Checkpoint& checkpoint, Nano5FileOps& ops = Nano5FileOps::system());

// Adds one MP3 file (44.1 kHz, one or two channels, fully decoded by the caller) as a new song at
// the end of the library and returns where the audio now lives: a new "XXXXXXXX.mp3" in
// iPod_Control/Music/F00 (links resolved), holding the source's bytes unchanged.
// Throws Nano5Error (readOnlyVolume, invalidTrack, invalidTrackLocation, unsupportedDatabase),
// std::system_error, CancellationError or the checkpoint's error; on any throw the device is as
// it was.
std::filesystem::path
importTrack(const std::filesystem::path& source, const QString& title, const QString& artist,
            const QString& album, const QString& albumArtist, std::int64_t frameCount,
            std::int64_t sampleRate, std::uint32_t channelCount, const QByteArray& sysInfoExtended,
            const std::filesystem::path& mountPoint, const Checkpoint& checkpoint,
            Nano5FileOps& ops = Nano5FileOps::system());

} // namespace Nano5Playlist
