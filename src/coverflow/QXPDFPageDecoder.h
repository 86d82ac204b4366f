#pragma once

// A page of a PDF document rendered white-backed into a square of maxPixelSize, afresh on each
// call. A page narrower than the square is fitted (centred, never enlarged); a square wider than
// the page gets the page scaled to its full width from the lower-left corner (the top may be cut).

#include "coverflow/QXImageDecoderProtocol.h"

#include <QColor>
#include <QSizeF>
#include <QTransform>

#include <memory>

class QPdfDocument;

struct QXPDFPage {
    std::shared_ptr<QPdfDocument> document;
    int page = 0;
};
Q_DECLARE_METATYPE(QXPDFPage)

class QXPDFPageRenderer {
public:
    // Throws QXInvalidParameter: "aPage != NULL", "aPage names a page of its document".
    explicit QXPDFPageRenderer(QXPDFPage page);

    const QXPDFPage& page() const { return page_; }
    QColor backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const QColor& c) { backgroundColor_ = c; }
    // The stored size when both sides are above 0, else the page's own size.
    QSizeF imageSize() const;
    void setImageSize(QSizeF size) { imageSize_ = size; }
    QSizeF cropBoxSize() const;

    // Page space -> bitmap space, both y-up (origin at the bottom left).
    QTransform affineTransform() const;
    // A new bitmap of imageSize with the page drawn through affineTransform.
    QImage imageRepresentation() const;

private:
    QXPDFPage page_;
    QColor backgroundColor_ = Qt::white;
    QSizeF imageSize_;
};

class QXPDFPageDecoder : public QXImageDecoderProtocol {
public:
    // Throws QXInvalidParameter: "anItem", "maxPixelSize > 0", "anItem holds a QXPDFPage".
    QXPDFPageDecoder(const QVariant& item, std::uint64_t maxPixelSize);

    QImage cgImage() override;
    QImage image() override { return cgImage(); }

    std::uint64_t maxPixelSize() const { return maxPixelSize_; }
    QXPDFPageRenderer& pdfPageRenderer() { return *renderer; }

private:
    std::uint64_t maxPixelSize_;
    std::unique_ptr<QXPDFPageRenderer> renderer;
};
