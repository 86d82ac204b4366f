#include "coverflow/QXCoverFlowLayoutAttributes.h"

#include "coverflow/QXLayer.h"

#include <bit>
#include <cmath>
#include <cstdint>

QXCoverFlowLayoutAttributes::QXCoverFlowLayoutAttributes(QXIndex index, QPointF position,
                                                         QSizeF size, QPointF anchorPoint,
                                                         const QXTransform3D& transform,
                                                         double zPosition)
    : index_(index)
    , position_(position)
    , size_(size)
    , anchorPoint_(anchorPoint)
    , transform_(transform)
    , zPosition_(zPosition) {
}

QTransform QXCoverFlowLayoutAttributes::anchorPointTransform() const {
    return QTransform::fromTranslate(anchorPoint_.x() * size_.width(),
                                     anchorPoint_.y() * size_.height());
}

void QXCoverFlowLayoutAttributes::applyToLayer(QXLayer& layer) const {
    layer.setAnchorPoint(anchorPoint_);
    layer.setZPosition(zPosition_);
    layer.setTransform(transform_);
    layer.setBounds(bounds());
    layer.setPosition(anchorPointTransform().map(position_));
    layer.setValue(QXCoverFlowLayerIndexKey, QVariant::fromValue<quint64>(index_));
}

bool QXCoverFlowLayoutAttributes::isEqualToCoverFlowLayoutAttribute(
    const QXCoverFlowLayoutAttributes& other) const {
    return index_ == other.index_ && transform_ == other.transform_ &&
           anchorPoint_ == other.anchorPoint_ && position_ == other.position_ &&
           size_ == other.size_ && zPosition_ == other.zPosition_;
}

namespace {

// Truncation toward zero into 64 unsigned bits; negative and NaN give 0, too large saturates.
std::uint64_t truncatedUnsigned(double v) {
    if (!(v > 0))
        return 0;
    if (v >= 18446744073709551615.0)
        return UINT64_MAX;
    return static_cast<std::uint64_t>(v);
}

} // namespace

std::size_t QXCoverFlowLayoutAttributes::hash() const {
    std::uint64_t h = index_;
    for (double v : {zPosition_, size_.width(), size_.height(), anchorPoint_.x(), anchorPoint_.y(),
                     position_.x(), position_.y()})
        h = truncatedUnsigned(v) ^ std::rotr(h, 32);
    return h ^ std::rotr(static_cast<std::uint64_t>(transform_.hash()), 32);
}

QString QXCoverFlowLayoutAttributes::description() const {
    auto point = [](QPointF p) { return QStringLiteral("{%1, %2}").arg(p.x()).arg(p.y()); };
    return QStringLiteral("QXCoverFlowLayoutAttributes: %1, index: %2, position: %3, anchorPoint: "
                          "%4, bounds: %5, zPosition: %6, transform: %7")
        .arg(QStringLiteral("0x%1").arg(reinterpret_cast<quintptr>(this), 0, 16))
        .arg(index_)
        .arg(point(position_), point(anchorPoint_),
             QStringLiteral("{{0, 0}, {%1, %2}}").arg(size_.width()).arg(size_.height()))
        .arg(zPosition_)
        .arg(transform_.description());
}
