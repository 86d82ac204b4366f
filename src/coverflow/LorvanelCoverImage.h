#pragma once

// The application's default cover as an image object, for items that have no cover bytes at all.

#include <QImage>

namespace LorvanelCoverArtwork {

// Made once from the default cover's bytes; a blank 512 x 512 image when those are missing or do
// not decode. Main thread.
const QImage& defaultImage();

} // namespace LorvanelCoverArtwork
