#include "device/CoverArtworkLoader.h"

#include "library/IPodDatabase.h"
#include "library/StoredCovers.h"
#include "platform/Task.h"
#include "platform/audio/AudioFile.h"
#include "transfer/LorvanelCoverArtwork.h"
#include "transfer/PictureDecoder.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cmath>

namespace CoverArtworkLoader {

namespace {

// The picture embedded in the file, unless it is missing, empty or too large to be a cover.
std::optional<QByteArray> embeddedArtwork(const QString& path) {
    const AudioFile file = AudioFile::open(path, [] { return Task::isCancelled(); });
    std::optional<QByteArray> picture = file.attachedPicture();
    if (!picture || picture->isEmpty() || picture->size() > maxEmbeddedArtworkBytes)
        return std::nullopt;
    return picture;
}

} // namespace

std::optional<QByteArray> thumbnailPNG(const QByteArray& bytes) {
    const PictureDecoder::Pixbuf picture = PictureDecoder::decode(bytes);
    if (!picture)
        return std::nullopt;
    const PictureDecoder::Pixbuf upright(gdk_pixbuf_apply_embedded_orientation(picture.get()));
    if (!upright)
        return std::nullopt;
    const int width = gdk_pixbuf_get_width(upright.get());
    const int height = gdk_pixbuf_get_height(upright.get());
    if (width <= 0 || height <= 0)
        return std::nullopt;
    const int larger = std::max(width, height);
    QByteArray png;
    if (larger <= thumbnailPixelSize) {
        png = PictureDecoder::encodePNG(upright.get());
    } else {
        const double scale = double(thumbnailPixelSize) / larger;
        const int w = std::max(1, int(std::lround(width * scale)));
        const int h = std::max(1, int(std::lround(height * scale)));
        const PictureDecoder::Pixbuf small(
            gdk_pixbuf_scale_simple(upright.get(), w, h, GDK_INTERP_HYPER));
        if (!small)
            return std::nullopt;
        png = PictureDecoder::encodePNG(small.get());
    }
    if (png.isEmpty())
        return std::nullopt;
    return png;
}

Artwork loadArtwork(const IPodDevice& device, const QSet<quint64>& trackIDs) {
    if (Task::isCancelled())
        return {{}, trackIDs};
    const QHash<quint64, StoredCover> stored = device.storedCovers(trackIDs.values());
    Artwork result;
    // Opened only for the tracks that need a picture from their file.
    std::unique_ptr<IPodDatabase> database;
    bool databaseTried = false;
    for (const quint64 id : trackIDs) {
        if (Task::isCancelled())
            break;
        const StoredCover cover = stored.value(id);
        if (cover.state == StoredCover::State::image) {
            // The covers are decoded once more for the screen right away: a light compression
            // is quicker to make and to read.
            QByteArray png = cover.png(fastCompressionLevel);
            if (!png.isEmpty()) {
                // The iPod may hold the application's own default cover, stored smaller: that
                // is shown as the default cover itself.
                if (const auto defaultCover = LorvanelCoverArtwork::matchDefaultCover(png))
                    png = *defaultCover;
                result.covers.insert(id, png);
                continue;
            }
        }
        if (cover.state == StoredCover::State::unknown)
            result.unknown.insert(id);
        if (!databaseTried) {
            databaseTried = true;
            try {
                database = device.openDatabase(SessionAccess::reading);
            } catch (...) {
            }
        }
        if (!database)
            continue;
        try {
            const std::optional<QByteArray> picture = embeddedArtwork(database->fileURL(id));
            if (!picture)
                continue;
            if (auto png = thumbnailPNG(*picture)) {
                result.covers.insert(id, *png);
                result.unknown.remove(id);
            }
        } catch (...) {
            // A file that is gone, outside the music folder or unreadable has no cover.
        }
    }
    try {
        device.verifyIdentity();
    } catch (...) {
        return {{}, trackIDs};
    }
    return result;
}

} // namespace CoverArtworkLoader
