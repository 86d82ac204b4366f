#pragma once

// Decoding of cover pictures through gdk-pixbuf, refusing pictures too large to be a cover
// before their pixels are decoded (a small file can claim gigapixels).

#include "library/GLibHandles.h"

#include <QByteArray>

struct _GdkPixbuf;

namespace PictureDecoder {

// Larger pictures are refused: no cover needs them, and decoding them could take gigabytes.
inline constexpr int maxSide = 8192;

using Pixbuf = GLibHandles::ObjectPtr<_GdkPixbuf>;

// The decoded picture; null when the bytes are no picture gdk-pixbuf reads, or too large.
Pixbuf decode(const QByteArray& bytes);

// The picture as PNG bytes; empty when it cannot be encoded.
QByteArray encodePNG(_GdkPixbuf* pixbuf);

} // namespace PictureDecoder
