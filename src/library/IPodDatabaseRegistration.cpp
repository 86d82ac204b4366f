// Copied files becoming tracks, rewritten files taking an existing track's place, and the
// artwork libgpod keeps for a track.

#include "library/IPodDatabase.h"

#include "library/ArtworkDBImages.h"
#include "library/DatabaseFiles.h"
#include "library/GpodExtensions.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <system_error>

#include <sys/stat.h>

namespace {

void replaceText(gchar*& field, const char* value) {
    g_free(field);
    field = g_strdup(value);
}

IPodDatabaseError libgpodFailure(const QString& operation, const GLibHandles::ErrorSlot& error) {
    std::optional<QString> detail;
    if (error && error.get()->message)
        detail = QString::fromUtf8(error.get()->message);
    return IPodDatabaseError::library(operation, detail);
}

} // namespace

QString IPodDatabase::destinationFilename(const QString& source) {
    ensureWritable();
    if (!itdb_playlist_mpl(database_.get()))
        throw IPodDatabaseError::missingMainPlaylist();
    GLibHandles::ErrorSlot error;
    GLibHandles::CharPtr destination{
        itdb_cp_get_dest_filename(nullptr, QFile::encodeName(mountPoint_).constData(),
                                  QFile::encodeName(source).constData(), error.out())};
    if (!destination)
        throw libgpodFailure(LZ("Select music folder"), error);
    return validatedMusicFileURL(QFile::decodeName(destination.get()));
}

Track IPodDatabase::registerCopiedFiles(const QString& file, const QString& title,
                                        const QString& artist, const QString& album,
                                        const QString& albumArtist, const QString& genre,
                                        qint32 milliseconds, quint16 sampleRate, qint32 bitrate,
                                        bool lyricsFlag, const std::optional<QByteArray>& artwork) {
    ensureWritable();
    Itdb_Playlist* master = itdb_playlist_mpl(database_.get());
    if (!master)
        throw IPodDatabaseError::missingMainPlaylist();

    const QString canonical = QFileInfo(file).canonicalFilePath();
    const QString path = validatedMusicFileURL(canonical.isEmpty() ? file : canonical);
    if (milliseconds < 1)
        throw IPodDatabaseError::invalidTrack();
    const QString extension = QFileInfo(path).suffix().toLower();
    const char* filetype = nullptr;
    if (extension == QLatin1String("mp3"))
        filetype = "MPEG audio file";
    else if (extension == QLatin1String("m4a"))
        filetype = "AAC audio file";
    else
        throw IPodDatabaseError::invalidTrack();
    const QByteArray encoded = QFile::encodeName(path);
    struct stat status {};
    if (::stat(encoded.constData(), &status) != 0)
        throw std::system_error(errno, std::generic_category(), "stat");
    if (!S_ISREG(status.st_mode) || status.st_size <= 0 || status.st_size > 0xFFFF'FFFFLL)
        throw IPodDatabaseError::invalidTrack();

    GLibHandles::ErrorSlot error;
    Itdb_Track* track = itdb_cp_finalize(nullptr, QFile::encodeName(mountPoint_).constData(),
                                         encoded.constData(), error.out());
    if (!track)
        throw libgpodFailure(LZ("Register copied file"), error);

    replaceText(track->title, title.toUtf8().constData());
    replaceText(track->artist, artist.toUtf8().constData());
    replaceText(track->album, album.toUtf8().constData());
    if (!albumArtist.isEmpty())
        replaceText(track->albumartist, albumArtist.toUtf8().constData());
    if (!genre.isEmpty())
        replaceText(track->genre, genre.toUtf8().constData());
    replaceText(track->filetype, filetype);
    track->tracklen = milliseconds;
    track->samplerate = sampleRate;
    track->bitrate = bitrate;
    track->mediatype = 1;
    track->lyrics_flag = lyricsFlag ? 1 : 0;

    itdb_track_add(database_.get(), track, -1);
    itdb_playlist_add_track(master, track, -1);
    ++tracksAdded_;
    addedRecordBytes_ += trackRecordBound({title, artist, album, albumArtist, genre, path});
    if (artwork && supportsArtwork() && !shortCoverFile() && setArtwork(*artwork, track)) {
        ++artworkAdded_;
        sessionArtwork_.insert(track);
        const QByteArray key = newCoverKey(album, *artwork);
        if (newCoverKeys_.contains(key))
            ++sharedCovers_;
        else
            newCoverKeys_.insert(key);
    }
    return makeTrack(track, int(itdb_playlist_tracks_number(master)));
}

bool IPodDatabase::registerCopiedFile(quint64 trackID, const std::optional<QByteArray>& artwork,
                                      const std::optional<QString>& newFile,
                                      std::optional<qint32> bitrate) {
    ensureWritable();
    Itdb_Track* track = resolveTracks({trackID}, database_->tracks).first();
    if (newFile) {
        const QString path = validatedMusicFileURL(*newFile);
        std::optional<QString> replaced;
        try {
            replaced = trackFileURL(track);
        } catch (...) {
            // No file of its own to let go.
        }
        GLibHandles::ErrorSlot error;
        if (!itdb_cp_finalize(track, QFile::encodeName(mountPoint_).constData(),
                              QFile::encodeName(path).constData(), error.out()))
            throw libgpodFailure(LZ("Register copied file"), error);
        if (replaced && replaced->compare(path, Qt::CaseInsensitive) != 0)
            replacedTrackFiles_.insert(*replaced);
        if (bitrate) {
            replaceText(track->filetype, "AAC audio file");
            track->samplerate = 44100;
            track->samplerate2 = 44100.0f;
            track->bitrate = *bitrate;
        }
    }
    const bool lyricsWereOff = track->lyrics_flag == 0;
    if (lyricsWereOff)
        track->lyrics_flag = 1;
    const bool hadArtwork = itdb_track_has_thumbnails(track);
    const bool artworkTaken = artwork && !shortCoverFile() && setArtwork(*artwork, track);
    if (artworkTaken) {
        ++artworkAdded_;
        sessionArtwork_.insert(track);
        artworkRemoved_ = artworkRemoved_ || hadArtwork;
    }
    return newFile.has_value() || artworkTaken || lyricsWereOff;
}

std::optional<QString> IPodDatabase::shortCoverFile() const {
    if (!shortCoverFile_)
        shortCoverFile_ = findShortCoverFile();
    return *shortCoverFile_;
}

// The thumbnail files as libgpod's reading found them: through its own mount point.
std::optional<QString> IPodDatabase::findShortCoverFile() const {
    const gchar* mount = itdb_get_mountpoint(database_.get());
    if (!mount || !supportsArtwork())
        return std::nullopt;
    const GLibHandles::CharPtr path{itdb_get_artworkdb_path(mount)};
    const GLibHandles::CharPtr folder{itdb_get_artwork_dir(mount)};
    if (!path || !folder)
        return std::nullopt;
    const std::optional<QByteArray> bytes =
        DatabaseFiles::read(QFile::decodeName(path.get()), ArtworkDBImages::maxDatabaseBytes);
    const QString artworkFolder = QFile::decodeName(folder.get());
    const auto layout = bytes ? ArtworkDBImages::layout(*bytes, artworkFolder) : std::nullopt;
    if (!layout)
        return std::nullopt;
    QSet<quint32> held;
    for (GList* link = database_->tracks; link; link = link->next) {
        const auto* track = static_cast<const Itdb_Track*>(link->data);
        if (track && track->artwork && track->artwork->thumbnail &&
            !sessionArtwork_.contains(track))
            held.insert(track->artwork->id);
    }
    for (const ArtworkDBImages::ImageRecord& image : layout->images) {
        if (!held.contains(image.id))
            continue;
        for (const ArtworkDBImages::StoredThumbnail& thumbnail : image.thumbnails) {
            if (!thumbnail.inFile)
                return QDir(QFile::decodeName(mount))
                    .relativeFilePath(artworkFolder + u'/' + thumbnail.file);
        }
    }
    return std::nullopt;
}

bool IPodDatabase::supportsArtwork() const {
    return database_->device && itdb_device_supports_artwork(database_->device);
}

bool IPodDatabase::setArtwork(const QByteArray& artwork, Itdb_Track* track) {
    if (artwork.isEmpty())
        return false;
    return itdb_track_set_thumbnails_from_data(track,
                                               reinterpret_cast<const guchar*>(artwork.constData()),
                                               gsize(artwork.size())) != 0;
}

bool IPodDatabase::hasStoredArtwork(quint64 trackID) const {
    for (GList* link = database_->tracks; link; link = link->next) {
        const auto* track = static_cast<Itdb_Track*>(link->data);
        if (track && track->dbid == trackID)
            return itdb_track_has_thumbnails(const_cast<Itdb_Track*>(track));
    }
    return false;
}
