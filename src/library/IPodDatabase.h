#pragma once

#include "library/ArtworkFormats.h"
#include "library/GLibHandles.h"
#include "library/IPodDatabaseError.h"
#include "library/IPodModel.h"
#include "library/IPodPlaylist.h"
#include "library/Shuffle2PlaybackMode.h"
#include "library/Track.h"
#include "library/TrackMetadata.h"
#include "library/VolumeWriteLock.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class Nano5FileOps;

// A session on the music database of one mounted iPod. Opened for one operation and dropped
// when it ends; owns the libgpod database. Not shared between threads.
class IPodDatabase {
public:
    using ProductIDProvider = std::function<std::optional<int>()>;
    using SerialNumberProvider = std::function<std::optional<QString>()>;
    // Throws when the volume at the mount point is no longer the one the session was opened on.
    using Checkpoint = std::function<void()>;

    // Opens the database of the iPod mounted at mountPoint. sysInfoExtended is the device's
    // property list when the caller could fetch one over USB or SCSI; productID answers the
    // device's USB product ID (none when unknown); checkpoint runs immediately before the
    // session writes anything to the volume. The database's records are checked before libgpod
    // reads them unless recordsChecked says these very files were (DatabasePreflight). A
    // writing session takes the volume's write lock before it reads anything and holds it while
    // it lives: a library read before another program's save would undo that save. Throws
    // IPodDatabaseError::deviceInUse when another process holds the lock, and
    // IPodDatabaseError::library ("Read library") when no database can be opened. Never writes
    // to the volume.
    explicit IPodDatabase(const QString& mountPoint,
                          const std::optional<QByteArray>& sysInfoExtended = std::nullopt,
                          const ProductIDProvider& productID = {}, Checkpoint checkpoint = {},
                          bool recordsChecked = false,
                          SessionAccess access = SessionAccess::writing);
    static std::unique_ptr<IPodDatabase>
    open(const QString& mountPoint, const std::optional<QByteArray>& sysInfoExtended = std::nullopt,
         const ProductIDProvider& productID = {}, Checkpoint checkpoint = {},
         bool recordsChecked = false, SessionAccess access = SessionAccess::writing);
    ~IPodDatabase();
    IPodDatabase(const IPodDatabase&) = delete;
    IPodDatabase& operator=(const IPodDatabase&) = delete;

    // Fixed at opening.
    const QString& mountPoint() const { return mountPoint_; } // links resolved
    const std::optional<IPodDatabaseError>& writeBlocker() const { return writeBlocker_; }
    const std::optional<QByteArray>& nano5SourceCDB() const { return nano5SourceCDB_; }
    bool hasNano5SourceCDB() const { return nano5SourceCDB_.has_value(); }
    bool supportsRatings() const { return supportsRatings_; }
    const std::optional<IPodModel>& fallbackModel() const { return fallbackModel_; }
    const std::optional<int>& productID() const { return productID_; }
    // The libgpod database, for the editing code of this layer; never handed to other layers.
    Itdb_iTunesDB* database() const { return database_.get(); }
    // libgpod's generation of the device, 0 when it tells none.
    int generation() const;

    // Whether no cover is stored at the mount point for a save to lose: no thumbnail file holds
    // anything and no track of the iTunesDB links an image.
    static bool storesNoCover(const QString& mountPoint);
    // Why this database must not be edited, or none.
    static std::optional<IPodDatabaseError> detectWriteBlocker(Itdb_iTunesDB* database,
                                                               const QString& mountPoint);

    // Device information. Readers never throw and never change the volume.
    std::optional<QString> mainPlaylistName() const;
    std::optional<IPodModel> model(const SerialNumberProvider& serialNumber = {}) const;
    // A shuffle whose serial number neither its volume nor libgpod tells: what a serial number
    // from elsewhere completes into its model (model() asks serialNumber for it).
    struct SerialModel {
        int generation = 0;
        QString modelNumber;
        std::optional<IPodModel> model(const std::optional<QString>& serialNumber) const;
        bool operator==(const SerialModel&) const = default;
    };
    std::optional<SerialModel> serialModel() const;
    std::optional<QString> serialNumber() const;
    static std::optional<QString> serialNumber(const QByteArray& sysInfoExtended);
    static std::optional<QString> firmwareVersion(const QString& mountPoint);
    static std::optional<QString> firmwareVersion(const QByteArray& sysInfoExtended);
    // A version text such as "1.3" out of "0x... (1.3)", or none.
    static std::optional<QString> normalizedVersion(const QString& text);

    // The library.
    QList<Track> loadTracks() const;
    Track makeTrack(const Itdb_Track* track, std::optional<int> position) const;
    QList<std::pair<qint32, Itdb_Playlist*>> userPlaylists() const;
    QList<IPodPlaylist> loadPlaylists() const;

    // The second-generation shuffle's resume state.
    struct PStateFile {
        QString path;
        QByteArray bytes;
    };
    struct Shuffle2SD {
        QString pstatePath;
        QString sdPath;
        QByteArray pstate;
        std::unique_ptr<QFile> file;
        quint32 count = 0;
    };
    struct Shuffle2State {
        std::optional<quint64> resumeTrackID;
        std::optional<Shuffle2PlaybackMode> savedPlaybackMode;
    };
    bool supportsPlaybackStart() const;
    std::optional<PStateFile> readPStateFile() const;
    std::optional<Shuffle2SD> openShuffle2SD(const PStateFile& pstate) const;
    std::optional<Shuffle2State> readShuffle2PlaybackMode() const;

    // Track files: every file read, registered, replaced or deleted lies in a numbered music
    // folder directly below this session's mount point.
    struct TrackFile {
        Track track;
        std::optional<QString> path; // set on success
        std::exception_ptr error;    // set on failure
    };
    QString validatedMusicFileURL(const QString& path) const;
    QString trackFileURL(const Itdb_Track* track) const;
    QString fileURL(quint64 trackID) const;
    QList<TrackFile> fileURLs(const QSet<quint64>& trackIDs) const;
    QSet<QString> allTrackFileURLs() const;

    // The tracks of list whose dbid is in ids, in list order; throws trackSelectionChanged
    // unless they match the set exactly.
    static QList<Itdb_Track*> resolveTracks(const QSet<quint64>& ids, GList* tracks);

    // Every write of the session runs it first, and so may a layer above before its own writes
    // to the volume: refuses in a reading session, runs the opener's checkpoint, if any, then
    // refuses a folder that has become a link since the open (refuseLinkedFolders).
    void checkpoint() const;

    // Editing. Every change passes ensureWritable first and stays in memory until saveLibrary;
    // a caller saves once per operation.
    void ensureWritable() const;
    // Adds a playlist at the end; false when a plain playlist of that name (or a counted
    // variant of it) already lists exactly these tracks in this order.
    bool createPlaylist(const QString& name, const QList<quint64>& trackIDs);
    // The in-memory body of both playlist creations: the new playlist, or none when an
    // identical one exists.
    Itdb_Playlist* insertPlaylist(const QString& name, const QList<quint64>& trackIDs);
    Itdb_Playlist* playlistNamed(const QString& name) const;
    // The fifth-generation nano's playlist creation: the playlist is built here in memory and
    // written to the device by the nano's own writer (libgpod never writes that library).
    // Nothing is written when an identical playlist exists. verifyIdentity throws when the
    // volume is no longer the same device. Throws unsupportedDatabase without a nano source
    // iTunesCDB, readOnlyVolume, and the writer's errors unchanged.
    void createNano5Playlist(const QString& name, const QList<quint64>& trackIDs,
                             const QByteArray& sysInfoExtended,
                             const std::function<void()>& verifyIdentity);
    // Swaps a user playlist with its neighbour; false at either end.
    bool movePlaylist(quint64 id, bool up);
    bool updateTrackMetadata(quint64 trackID, const TrackMetadata& metadata);
    // Removes the tracks and returns the files (music-folder paths) no remaining track uses;
    // the caller deletes those after the save (the save itself removes them first when it
    // needs their room).
    QSet<QString> deleteTracks(const QSet<quint64>& ids);
    void saveLibrary();
    // Whether the track counts as music (audio, or unknown media with a music extension).
    static bool isMusic(const Itdb_Track* track);

    // Registering copied files and artwork.
    QString destinationFilename(const QString& source);
    // Whether a file of fileBytes still fits into the music folders and the save of this session
    // then fits as well, with the file registered as registerCopiedFiles would register it.
    // Measures the library's new iTunesDB (a write of it off the iPod) at most once per session,
    // and only when the room is short by the databases' sizes as they are. Enough when the room
    // cannot be told.
    enum class TrackRoom { enough, notForAudio, notForSave };
    TrackRoom roomForNewTrack(qint64 fileBytes, const QString& file, const QString& title,
                              const QString& artist, const QString& album,
                              const QString& albumArtist, const QString& genre,
                              const std::optional<QByteArray>& artwork);
    // The same for a track's rewritten file (its old file stays until the save), registered as
    // registerCopiedFile would register it with this artwork.
    TrackRoom roomForRewrittenFile(qint64 fileBytes, const QString& file,
                                   const std::optional<QByteArray>& artwork);
    // The first folder this program or libgpod writes into or through that is a symbolic link
    // (to a folder or to nothing): iPod_Control, its iTunes, Artwork, Device and Music folders,
    // a numbered music folder, or the library folder in iTunes; relative to the mount point, as
    // named on the volume, in any letter case. None when none is. A few folder listings: cheap
    // enough to run before every write.
    static std::optional<QString> linkedLibraryFolder(const QString& mountPoint);
    // Throws IPodDatabaseError::linkedFolder naming the folder linkedLibraryFolder finds.
    static void refuseLinkedFolders(const QString& mountPoint);
    // An empty album artist or genre leaves the track's field unset.
    Track registerCopiedFiles(const QString& file, const QString& title, const QString& artist,
                              const QString& album, const QString& albumArtist,
                              const QString& genre, qint32 milliseconds, quint16 sampleRate,
                              qint32 bitrate, bool lyricsFlag,
                              const std::optional<QByteArray>& artwork);
    // Points an existing track at a rewritten file and/or new artwork; true when it changed.
    bool registerCopiedFile(quint64 trackID, const std::optional<QByteArray>& artwork,
                            const std::optional<QString>& newFile, std::optional<qint32> bitrate);

    // Audio files written into the music folders before a save lists them, and those a save is
    // about to stop listing, are recorded on the iPod itself (pendingFilesRecord), so that what
    // an operation cut short left there goes at the next one.
    static constexpr const char* pendingFilesRecord = ".Lorvanel-Pending-Audio";
    // Present while a save is under way (beside pendingFilesRecord): it names the files shaped
    // like libgpod's temporary databases that were there before, which are never taken for
    // what the save left.
    static constexpr const char* saveRecord = ".Lorvanel-Save";
    // Whether a file of the iTunes folder with this name is one of the records above (or one
    // of theirs set aside): this program's alone, never read by libgpod.
    static bool isOwnRecordName(const QByteArray& name);
    // Records a music-folder path that does not exist yet, durably, before it is written; throws
    // when it cannot (nothing may be written there then).
    void recordPendingFile(const QString& path);
    // Drops the entries of files the operation took away again itself, or never made.
    void forgetPendingFiles(const QStringList& paths);
    // Removes each recorded file that no track of this session lists (a regular file, reached
    // without links, checking the opener's identity before each) and drops every entry it has
    // settled. For a session that will save, right after opening; the save calls it once
    // written. Writes nothing on a database that must not be edited; never throws.
    void settlePendingFiles();
    bool supportsArtwork() const;
    // The thumbnail file (relative to the mount point) that ends before a cover libgpod holds is
    // recorded to end in it: one missing or cut short. libgpod saves a new cover at the end of
    // each thumbnail file, where such a file's covers are recorded: the new cover would show on
    // their tracks. While there is one, no cover is added. None when there is none.
    std::optional<QString> shortCoverFile() const;
    static bool setArtwork(const QByteArray& artwork, Itdb_Track* track);
    // Whether the track has a stored cover at all. Stored covers are never decoded in this
    // process: StoredCovers has them decoded by the cover process.
    bool hasStoredArtwork(quint64 trackID) const;

    // The second-generation shuffle's start track: rewrites iTunesSD, iTunesShuffle,
    // iTunesStats and iTunesPState as one checked transaction. ops is the file layer the
    // writes go through.
    void setPlaybackStart(quint64 trackID);
    void setPlaybackStart(quint64 trackID, Nano5FileOps& ops);
    static std::optional<QString> readShuffle2EntryPath(QFile& file, quint32 index);
    static quint32 readUInt32LE(const QByteArray& bytes, qsizetype offset);
    // iTunesStats with its records put in the given order of old entry indexes.
    static QByteArray reorderStats(const QByteArray& stats, const QList<quint32>& order);

    // File probes of the database layer.
    static bool passesITunesDBProbe(const QString& mountPoint);
    // The entry count of a second-generation iTunesSD open at its start, or none.
    static std::optional<quint32> shuffle2SDHeaderCount(QFile& file);
    static bool passesShuffle2SDProbe(const QString& mountPoint);
    static bool passesShuffle3SDProbe(const QString& mountPoint);
    static bool passesITunesControlTest(const QString& mountPoint);
    static bool passesFreshVolumeTest(const QString& mountPoint);

private:
    std::optional<std::int32_t> sessionModelValue() const;
    // makeTrack, sharing each text that equals the one of the track made before (a library
    // lists an album's tracks together: most of their texts are the same).
    Track makeTrack(const Itdb_Track* track, std::optional<int> position,
                    const std::pair<const Itdb_Track*, const Track*>& before) const;
    std::optional<QString> findShortCoverFile() const;
    // What a save writes and the room the volume has for it, as they are before it begins
    // (IPodDatabaseEditing.cpp).
    struct SavePlan;
    // The plan with coversToAdd covers more that are not registered yet; of the new covers,
    // sharedCovers have the album and picture of another one (stored once where the device
    // shares covers).
    std::optional<SavePlan> planSave(int coversToAdd, int sharedCovers) const;
    // roomForNewTrack and roomForRewrittenFile: the file, recordBytes more in the iTunesDB than
    // the tracks registered so far take, newTracks more tracks and the covers of planSave.
    TrackRoom roomForFile(qint64 fileBytes, qint64 recordBytes, int newTracks, int coversToAdd,
                          int sharedCovers);
    // The most a save of the plan takes at any moment, with a new iTunesDB and iTunesSD (0: none)
    // of these sizes.
    qint64 roomNeeded(const SavePlan& plan, qint64 newITunesDB, qint64 newITunesSD) const;
    // At most what one more track with these texts adds to the iTunesDB.
    static qint64 trackRecordBound(const QStringList& texts);
    // Where the device shares covers, libgpod stores those a save adds once for each album and
    // picture.
    static QByteArray newCoverKey(const QString& album, const QByteArray& artwork);
    // Throws when a save that moves stored thumbnails or deletes tracks cannot fit on the
    // volume; removes the files of deleted tracks first when that makes it fit.
    void ensureRoomForSave();
    // The bytes of the iTunesDB the save will write, written off the iPod; none when that failed.
    std::optional<qint64> newITunesDBBytes();
    // What an earlier save cut short left of libgpod's temporary databases: only files that
    // appeared while a save recorded in saveRecord was under way.
    QStringList saveLeftovers() const;
    // A save cut short, as the save record it left says: the files shaped like libgpod's
    // temporary databases that were there before it (lower-cased, relative to the mount point)
    // and when it began, by the volume's clock. None when no usable save record is there.
    struct CutSave {
        QSet<QString> filesBefore;
        qint64 begunSeconds = 0;
    };
    std::optional<CutSave> cutSave() const;
    // Writes the save record for the save about to begin, and removes it once the save ended.
    // Neither throws nor keeps the save from going on: a save that is not recorded leaves what
    // it may leave behind for good.
    void recordSaveBegins();
    void recordSaveEnded();
    // Records, before the save, the files it stops listing (the files of deleted tracks and
    // those rewritten files replace), so that whoever finds them listed by no track removes
    // them. Never throws: a file not recorded is removed by the caller after the save.
    void recordReleasedFiles();

    QString mountPoint_;
    // Held by a writing session from before its first read.
    std::optional<VolumeWriteLock> writeLock_;
    std::optional<IPodDatabaseError> writeBlocker_;
    std::optional<QByteArray> nano5SourceCDB_;
    bool supportsRatings_ = false;
    std::optional<IPodModel> fallbackModel_;
    std::optional<int> productID_;
    bool modelForced_ = false;
    Checkpoint checkpoint_;
    // What this session did to the stored covers, for ensureRoomForSave.
    bool artworkRemoved_ = false;
    int artworkAdded_ = 0;
    // The tracks registered in this session, and trackRecordBound of each added up.
    int tracksAdded_ = 0;
    qint64 addedRecordBytes_ = 0;
    // The newCoverKey of each cover they were given, and how many shared one with another.
    QSet<QByteArray> newCoverKeys_;
    int sharedCovers_ = 0;
    // The new iTunesDB's bytes less addedRecordBytes_, once roomForNewTrack measured them.
    std::optional<qint64> measuredITunesDB_;
    // The files deleteTracks left unused, removed before the save when it needs their room.
    QSet<QString> unusedTrackFiles_;
    bool tracksDeleted_ = false;
    // The stored covers of deleted tracks (image id, song id): the save gives their thumbnails
    // back unless a remaining track shows the same image.
    QList<std::pair<quint32, quint64>> removedCovers_;
    // The files registerCopiedFile's new files replaced, for recordReleasedFiles.
    QSet<QString> replacedTrackFiles_;
    // Tracks given a cover in this session: theirs is not in the stored thumbnails yet.
    QSet<const Itdb_Track*> sessionArtwork_;
    // How libgpod stores this device's covers, once planSave asked.
    mutable std::optional<ArtworkFormats::CoverStorage> coverStorage_;
    // shortCoverFile, once looked for.
    mutable std::optional<std::optional<QString>> shortCoverFile_;
    GLibHandles::DatabasePtr database_;
};

// An optional 0x prefix and exactly 16 hexadecimal digits, not all zero.
bool isValidFireWireGUID(const std::optional<QString>& text);
