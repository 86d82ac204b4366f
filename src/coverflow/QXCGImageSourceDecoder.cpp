#include "coverflow/QXCGImageSourceDecoder.h"

#include "coverflow/QXInvalidParameter.h"
#include "coverflow/QXNSDataImageDecoder.h"

#include <QBuffer>
#include <QImageReader>

void QXImageSource::appendData(const QByteArray& more) {
    std::lock_guard lock(mutex);
    bytes.append(more);
}

QByteArray QXImageSource::data() const {
    std::lock_guard lock(mutex);
    return bytes;
}

QByteArray QXImageSource::type() const {
    QByteArray copy = data();
    QBuffer buffer(&copy);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    return QImageReader::imageFormat(&buffer);
}

QXCGImageSourceDecoder::QXCGImageSourceDecoder(const QVariant& item, std::uint64_t maxPixelSize)
    : maxPixelSize_(maxPixelSize) {
    QX_PRECONDITION(item.isValid() && !item.isNull(), "anItem");
    QX_PRECONDITION(item.metaType() == QMetaType::fromType<std::shared_ptr<QXImageSource>>() &&
                        item.value<std::shared_ptr<QXImageSource>>() != nullptr,
                    "anItem holds a std::shared_ptr<QXImageSource>");
    QX_PRECONDITION(maxPixelSize > 0, "maxPixelSize > 0");
    item_ = item.value<std::shared_ptr<QXImageSource>>();
}

QImage QXCGImageSourceDecoder::cgImage() {
    if (!imageRef.isNull())
        return imageRef;
    if (item_->type().isEmpty())
        return {};
    QByteArray bytes = item_->data();
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    imageRef = QXNSDataImageDecoder::thumbnail(&buffer, maxPixelSize_, false);
    return imageRef;
}
