#pragma once

// Image objects and bitmaps (QImage items) scaled under the same size rule as encoded data.

#include "coverflow/QXImageDecoderProtocol.h"

class QXNSImageDecoder : public QXImageDecoderProtocol {
public:
    // Throws QXInvalidParameter: "anItem", "anItem holds a QImage", "maxPixelSize > 0".
    QXNSImageDecoder(const QVariant& item, std::uint64_t maxPixelSize);

    QImage cgImage() override;
    QImage image() override { return item_; }

    const QImage& item() const { return item_; }
    std::uint64_t maxPixelSize() const { return maxPixelSize_; }

private:
    QImage item_;
    std::uint64_t maxPixelSize_;
    QImage imageRef;
};

// A bitmap is a QImage here as well; kept as its own type for its own representation type.
class QXNSBitmapImageRepDecoder : public QXNSImageDecoder {
public:
    using QXNSImageDecoder::QXNSImageDecoder;
};
