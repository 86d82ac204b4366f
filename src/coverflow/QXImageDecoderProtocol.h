#pragma once

// How an item's representation becomes an image. A decoder is made on the requesting thread
// with the item and a pixel size, decodes nothing until asked, and is then used once on a worker
// thread. Items travel in QVariants: QByteArray (encoded data), QImage (image objects and
// bitmaps), QUrl or QString (files), QXPDFPage, std::shared_ptr<QXImageSource>.

#include <QImage>
#include <QVariant>

#include <cstdint>

class QXImageDecoderProtocol {
public:
    virtual ~QXImageDecoderProtocol() = default;
    // Decodes on the first call; null when the item holds no image. Later calls may return the
    // same image.
    virtual QImage cgImage() = 0;
    // The item as a full image object (the factory never asks for it).
    virtual QImage image() = 0;
};
