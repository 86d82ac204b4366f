#pragma once

// The cover art formats a device description (SysInfoExtended) lists under "AlbumArt" and
// "AlbumArt2". libgpod writes every new cover in each listed format during the save, in the
// saving process: a description listing formats far beyond what iPods use makes one save take
// gigabytes of memory and put hundreds of megabytes per cover onto the iPod. Such formats are
// refused before libgpod may write anything (the iPod opens read-only). So are formats that leave
// out every format a stored cover is in: the save would erase that cover.

#include "library/ArtworkDBImages.h"
#include "library/CoverProcessProtocol.h"
#include "library/PropertyList.h"

#include <QSet>
#include <QtGlobal>

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

// The formats libgpod saves covers in for this description: those of "AlbumArt", or of
// "AlbumArt2" when AlbumArt lists none; a format without a PixelFormat it passes over. Empty
// when neither lists one: libgpod then neither reads nor rewrites the ArtworkDB.
QSet<quint32> coverFormats(const PropertyList& description);

// Whether a save keeps every stored cover of the ArtworkDB. libgpod rewrites it with each
// cover's thumbnails in the listed formats only: a cover with none of its thumbnails in them is
// erased from the iPod.
bool keepsStoredCovers(const QSet<quint32>& formats, const ArtworkDBImages::Layout& stored);

} // namespace ArtworkFormats
