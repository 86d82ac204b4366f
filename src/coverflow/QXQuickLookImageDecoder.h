#pragma once

// A thumbnail of any file: image files through the image readers, PDF files through their first
// page, anything else from the desktop's thumbnail cache when it holds a current one; else none.

#include "coverflow/QXImageDecoderProtocol.h"

#include <QUrl>

class QXQuickLookImageDecoder : public QXImageDecoderProtocol {
public:
    // Throws QXInvalidParameter: "anItem", "maxPixelSize > 0", "anItem is a QUrl or a QString
    // path", then "anItem must be a url or string path" when no file URL can be made.
    QXQuickLookImageDecoder(const QVariant& item, std::uint64_t maxPixelSize);

    // The item when it is a URL, else a file URL of the item as a path; empty when not a file URL.
    static QUrl urlForItem(const QVariant& item);

    QImage cgImage() override;
    QImage image() override;

    const QUrl& url() const { return url_; }
    std::uint64_t maxPixelSize() const { return maxPixelSize_; }

private:
    QImage cachedThumbnail(std::uint64_t size) const;

    QUrl url_;
    std::uint64_t maxPixelSize_;
    QImage imageRef;
    bool decoded = false;
};
