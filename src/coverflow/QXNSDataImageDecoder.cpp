#include "coverflow/QXNSDataImageDecoder.h"

#include "coverflow/QXInvalidParameter.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <cmath>

QXNSDataImageDecoder::QXNSDataImageDecoder(const QVariant& item, std::uint64_t maxPixelSize)
    : maxPixelSize_(maxPixelSize) {
    QX_PRECONDITION(item.isValid() && !item.isNull(), "anItem");
    QX_PRECONDITION(maxPixelSize > 0, "maxPixelSize > 0");
    QX_PRECONDITION(item.metaType() == QMetaType::fromType<QByteArray>(),
                    "anItem holds a QByteArray");
    item_ = item.toByteArray();
}

namespace {

QSize fitted(QSize size, std::uint64_t maxPixelSize) {
    const int larger = std::max(size.width(), size.height());
    if (maxPixelSize == 0 || std::uint64_t(larger) <= maxPixelSize)
        return size;
    const double scale = double(maxPixelSize) / larger;
    return {std::max(1, int(std::lround(size.width() * scale))),
            std::max(1, int(std::lround(size.height() * scale)))};
}

} // namespace

QImage QXNSDataImageDecoder::thumbnail(QIODevice* device, std::uint64_t maxPixelSize,
                                       bool autoTransform) {
    QImageReader reader(device);
    reader.setAutoTransform(autoTransform);
    const QSize size = reader.size();
    if (size.isValid()) {
        const QSize target = fitted(size, maxPixelSize);
        if (target != size)
            reader.setScaledSize(target);
    }
    QImage image = reader.read();
    if (image.isNull())
        return {};
    // Some formats do not report a size up front, or rotate after scaling.
    const QSize target = fitted(image.size(), maxPixelSize);
    if (target != image.size())
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage QXNSDataImageDecoder::thumbnail(const QImage& image, std::uint64_t maxPixelSize) {
    if (image.isNull())
        return {};
    const QSize target = fitted(image.size(), maxPixelSize);
    const QImage scaled = target == image.size() ? image
                                                 : image.scaled(target, Qt::IgnoreAspectRatio,
                                                                Qt::SmoothTransformation);
    return scaled.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage QXNSDataImageDecoder::cgImage() {
    if (!imageRef.isNull())
        return imageRef;
    QBuffer buffer(&item_);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    imageRef = thumbnail(&buffer, maxPixelSize_, false);
    return imageRef;
}

QImage QXNSDataImageDecoder::image() {
    return QImage::fromData(item_);
}
