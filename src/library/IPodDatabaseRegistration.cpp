// Copied files becoming tracks, rewritten files taking an existing track's place, and the
// artwork libgpod keeps for a track.

#include "library/IPodDatabase.h"

#include "library/GpodExtensions.h"

#include <QFileInfo>

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
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

using PixbufPtr = GLibHandles::ObjectPtr<GdkPixbuf>;

PixbufPtr thumbnailOf(Itdb_Track* track, int width, int height) {
    return PixbufPtr(static_cast<GdkPixbuf*>(itdb_track_get_thumbnail(track, width, height)));
}

// Reads the first three channels of a pixbuf's pixels.
class Pixels {
public:
    explicit Pixels(const GdkPixbuf* pixbuf)
        : data_(gdk_pixbuf_read_pixels(pixbuf))
        , width_(gdk_pixbuf_get_width(pixbuf))
        , height_(gdk_pixbuf_get_height(pixbuf))
        , stride_(gdk_pixbuf_get_rowstride(pixbuf))
        , channels_(gdk_pixbuf_get_n_channels(pixbuf)) {}
    bool isValid() const { return data_ && channels_ >= 3; }
    int width() const { return width_; }
    int height() const { return height_; }
    const guint8* at(int row, int column) const {
        return data_ + qsizetype(row) * stride_ + qsizetype(column) * channels_;
    }

private:
    const guint8* data_;
    int width_;
    int height_;
    int stride_;
    int channels_;
};

int difference(const guint8* a, const guint8* b) {
    return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
}

constexpr int strongDifference = 139;

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
    if (artwork && supportsArtwork() && setArtwork(*artwork, track)) {
        ++artworkAdded_;
        sessionArtwork_.insert(track);
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
        GLibHandles::ErrorSlot error;
        if (!itdb_cp_finalize(track, QFile::encodeName(mountPoint_).constData(),
                              QFile::encodeName(path).constData(), error.out()))
            throw libgpodFailure(LZ("Register copied file"), error);
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
    const bool artworkTaken = artwork && setArtwork(*artwork, track);
    if (artworkTaken) {
        ++artworkAdded_;
        sessionArtwork_.insert(track);
        artworkRemoved_ = artworkRemoved_ || hadArtwork;
    }
    return newFile.has_value() || artworkTaken || lyricsWereOff;
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

ArtworkDBImages IPodDatabase::storedArtwork() const {
    const QByteArray mountPoint = QFile::encodeName(mountPoint_);
    const GLibHandles::CharPtr database(itdb_get_artworkdb_path(mountPoint.constData()));
    const GLibHandles::CharPtr folder(itdb_get_artwork_dir(mountPoint.constData()));
    if (!database || !folder)
        return {};
    return ArtworkDBImages::read(QFile::decodeName(database.get()),
                                 QFile::decodeName(folder.get()));
}

bool IPodDatabase::mayDecodeArtwork(const Itdb_Track* track, const ArtworkDBImages& stored) const {
    if (sessionArtwork_.contains(track))
        return true;
    const Itdb_Artwork* artwork = track->artwork;
    return stored.isSound(artwork ? artwork->id : 0, track->mhii_link, track->dbid);
}

bool IPodDatabase::hasStoredArtwork(quint64 trackID) const {
    for (GList* link = database_->tracks; link; link = link->next) {
        const auto* track = static_cast<Itdb_Track*>(link->data);
        if (track && track->dbid == trackID)
            return itdb_track_has_thumbnails(const_cast<Itdb_Track*>(track));
    }
    return false;
}

bool IPodDatabase::hasIntactArtwork(quint64 trackID) const {
    for (GList* link = database_->tracks; link; link = link->next) {
        auto* track = static_cast<Itdb_Track*>(link->data);
        if (!track || track->dbid != trackID)
            continue;
        if (!itdb_track_has_thumbnails(track) || !mayDecodeArtwork(track, storedArtwork()))
            return false;
        const PixbufPtr pixbuf = thumbnailOf(track, -1, -1);
        return pixbuf && !isNoisyArtwork(pixbuf.get()) &&
               !isDamagedNano2Thumbnail(pixbuf.get(), track);
    }
    return false;
}

QHash<quint64, QByteArray> IPodDatabase::artworkPNG(const QSet<quint64>& trackIDs,
                                                    int compressionLevel) const {
    QHash<quint64, QByteArray> images;
    const QByteArray level = QByteArray::number(std::clamp(compressionLevel, 0, 9));
    char* keys[] = {const_cast<char*>("compression"), nullptr};
    char* values[] = {const_cast<char*>(level.constData()), nullptr};
    const bool leveled = compressionLevel >= 0;
    std::optional<ArtworkDBImages> stored;
    for (GList* link = database_->tracks; link; link = link->next) {
        auto* track = static_cast<Itdb_Track*>(link->data);
        if (!track || !trackIDs.contains(track->dbid) || !itdb_track_has_thumbnails(track))
            continue;
        if (!stored)
            stored = storedArtwork();
        if (!mayDecodeArtwork(track, *stored))
            continue;
        const PixbufPtr pixbuf = thumbnailOf(track, -1, -1);
        if (!pixbuf || isNoisyArtwork(pixbuf.get()) || isDamagedNano2Thumbnail(pixbuf.get(), track))
            continue;
        gchar* raw = nullptr;
        gsize length = 0;
        const bool saved =
            gdk_pixbuf_save_to_bufferv(pixbuf.get(), &raw, &length, "png", leveled ? keys : nullptr,
                                       leveled ? values : nullptr, nullptr);
        const GLibHandles::CharPtr buffer(raw);
        if (saved && buffer)
            images.insert(track->dbid, QByteArray(buffer.get(), qsizetype(length)));
    }
    return images;
}

bool IPodDatabase::isNoisyArtwork(const GdkPixbuf* pixbuf) {
    const Pixels pixels(pixbuf);
    const int width = pixels.width();
    const int height = pixels.height();
    if (width < 24 || height < 24 || !pixels.isValid())
        return false;
    const int band = height < 40 ? 4 : height / 10;
    const qint64 needed = 7LL * band * (width - 1);
    for (int start = 0; start < height; start += band) {
        const int first = std::min(start, height - 1 - band);
        qint64 horizontal = 0;
        qint64 vertical = 0;
        quint64 buckets = 0;
        for (int row = first; row < first + band; ++row) {
            for (int x = 0; x + 1 < width; ++x) {
                const guint8* pixel = pixels.at(row, x);
                horizontal += difference(pixel, pixels.at(row, x + 1)) > strongDifference;
                vertical += difference(pixel, pixels.at(row + 1, x)) > strongDifference;
                buckets |= quint64(1)
                           << ((pixel[0] >> 6) * 16 + (pixel[1] >> 6) * 4 + (pixel[2] >> 6));
            }
        }
        if (__builtin_popcountll(buckets) >= 48 && 10 * horizontal >= needed &&
            10 * vertical >= needed)
            return true;
    }
    return false;
}

bool IPodDatabase::isDamagedNano2Thumbnail(const GdkPixbuf* pixbuf, Itdb_Track* track) const {
    const Pixels large(pixbuf);
    if (large.width() != 100 || large.height() != 100 ||
        generation() != ITDB_IPOD_GENERATION_NANO_2 || !large.isValid())
        return false;
    const PixbufPtr smallPixbuf = thumbnailOf(track, 42, 42);
    if (!smallPixbuf)
        return false;
    const Pixels small(smallPixbuf.get());
    if (small.width() != 42 || small.height() != 42 || !small.isValid())
        return false;

    int matching = 0;
    int broken = 0;
    for (int band = 0; band < 6; ++band) {
        qint64 sum = 0;
        int brokenLarge = 0;
        int brokenSmall = 0;
        for (int m = band * 6; m < band * 6 + 6; ++m) {
            const int row = (200 * m + 100) / 84;
            for (int c = 0; c < 42; ++c) {
                const int column = (200 * c + 100) / 84;
                const guint8* big = large.at(row, column);
                const guint8* little = small.at(m, c);
                sum += difference(big, little);
                brokenLarge += difference(big, large.at(row + 1, column)) > strongDifference;
                brokenSmall += difference(little, small.at(m + 1, c)) > strongDifference;
            }
        }
        matching += sum <= 8820;
        broken += sum > 45'359 && brokenLarge >= 42 && brokenSmall <= 12;
    }
    return matching > 1 && broken > 1;
}
