#pragma once

// Where one item stands: what the layout computes and applies to the item's layer.

#include "coverflow/QXNotFound.h"
#include "coverflow/QXTransform3D.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QTransform>

#include <cstddef>

class QXLayer;

// Key of the item index stored on each item layer, for mapping a hit layer back to its item.
inline const QString QXCoverFlowLayerIndexKey = QStringLiteral("qxCoverFlowLayerIndex");

class QXCoverFlowLayoutAttributes {
public:
    QXCoverFlowLayoutAttributes() = delete;
    QXCoverFlowLayoutAttributes(QXIndex index, QPointF position, QSizeF size, QPointF anchorPoint,
                                const QXTransform3D& transform, double zPosition);

    QXIndex index() const { return index_; }
    QPointF position() const { return position_; }
    QRectF bounds() const { return {QPointF(0, 0), size_}; }
    QPointF anchorPoint() const { return anchorPoint_; }
    const QXTransform3D& transform() const { return transform_; }
    double zPosition() const { return zPosition_; }

    // The translation from the frame's origin to its anchor point.
    QTransform anchorPointTransform() const;
    // Anchor, z, transform, bounds, then position (so the anchor lands on the frame's anchor
    // point), then the index under QXCoverFlowLayerIndexKey.
    void applyToLayer(QXLayer& layer) const;

    bool isEqualToCoverFlowLayoutAttribute(const QXCoverFlowLayoutAttributes& other) const;
    friend bool operator==(const QXCoverFlowLayoutAttributes& a,
                           const QXCoverFlowLayoutAttributes& b) {
        return a.isEqualToCoverFlowLayoutAttribute(b);
    }
    std::size_t hash() const;
    QString description() const;

private:
    QXIndex index_;
    QPointF position_;
    QSizeF size_;
    QPointF anchorPoint_;
    QXTransform3D transform_;
    double zPosition_;
};
