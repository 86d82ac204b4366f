#pragma once

// Decoded item images by UID. Bounded by bytes: the least recently used images go first once the
// bound is reached (nothing else evicts them on this platform).

#include <QCache>
#include <QImage>
#include <QString>

class QXFlowViewImageCacheProtocol {
public:
    virtual ~QXFlowViewImageCacheProtocol() = default;
    virtual QImage imageForUUID(const QString& uid) = 0;
    virtual void cacheImage(const QImage& image, const QString& uid) = 0;
    virtual void removeImageWithUUID(const QString& uid) = 0;
    virtual void reset() = 0;
};

class QXFlowViewImageCache : public QXFlowViewImageCacheProtocol {
public:
    static constexpr qsizetype defaultMaxBytes = qsizetype(256) * 1024 * 1024;

    explicit QXFlowViewImageCache(qsizetype maxBytes = defaultMaxBytes);

    QImage imageForUUID(const QString& uid) override;
    // An image larger than the whole bound is not kept.
    void cacheImage(const QImage& image, const QString& uid) override;
    void removeImageWithUUID(const QString& uid) override { cache.remove(uid); }
    void reset() override { cache.clear(); }

    qsizetype totalBytes() const { return cache.totalCost(); }
    qsizetype maxBytes() const { return cache.maxCost(); }
    void setMaxBytes(qsizetype bytes) { cache.setMaxCost(bytes); }
    qsizetype count() const { return cache.count(); }

private:
    QCache<QString, QImage> cache;
};
