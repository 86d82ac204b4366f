#include "coverflow/QXFlowViewImageCache.h"

QXFlowViewImageCache::QXFlowViewImageCache(qsizetype maxBytes)
    : cache(maxBytes) {
}

QImage QXFlowViewImageCache::imageForUUID(const QString& uid) {
    const QImage* image = cache.object(uid);
    return image ? *image : QImage();
}

void QXFlowViewImageCache::cacheImage(const QImage& image, const QString& uid) {
    if (image.isNull())
        return;
    // QString is a value: the key cannot change behind the cache's back.
    cache.insert(uid, new QImage(image), std::max<qsizetype>(1, image.sizeInBytes()));
}
