#include "library/Nano5Writer.h"

#include "library/DeviceDescription.h"
#include "library/GLibHandles.h"
#include "library/Nano5Container.h"
#include "library/Nano5Database.h"
#include "library/Nano5Error.h"
#include "library/Nano5Export.h"
#include "library/Nano5Locations.h"
#include "library/Nano5Playlist.h"
#include "library/Nano5Records.h"
#include "library/Nano5Signing.h"
#include "library/VolumeWriteLock.h"
#include "platform/Task.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include <cerrno>
#include <fstream>
#include <limits>
#include <memory>
#include <system_error>

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace fs = std::filesystem;

namespace Nano5Playlist {

namespace {

using Exported = GLibHandles::GMallocPtr<guint8>;

QByteArrayView viewOf(const Exported& bytes, gsize length) {
    return QByteArrayView(reinterpret_cast<const char*>(bytes.get()),
                          static_cast<qsizetype>(length));
}

fs::path itunesFolder(const fs::path& mountPoint) {
    return mountPoint / "iPod_Control" / "iTunes";
}

std::vector<QByteArray> readAll(const std::vector<fs::path>& files) {
    std::vector<QByteArray> contents;
    contents.reserve(files.size());
    for (const auto& file : files)
        contents.push_back(readDatabaseFile(file));
    return contents;
}

bool isReadOnlyVolume(const fs::path& mountPoint) {
    struct statvfs info {};
    if (::statvfs(mountPoint.c_str(), &info) != 0)
        throwPosixError(errno, "statvfs", mountPoint);
    return (info.f_flag & ST_RDONLY) != 0;
}

GLibHandles::DatabasePtr parseFolder(const fs::path& folder) {
    GLibHandles::ErrorSlot error;
    return GLibHandles::completeParse(itdb_parse(folder.c_str(), error.out()), error);
}

// The folder new songs go to, with links resolved; Music and F00 must be real folders.
fs::path songFolder(const fs::path& mountPoint) {
    std::error_code ec;
    const fs::path base = fs::weakly_canonical(mountPoint, ec);
    if (ec)
        throw std::system_error(ec, "resolve " + mountPoint.string());
    const fs::path music = base / "iPod_Control" / "Music";
    const fs::path resolved = fs::weakly_canonical(music, ec);
    if (ec)
        throw std::system_error(ec, "resolve " + music.string());
    if (resolved != music)
        throw Nano5Error(Nano5Error::Kind::invalidTrackLocation);
    const fs::path folder = resolved / "F00";
    if (fs::weakly_canonical(folder, ec) != folder || ec)
        throw Nano5Error(Nano5Error::Kind::invalidTrackLocation);
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0) {
        if (errno == ENOENT)
            throw Nano5Error(Nano5Error::Kind::invalidTrackLocation);
        throwPosixError(errno, "lstat", folder);
    }
    if (!S_ISDIR(st.st_mode))
        throw Nano5Error(Nano5Error::Kind::invalidTrackLocation);
    return folder;
}

std::uint64_t fileSizeOf(const fs::path& source) {
    struct stat st;
    if (::stat(source.c_str(), &st) != 0)
        throwPosixError(errno, "stat", source);
    if (!S_ISREG(st.st_mode))
        throw Nano5Error(Nano5Error::Kind::invalidTrack);
    return static_cast<std::uint64_t>(st.st_size);
}

gchar* copyOf(const QString& text) {
    return g_strdup(text.toUtf8().constData());
}

// The device's hash72 parameters, from whichever of its current checksum file and iTunesCDB
// carries a valid signature. Without them we cannot tell that we sign the way this device
// checks, so nothing is written.
Nano5Signing::DeviceParameters requireDeviceParameters(QByteArrayView checksumFile,
                                                       QByteArrayView cdb) {
    const auto parameters = Nano5Signing::deviceParameters(checksumFile, cdb);
    if (!parameters)
        throw Nano5Error::unsupportedDatabase();
    return *parameters;
}

} // namespace

void checkSysInfoExtended(const QByteArray& sysInfoExtended) {
    const auto plist = DeviceDescription::dictionary(sysInfoExtended);
    if (!plist || plist->unsignedInteger("FamilyID") != 16u ||
        plist->unsignedInteger("DBVersion") != 3u || plist->boolean("SQLiteDB") != true)
        throw Nano5Error::unsupportedDatabase();
}

bool signCDB(Itdb_Device* device, QByteArrayView current, QByteArray& updated) {
    return itdb_nano5_sign_cdb(device, reinterpret_cast<const guint8*>(current.data()),
                               static_cast<gsize>(current.size()),
                               reinterpret_cast<guint8*>(updated.data()),
                               static_cast<gsize>(updated.size())) != 0;
}

SigningFolder::SigningFolder(const QByteArray& sysInfoExtended) {
    const fs::path temp(QDir::tempPath().toStdString());
    const fs::path folder = temp / QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    fs::create_directories(folder / "iPod_Control" / "Device");
    path_ = folder;
    try {
        write(fs::path("iPod_Control") / "Device" / "SysInfoExtended", sysInfoExtended);
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
        throw;
    }
}

SigningFolder::~SigningFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

fs::path SigningFolder::cdbPath() const {
    return path_ / "iPod_Control" / "iTunes" / "iTunesCDB";
}

void SigningFolder::write(const fs::path& relative, QByteArrayView bytes) const {
    const fs::path target = path_ / relative;
    fs::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), bytes.size());
    out.close();
    if (!out)
        throwPosixError(EIO, "write", target);
}

void createPlaylist(Itdb_Playlist* playlist, const QString& name,
                    const std::vector<std::uint64_t>& trackIDs, const QByteArray& sourceCDB,
                    const QByteArray& sysInfoExtended, const fs::path& mountPoint,
                    const Checkpoint& checkpoint, Nano5FileOps& ops) {
    if (!playlist)
        throw Nano5Error::unsupportedDatabase();
    const VolumeWriteLock lock(QFile::decodeName(mountPoint.c_str()));
    const std::vector<fs::path> targets = playlistTargets(mountPoint);
    const fs::path checksumPath = itunesFolder(mountPoint) / databaseFiles()[4].toStdString();

    checkpoint();
    recoverTransactions(mountPoint, checkpoint, ops);
    const std::vector<QByteArray> current = readAll(targets);
    // The session's playlist was built on this library; a changed one may not match it.
    if (current[0] != sourceCDB)
        throw Nano5Error::unsupportedDatabase();
    checkSysInfoExtended(sysInfoExtended);
    // The checksum file is only read: it vouches for the device when the iTunesCDB cannot.
    const bool hasChecksumFile = fs::exists(fs::symlink_status(checksumPath));
    requireDeviceParameters(hasChecksumFile ? readDatabaseFile(checksumPath) : QByteArray(),
                            current[0]);

    const SigningFolder folder(sysInfoExtended);
    const GLibHandles::DevicePtr device(itdb_device_new());
    if (!device)
        throw Nano5Error::unsupportedDatabase();
    itdb_device_set_mountpoint(device.get(), folder.path().c_str());

    gsize length = 0;
    const Exported record(itdb_export_playlist_record(playlist, &length));
    if (!record || length == 0)
        throw Nano5Error::unsupportedDatabase();
    QByteArray updated = insertPlaylistRecord(viewOf(record, length), current[0]);
    if (!signCDB(device.get(), current[0], updated))
        throw Nano5Error::unsupportedDatabase();
    verifyPlaylistCDB(updated, folder.path(), playlist->id, name, trackIDs);

    const std::int64_t pid = sqlPid(playlist->id);
    const QByteArray library =
        writePlaylistLibrary(current[1], folder.path() / "Library.itdb", pid, name, trackIDs);
    const QByteArray dynamic =
        writeDynamicDatabase(current[2], folder.path() / "Dynamic.itdb", pid, insertContainerUI);

    commitFiles({updated, library, dynamic}, current, targets,
                playlistTransactionFolder(mountPoint), checkpoint, std::nullopt, ops);
}

fs::path importTrack(const fs::path& source, const QString& title, const QString& artist,
                     const QString& album, const QString& albumArtist, std::int64_t frameCount,
                     std::int64_t sampleRate, std::uint32_t channelCount,
                     const QByteArray& sysInfoExtended, const fs::path& mountPoint,
                     const Checkpoint& checkpoint, Nano5FileOps& ops) {
    const VolumeWriteLock lock(QFile::decodeName(mountPoint.c_str()));
    const std::vector<fs::path> files = [&] {
        std::vector<fs::path> paths;
        for (const QString& name : databaseFiles())
            paths.push_back(itunesFolder(mountPoint) / name.toStdString());
        return paths;
    }();
    enum { cdbFile, libraryFile, dynamicFile, locationsFile, checksumFile };

    checkpoint();
    if (isReadOnlyVolume(mountPoint))
        throw Nano5Error(Nano5Error::Kind::readOnlyVolume);
    recoverTransactions(mountPoint, checkpoint, ops);
    const std::vector<QByteArray> current = readAll(files);
    checkSysInfoExtended(sysInfoExtended);
    const QByteArray payload = checkedPayload(current[cdbFile]);
    const Nano5Signing::DeviceParameters parameters =
        requireDeviceParameters(current[checksumFile], current[cdbFile]);

    const SigningFolder folder(sysInfoExtended);
    folder.write(fs::path("iPod_Control") / "iTunes" / "iTunesCDB", current[cdbFile]);
    const GLibHandles::DatabasePtr db = parseFolder(folder.path());
    if (!db)
        throw Nano5Error::unsupportedDatabase();
    Itdb_Playlist* master = itdb_playlist_mpl(db.get());
    if (!master)
        throw Nano5Error(Nano5Error::Kind::invalidTrack);

    // Values the record fields cannot hold are refused before anything is built.
    const std::uint64_t fileSize = fileSizeOf(source);
    if (fileSize == 0 || fileSize > std::numeric_limits<std::uint32_t>::max() || sampleRate <= 0 ||
        sampleRate > std::numeric_limits<std::uint16_t>::max() || frameCount <= 0 ||
        frameCount > std::numeric_limits<std::int64_t>::max() / 1000)
        throw Nano5Error(Nano5Error::Kind::invalidTrack);
    const std::int64_t durationMs = frameCount * 1000 / sampleRate;
    if (durationMs < 1 || durationMs > std::numeric_limits<std::int32_t>::max())
        throw Nano5Error(Nano5Error::Kind::invalidTrack);

    const fs::path destinationFolder = songFolder(mountPoint);

    Itdb_Track* track = itdb_track_new();
    if (!track)
        throw Nano5Error(Nano5Error::Kind::invalidTrack);
    const QString fileName = QUuid::createUuid().toString(QUuid::WithoutBraces).left(8).toUpper() +
                             QStringLiteral(".mp3");
    const fs::path destination = destinationFolder / fileName.toStdString();
    const std::int64_t bitrate =
        std::min<std::int64_t>(static_cast<std::int64_t>(fileSize) * 8 / durationMs,
                               std::numeric_limits<std::int32_t>::max());
    const std::int64_t now = secondsSinceReferenceDate();
    track->title = copyOf(title);
    track->artist = copyOf(artist);
    track->album = copyOf(album);
    track->albumartist = copyOf(albumArtist);
    track->filetype = g_strdup("MPEG audio file");
    track->ipod_path = copyOf(QStringLiteral(":iPod_Control:Music:F00:") + fileName);
    track->filetype_marker = mp3FileType;
    track->mediatype = ITDB_MEDIATYPE_AUDIO;
    track->size = static_cast<guint32>(fileSize);
    track->tracklen = static_cast<gint32>(durationMs);
    track->samplerate = static_cast<guint16>(sampleRate);
    track->bitrate = static_cast<gint32>(bitrate);
    track->transferred = TRUE;
    itdb_track_add(db.get(), track, -1); // the database owns it from here
    const std::uint64_t pid = track->dbid;
    const std::uint64_t masterID = master->id;

    gsize length = 0;
    const Exported record(itdb_nano5_export_track(track, &length));
    if (!record || length == 0)
        throw Nano5Error::unsupportedDatabase();
    InsertedTrack inserted =
        insertTrackRecord(viewOf(record, length), current[cdbFile], payload, masterID);
    if (!signCDB(db->device, current[cdbFile], inserted.cdb))
        throw Nano5Error::unsupportedDatabase();

    // Proof: libgpod reads the new file back with the song where it belongs.
    folder.write(fs::path("iPod_Control") / "iTunes" / "iTunesCDB", inserted.cdb);
    {
        const GLibHandles::DatabasePtr check = parseFolder(folder.path());
        if (!check)
            throw Nano5Error::unsupportedDatabase();
        Itdb_Track* found = itdb_track_by_id(check.get(), inserted.trackID);
        Itdb_Playlist* checkMaster = itdb_playlist_mpl(check.get());
        if (!found || !checkMaster || found->dbid != pid || found->tracklen != durationMs ||
            !itdb_playlist_contains_track(checkMaster, found))
            throw Nano5Error::unsupportedDatabase();
    }

    Nano5Song song;
    song.itemPid = sqlPid(pid);
    song.title = title;
    song.artist = artist;
    song.albumArtist = albumArtist;
    song.album = album;
    song.dateModified = now;
    song.totalTimeMs = durationMs;
    song.containerPid = sqlPid(masterID);
    song.bitRate = bitrate;
    song.channels = channelCount;
    song.sampleRate = sampleRate;
    song.duration = frameCount;
    const QByteArray library =
        writeTrackLibrary(current[libraryFile], folder.path() / "Library.itdb", song);
    const QByteArray dynamic = writeDynamicDatabase(
        current[dynamicFile], folder.path() / "Dynamic.itdb", song.itemPid, insertItemStats);
    const QByteArray locations =
        writeLocationsDatabase(current[locationsFile], folder.path() / "Locations.itdb",
                               song.itemPid, fileName, now, static_cast<std::int64_t>(fileSize));

    const QByteArray oldChecksum = locationsChecksum(current[locationsFile]);
    const QByteArray& currentChecksum = current[checksumFile];
    if (currentChecksum.size() != oldChecksum.size() ||
        QByteArrayView(currentChecksum).sliced(locationsSignatureLength) !=
            QByteArrayView(oldChecksum).sliced(locationsSignatureLength))
        throw Nano5Error::unsupportedDatabase();
    QByteArray newChecksum = locationsChecksum(locations);
    if (!Nano5Signing::signLocations(parameters, newChecksum))
        throw Nano5Error::unsupportedDatabase();

    Task::checkCancellation();
    checkpoint();

    // Order of the import transaction: the iTunesCDB is replaced last.
    commitFiles({library, dynamic, locations, newChecksum, inserted.cdb},
                {current[libraryFile], current[dynamicFile], current[locationsFile],
                 current[checksumFile], current[cdbFile]},
                importTargets(mountPoint), importTransactionFolder(mountPoint), checkpoint,
                StagedAudio{source, destination}, ops);
    return destination;
}

} // namespace Nano5Playlist
