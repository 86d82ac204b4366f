#pragma once

// The cover art formats a device description (SysInfoExtended) lists under "AlbumArt" and
// "AlbumArt2". libgpod writes every new cover in each listed format during the save, in the
// saving process: a description listing formats far beyond what iPods use makes one save take
// gigabytes of memory and put hundreds of megabytes per cover onto the iPod. Such formats are
// refused before libgpod may write anything (the iPod opens read-only). So are formats that leave
// out every format a stored cover is in, and covers libgpod's reading does not hold thumbnails of
// that can be read back: the save would erase them.

#include "library/ArtworkDBImages.h"
#include "library/CoverProcessProtocol.h"
#include "library/PropertyList.h"

#include <QList>
#include <QSet>
#include <QtGlobal>

#include <cstdint>
#include <optional>

struct _Itdb_iTunesDB;

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
// libgpod reads the format of a stored cover back as a signed 16-bit number: covers it saved in
// a format of a larger id are not read back, and the next save erases them. No iPod uses one.
inline constexpr std::uint64_t maxFormatID = 32767;

// Whether every cover format list of the description is within those bounds: an array of at
// most maxFormats dictionaries, each with an integer FormatId of at most maxFormatID not
// repeated in its list, an integer RenderWidth and RenderHeight of 1 to maxSide, rows (with any
// integer RowBytesAlignment) of at most maxRowBytes, and at most maxCoverBytes for all of them.
// True when the description lists no formats.
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

// How libgpod stores the covers of an opened database: coverStorage of the description at
// libgpod's mount point (the device's, or in a shadow the one read from the device), or of its
// model without one. None when that description cannot be read.
std::optional<CoverStorage> storageOf(_Itdb_iTunesDB* database);
// The formats libgpod holds the covers of an opened database in: those of storageOf.
std::optional<QSet<quint32>> ofDatabase(_Itdb_iTunesDB* database);

// The image libgpod's reading took for a track whose record links a cover, by the image's id
// and song id (which names the track it was saved for); none when it took none.
struct MappedCover {
    quint32 image = 0;
    quint64 songID = 0;
};

// What a save does to the covers the tracks link. libgpod rewrites the ArtworkDB with the images
// its reading took, each with the thumbnails it holds of it, those in the given formats: a cover
// it took none of, or holds no thumbnail of that can be read back (ArtworkDBImages'
// decodableSizes, the stored layout checked against the thumbnail files), is erased from the
// iPod or left unreadable. formatsUnlisted: one whose thumbnails are all in other formats.
enum class StoredCoverLoss { none, formatsUnlisted, unmapped };
StoredCoverLoss storedCoverLoss(const QSet<quint32>& formats, const ArtworkDBImages::Layout& stored,
                                const QList<std::optional<MappedCover>>& linkedCovers);

} // namespace ArtworkFormats
