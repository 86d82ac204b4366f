#pragma once

// The cover art formats a device description (SysInfoExtended) lists under "AlbumArt" and
// "AlbumArt2". libgpod writes every new cover in each listed format during the save, in the
// saving process: a description listing formats far beyond what iPods use makes one save take
// gigabytes of memory and put hundreds of megabytes per cover onto the iPod. Such formats are
// refused before libgpod may write anything (the iPod opens read-only).

#include "library/CoverProcessProtocol.h"
#include "library/PropertyList.h"

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

} // namespace ArtworkFormats
