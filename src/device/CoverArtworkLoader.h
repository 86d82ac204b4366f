#pragma once

// Reads the covers of a set of tracks from an iPod for the cover flow, off the main thread: the
// thumbnails the iPod's database keeps, decoded by the volume's cover process and made PNG here
// (the application's own default cover recognised and given back as its own bytes), else the
// picture embedded in the track's file on the iPod, shrunk to a small PNG. A database session
// is opened only for those files; one identity check per call. Cancellation of the running
// task is checked before the covers are asked for and before each track.

#include "device/IPodDevice.h"

#include <QByteArray>
#include <QHash>
#include <QSet>

#include <optional>

namespace CoverArtworkLoader {

// Covers made from files are at most this many pixels on their longer side.
inline constexpr int thumbnailPixelSize = 320;
// The PNG compression level of the covers taken from the database.
inline constexpr int fastCompressionLevel = 1;
// A picture embedded in a file larger than this is not read as a cover.
inline constexpr qsizetype maxEmbeddedArtworkBytes = 16 * 1024 * 1024;

struct Artwork {
    // Track id -> PNG bytes, for the tracks that have a cover.
    QHash<quint64, QByteArray> covers;
    // The tracks without one here whose stored cover could not be looked at (no cover process,
    // or one that overran or was ended): worth asking for again.
    QSet<quint64> unknown;
};

// The covers of the tracks. Never throws: a database that cannot be opened gives no covers from
// files; a device that is no longer the same volume when the reading ends gives nothing, all
// unknown.
Artwork loadArtwork(const IPodDevice& device, const QSet<quint64>& trackIDs);

// The picture as a PNG of at most thumbnailPixelSize pixels on its longer side (never
// enlarged), turned upright by its orientation tag; none when it does not decode.
std::optional<QByteArray> thumbnailPNG(const QByteArray& bytes);

} // namespace CoverArtworkLoader
