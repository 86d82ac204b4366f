#include "coverflow/QXPDFPageDecoder.h"

#include "coverflow/QXInvalidParameter.h"

#include <QPainter>
#include <QPdfDocument>

#include <algorithm>
#include <cmath>

QXPDFPageRenderer::QXPDFPageRenderer(QXPDFPage page)
    : page_(std::move(page)) {
    QX_PRECONDITION(page_.document != nullptr, "aPage != NULL");
    QX_PRECONDITION(page_.page >= 0 && page_.page < page_.document->pageCount(),
                    "aPage names a page of its document");
    imageSize_ = cropBoxSize();
}

QSizeF QXPDFPageRenderer::cropBoxSize() const {
    return page_.document->pagePointSize(page_.page);
}

QSizeF QXPDFPageRenderer::imageSize() const {
    return imageSize_.width() > 0 && imageSize_.height() > 0 ? imageSize_ : cropBoxSize();
}

QTransform QXPDFPageRenderer::affineTransform() const {
    const QSizeF size = imageSize();
    const QSizeF box = cropBoxSize();
    if (box.width() <= 0 || box.height() <= 0)
        return {};
    if (size.width() > box.width()) {
        // Full width from the lower-left corner; the box origin is the page's own origin here.
        const double scale = size.width() / box.width();
        return QTransform::fromScale(scale, scale);
    }
    // Fitted into the rectangle, centred, never enlarged.
    const double scale = std::min({1.0, size.width() / box.width(), size.height() / box.height()});
    return QTransform::fromScale(scale, scale) *
           QTransform::fromTranslate((size.width() - box.width() * scale) / 2,
                                     (size.height() - box.height() * scale) / 2);
}

QImage QXPDFPageRenderer::imageRepresentation() const {
    const QSizeF size = imageSize();
    const int width = int(size.width()), height = int(size.height());
    if (width <= 0 || height <= 0)
        return {};
    QImage bitmap(width, height, QImage::Format_ARGB32_Premultiplied);
    bitmap.fill(backgroundColor_);
    const QSizeF box = cropBoxSize();
    // The page's place in the bitmap, y-up, then turned into image rows (y-down).
    const QRectF placed = affineTransform().mapRect(QRectF(QPointF(0, 0), box));
    const QSize pagePixels(std::max(1, int(std::lround(placed.width()))),
                           std::max(1, int(std::lround(placed.height()))));
    const QImage page = page_.document->render(page_.page, pagePixels);
    if (page.isNull())
        return bitmap;
    QPainter painter(&bitmap);
    painter.drawImage(QPointF(placed.left(), height - placed.bottom()), page);
    return bitmap;
}

QXPDFPageDecoder::QXPDFPageDecoder(const QVariant& item, std::uint64_t maxPixelSize)
    : maxPixelSize_(maxPixelSize) {
    QX_PRECONDITION(item.isValid() && !item.isNull(), "anItem");
    QX_PRECONDITION(maxPixelSize > 0, "maxPixelSize > 0");
    QX_PRECONDITION(item.metaType() == QMetaType::fromType<QXPDFPage>(),
                    "anItem holds a QXPDFPage");
    renderer = std::make_unique<QXPDFPageRenderer>(item.value<QXPDFPage>());
}

QImage QXPDFPageDecoder::cgImage() {
    renderer->setImageSize(QSizeF(double(maxPixelSize_), double(maxPixelSize_)));
    return renderer->imageRepresentation();
}
