#pragma once

// Decodes cover bytes at twice the pixel size the control asks for (at most 640), so covers stay
// sharp on 2x displays without decoding full-size artwork.

#include "coverflow/QXNSDataImageDecoder.h"

class RetinaCoverDecoder : public QXNSDataImageDecoder {
public:
    static constexpr std::uint64_t maxPixelSize = 640;

    RetinaCoverDecoder(const QVariant& item, std::uint64_t size)
        : QXNSDataImageDecoder(item, size >= maxPixelSize / 2 ? maxPixelSize : 2 * size) {}
};
