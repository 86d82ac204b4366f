#pragma once

// The cover art formats a device description (SysInfoExtended) lists under "AlbumArt" and
// "AlbumArt2". libgpod writes every new cover in each listed format during the save, in the
// saving process: a description listing formats far beyond what iPods use makes one save take
// gigabytes of memory and put hundreds of megabytes per cover onto the iPod. Such formats are
// refused before libgpod may write anything (the iPod opens read-only). So are formats that leave
// out every format a stored cover is in, and stored covers libgpod's reading did not map: the save
// would erase them.

#include "library/ArtworkDBImages.h"
#include "library/CoverProcessProtocol.h"
#include "library/PropertyList.h"

#include <QList>
#include <QSet>
#include <QtGlobal>

#include <optional>

namespace ArtworkFormats {

// Each side at most what the cover process reads back.
inline constexpr quint32 maxSide = CoverProcessProtocol::maxSide;
// libgpod stores two bytes per pixel in every pixel format it knows, each row padded to the
// format's RowBytesAlignment.
inline constexpr qint64 bytesPerPixel = 2;
// A padded row no longer than an unpadded row of the widest cover; so at most 8 MiB for one
// thumbnail.
inline constexpr qint64 maxRowBytes = qint64(maxSide) * bytesPerPixel;
// One cover in all the formats of a list together; iPods list a few small formats, well under
// 1 MiB.
inline constexpr qint64 maxCoverBytes = qint64(16) << 20;
inline constexpr int maxFormats = 32;

// Whether every cover format list of the description is within those bounds: an array of at
// most maxFormats dictionaries, each with an integer FormatId not repeated in its list, an
// integer RenderWidth and RenderHeight of 1 to maxSide, rows (with any integer
// RowBytesAlignment) of at most maxRowBytes, and at most maxCoverBytes for all of them. True
// when the description lists no formats.
bool withinBounds(const PropertyList& description);

// The formats libgpod saves covers in for this description: those of "AlbumArt" whose
// PixelFormat is one libgpod knows, or those of "AlbumArt2" when AlbumArt lists none. Empty when
// neither lists one: libgpod then neither reads nor rewrites the ArtworkDB.
QSet<quint32> coverFormats(const PropertyList& description);

// The formats libgpod saves covers in for a device without a description, by libgpod's
// generation; empty for a generation not measured (none of those is edited).
QSet<quint32> modelFormats(int generation);

// How libgpod stores covers on a device: per stored image a thumbnail in each cover format (rows
// padded, two bytes per pixel) and a record in the ArtworkDB.
struct CoverStorage {
    struct Format {
        quint32 id = 0;
        qint64 thumbnailBytes = 0;
    };
    QList<Format> formats;
    // Tracks of one album given the same picture share one stored image (on other devices each
    // track's cover is an image of its own).
    bool sharedInAlbum = false;

    // At least the ArtworkDB libgpod writes for this many images (none without formats).
    qint64 databaseBytes(qint64 images) const;
};

// The storage of the formats libgpod saves covers in for this description (coverFormats), or
// without one for the model of this generation (modelFormats).
CoverStorage coverStorage(const std::optional<PropertyList>& description, int generation);

// What the tracks of the opened library say of their covers: the images their records link, their
// own ids (an image names its track too), and the images libgpod's reading mapped to a track.
struct TrackCovers {
    QSet<quint32> linkedImages;
    QSet<quint64> tracks;
    QSet<quint32> mappedImages;
};

// What a save does to the stored covers some track shows. libgpod rewrites the ArtworkDB with
// the images its reading mapped, each with the thumbnails it read in the given formats only: a
// cover with none of those thumbnails in them, one whose thumbnails libgpod does not read, or
// one not mapped, is erased from the iPod.
enum class StoredCoverLoss { none, formatsUnlisted, unmapped };
StoredCoverLoss storedCoverLoss(const QSet<quint32>& formats, const ArtworkDBImages::Layout& stored,
                                const TrackCovers& covers);

} // namespace ArtworkFormats
