#include "coverflow/QXNSImageDecoder.h"

#include "coverflow/QXInvalidParameter.h"
#include "coverflow/QXNSDataImageDecoder.h"

QXNSImageDecoder::QXNSImageDecoder(const QVariant& item, std::uint64_t maxPixelSize)
    : maxPixelSize_(maxPixelSize) {
    QX_PRECONDITION(item.isValid() && !item.isNull(), "anItem");
    QX_PRECONDITION(item.metaType() == QMetaType::fromType<QImage>(), "anItem holds a QImage");
    QX_PRECONDITION(maxPixelSize > 0, "maxPixelSize > 0");
    item_ = item.value<QImage>();
}

QImage QXNSImageDecoder::cgImage() {
    if (imageRef.isNull())
        imageRef = QXNSDataImageDecoder::thumbnail(item_, maxPixelSize_);
    return imageRef;
}
