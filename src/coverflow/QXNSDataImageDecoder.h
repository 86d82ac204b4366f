#pragma once

// Encoded image data (a QByteArray) to an image whose larger side is at most maxPixelSize,
// decoded once and kept. No orientation is applied: the pixels are shown as stored.

#include "coverflow/QXImageDecoderProtocol.h"

#include <QByteArray>

class QIODevice;

class QXNSDataImageDecoder : public QXImageDecoderProtocol {
public:
    // Throws QXInvalidParameter: "anItem", "maxPixelSize > 0", "anItem holds a QByteArray".
    QXNSDataImageDecoder(const QVariant& item, std::uint64_t maxPixelSize);

    QImage cgImage() override;
    QImage image() override;

    const QByteArray& item() const { return item_; }
    std::uint64_t maxPixelSize() const { return maxPixelSize_; }

    // The first image of the device, its larger side at most maxPixelSize (0: full size), never
    // enlarged, premultiplied; null when the device holds no image.
    static QImage thumbnail(QIODevice* device, std::uint64_t maxPixelSize, bool autoTransform);
    // The same for an image already decoded.
    static QImage thumbnail(const QImage& image, std::uint64_t maxPixelSize);

private:
    QByteArray item_;
    std::uint64_t maxPixelSize_;
    QImage imageRef;
};
