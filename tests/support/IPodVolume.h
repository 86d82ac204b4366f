#pragma once

// A temporary iPod volume laid out by libgpod itself, for tests of every layer that reads or
// writes an iPod: itdb_init_ipod for a model number into a private folder, tracks copied into
// iPod_Control/Music/Fnn through libgpod, optional artwork and playlists, then itdb_write.
//
//     TestSupport::IPodVolume volume("MA477");          // second-generation nano
//     const int song = volume.addTrack({.title = "Song", .artwork = true});
//     volume.addPlaylist("Favourites", {song});
//     volume.write();                                   // iTunesDB and ArtworkDB on disk
//     const auto before = TestSupport::snapshotTree(volume.mountPoint());
//
// Damaged variants are made by editing the written files (writeFile, removeFile, ...).

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>
#include <optional>

struct _Itdb_iTunesDB;
struct _Itdb_Track;

namespace TestSupport {

struct TrackSpec {
    QString title = QStringLiteral("Track");
    QString artist = {};
    QString album = {};
    QString albumArtist = {};
    QString genre = {};
    QString filetype = QStringLiteral("MPEG audio file");
    QString extension = QStringLiteral("mp3");
    quint32 mediatype = 1; // audio
    quint32 rating = 0;    // 0...100
    quint32 playcount = 0;
    quint32 tracklenMs = 3000;
    // The file copied into the music folder: sourceFile when set (e.g. a real audio fixture),
    // otherwise audio, otherwise a few placeholder bytes.
    QString sourceFile = {};
    QByteArray audio = {};
    // No file at all: the track only carries an ipod_path (fast, for large libraries).
    bool withoutFile = false;
    // With withoutFile: the stored ipod_path ("iPod_Control/Music/F00/A.mp3" style, relative
    // to the mount point); empty gives a unique one.
    QString ipodPath = {};
    // A generated cover (solid colour, 0xRRGGBB) stored through libgpod's thumbnail writer.
    bool artwork = false;
    quint32 artworkColor = 0x3366CC;
    // With artwork: an encoded picture (PNG, JPEG, ...) stored in place of the solid colour.
    QByteArray artworkData = {};
    // Preset database id; 0 lets libgpod pick one.
    quint64 dbid = 0;
    // Whether the main playlist lists the track.
    bool inMainPlaylist = true;
};

class IPodVolume {
public:
    // The FireWire ID written for models whose database is hashed.
    static QString defaultFirewireGuid();

    struct Options {
        QString name = QStringLiteral("Test iPod");
        // Written to iPod_Control/Device/SysInfo before itdb_init_ipod. Models whose database is
        // hashed (classic "MB029", nano 4G "MB480", ...) get "ModelNumStr" and "FirewireGuid"
        // automatically when this is empty.
        QByteArray sysInfo = {};
        QString firewireGuid = defaultFirewireGuid();
        // Written to iPod_Control/Device/SysInfoExtended before itdb_init_ipod when set.
        std::optional<QByteArray> sysInfoExtended = {};
    };

    explicit IPodVolume(const QString& modelNumber);
    IPodVolume(const QString& modelNumber, const Options& options);
    // An empty folder (no iPod layout); for hand-made volumes such as a freshly restored one.
    static std::unique_ptr<IPodVolume> emptyFolder();
    ~IPodVolume();
    IPodVolume(const IPodVolume&) = delete;
    IPodVolume& operator=(const IPodVolume&) = delete;

    QString mountPoint() const;
    QString path(const QString& relative) const;
    const QString& modelNumber() const { return modelNumber_; }

    // Building the database: the database stays open between these calls until write().
    int addTrack(const TrackSpec& spec); // returns the track's index
    // Many file-less tracks at once, with preset ids (id = firstID + i); fast at any size.
    void addTracksWithoutFiles(int count, quint64 firstID, const TrackSpec& pattern);
    void addPlaylist(const QString& name, const QList<int>& trackIndexes);
    // Lists an added track once more at the end of the main playlist.
    void appendToMainPlaylist(int trackIndex);
    // itdb_write (plus the iTunesSD on shuffles); throws std::runtime_error on failure.
    void write();
    // After write(): the dbid of each added track in index order.
    quint64 trackID(int index) const;
    // The path of the track's file relative to the mount point ("" without a file).
    QString trackFile(int index) const;
    int trackCount() const { return int(ids_.size()); }

    // File edits (paths relative to the mount point; folders are created as needed).
    void writeFile(const QString& relative, const QByteArray& bytes) const;
    QByteArray readFile(const QString& relative) const;
    void removeFile(const QString& relative) const;
    bool exists(const QString& relative) const;
    void writeSysInfo(const QByteArray& text) const;
    void writeSysInfoExtended(const QByteArray& xml) const;
    // Writes iPod_Control/iTunes/iTunesCDB: the written iTunesDB's header (flagged compressed,
    // with the new file size) followed by the rest of it compressed with zlib. libgpod parses
    // it in place of the iTunesDB. Returns the bytes written.
    QByteArray writeITunesCDBFromITunesDB() const;
    // Overwrites bytes at offset of a file.
    void patchFile(const QString& relative, qint64 offset, const QByteArray& bytes) const;

private:
    IPodVolume();
    void openDatabase();
    _Itdb_iTunesDB* database_ = nullptr;
    std::unique_ptr<QTemporaryDir> dir_;
    QString modelNumber_;
    QList<_Itdb_Track*> pending_;
    QList<quint64> ids_;
    QStringList files_;
};

// A SysInfoExtended property list (XML) with the given keys: QString values become strings,
// bool values booleans, integer values integers (negative ones too), QByteArray values are
// inserted as raw XML.
QByteArray sysInfoExtendedXML(const QList<std::pair<QString, QVariant>>& entries);

// Every entry of a folder tree, the root itself as "." (links not followed): relative path ->
// kind, modification time, and for files size and SHA-256 of the bytes. Folders carry their
// modification time, so an entry created (even if removed again) shows. Two equal snapshots
// mean nothing was written.
using TreeSnapshot = QMap<QString, QByteArray>;
// Without folder times, for operations that may make a file and take it away again.
enum class FolderTimes { recorded, ignored };
TreeSnapshot snapshotTree(const QString& root, FolderTimes folderTimes = FolderTimes::recorded);
// The entries that differ, for test messages.
QStringList differences(const TreeSnapshot& before, const TreeSnapshot& after);

} // namespace TestSupport
