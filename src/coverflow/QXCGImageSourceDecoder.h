#pragma once

// An image source: encoded data that may still be arriving. Its type is unknown (empty) until
// enough bytes are there to recognise the format; the decoder gives nothing until then.

#include "coverflow/QXImageDecoderProtocol.h"

#include <QByteArray>

#include <memory>
#include <mutex>

class QXImageSource {
public:
    QXImageSource() = default;
    explicit QXImageSource(QByteArray data)
        : bytes(std::move(data)) {}
    void appendData(const QByteArray& more);
    QByteArray data() const;
    // The format name ("png", "jpeg", ...), empty while not recognisable.
    QByteArray type() const;

private:
    mutable std::mutex mutex;
    QByteArray bytes;
};
Q_DECLARE_METATYPE(std::shared_ptr<QXImageSource>)

class QXCGImageSourceDecoder : public QXImageDecoderProtocol {
public:
    // Throws QXInvalidParameter: "anItem", "anItem holds a std::shared_ptr<QXImageSource>",
    // "maxPixelSize > 0".
    QXCGImageSourceDecoder(const QVariant& item, std::uint64_t maxPixelSize);

    QImage cgImage() override;
    QImage image() override { return cgImage(); }

    const std::shared_ptr<QXImageSource>& item() const { return item_; }
    std::uint64_t maxPixelSize() const { return maxPixelSize_; }

private:
    std::shared_ptr<QXImageSource> item_;
    std::uint64_t maxPixelSize_;
    QImage imageRef;
};
