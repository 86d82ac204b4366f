#include "coverflow/QXCoverFlowLayout.h"

#include <algorithm>
#include <cmath>
#include <numbers>

QXCoverFlowLayout::QXCoverFlowLayout(QSizeF visibleSize) {
    updateTrigonometry();
    setVisibleSize(visibleSize);
}

void QXCoverFlowLayout::updateTrigonometry() {
    const double angle = stackedAngle_ * std::numbers::pi / 180;
    cosine = std::cos(angle);
    const QXTransform3D back = QXTransform3D::makeTranslation(0, 0, -stackedDistance_);
    leftTransform = QXTransform3D::makeRotation(angle, 0, 1, 0).then(back);
    rightTransform = QXTransform3D::makeRotation(-angle, 0, 1, 0).then(back);
}

void QXCoverFlowLayout::setInterItemSpacing(double spacing) {
    if (!(spacing >= 1) || !std::isfinite(spacing))
        return;
    interItemSpacing_ = spacing;
    notify(interItemSpacingKey);
}

void QXCoverFlowLayout::setStackedAngle(double degrees) {
    if (std::isnan(degrees))
        return;
    stackedAngle_ = std::clamp(degrees, 0.0, 90.0);
    updateTrigonometry();
    notify(stackedAngleKey);
}

void QXCoverFlowLayout::setSelectedItemIndex(QXIndex index) {
    if (numberOfItems_ == 0)
        selectedItemIndex_ = QXNotFound;
    else if (index == QXNotFound)
        return;
    else
        selectedItemIndex_ = std::min(index, numberOfItems_ - 1);
    notify(selectedItemIndexKey);
}

void QXCoverFlowLayout::setNumberOfItems(QXIndex count) {
    if (count != QXNotFound)
        numberOfItems_ = count;
    updateSelection();
    notify(numberOfItemsKey);
}

void QXCoverFlowLayout::updateSelection() {
    // A selection that now lies beyond the count is kept: the owner replaces it.
    if (numberOfItems_ == 0)
        selectedItemIndex_ = QXNotFound;
    else if (selectedItemIndex_ == QXNotFound)
        selectedItemIndex_ = 0;
}

void QXCoverFlowLayout::setStackedDistance(double distance) {
    if (!(distance >= 0) || !std::isfinite(distance))
        return;
    stackedDistance_ = distance;
    updateTrigonometry();
    notify(stackedDistanceKey);
}

void QXCoverFlowLayout::setVerticalMargin(double margin) {
    if (std::isnan(margin))
        return;
    verticalMargin_ = std::clamp(margin, 0.0, visibleSize_.height());
    notify(verticalMarginKey);
}

void QXCoverFlowLayout::setVisibleSize(QSizeF size) {
    auto atLeastOne = [](double v) { return v >= 1 && std::isfinite(v) ? v : 1.0; };
    visibleSize_ = QSizeF(atLeastOne(size.width()), atLeastOne(size.height()));
    notify(visibleSizeKey);
}

QXCoverFlowLayout::Metrics QXCoverFlowLayout::metrics() const {
    return {visibleSize_.width(), visibleSize_.height(), interItemSpacing_, verticalMargin_, cosine,
            selectedItemIndex_,   numberOfItems_,        leftTransform,     rightTransform};
}

double QXCoverFlowLayout::itemSide(const Metrics& m) {
    // A margin may be as large as the height, so the side could go negative in a tiny view.
    return std::max(0.0, m.height - 2 * m.verticalMargin);
}

double QXCoverFlowLayout::step(const Metrics& m) {
    return itemSide(m) * m.cosine + m.interItemSpacing;
}

double QXCoverFlowLayout::horizontalOffsetForItem(const Metrics& m, QXIndex index) {
    const double s = itemSide(m);
    const double mid = m.width / 2;
    const QXIndex k = m.selectedItemIndex;
    const double d = double(index > k ? index - k : k - index);
    if (index == k)
        return mid - s / 2;
    if (index < k)
        return mid - s / 2 - d * step(m) - s;
    return mid + s / 2 + d * step(m);
}

namespace {

QSizeF aspectSize(double s, double r) {
    return r > 1 ? QSizeF(s * 1.0, s * (1 / r)) : QSizeF(s * r, s * 1.0);
}

} // namespace

QXCoverFlowLayoutAttributes QXCoverFlowLayout::attributesForItem(const Metrics& m, QXIndex index,
                                                                 double aspectRatio) {
    const double s = itemSide(m);
    const QPointF origin(horizontalOffsetForItem(m, index), m.height / 2 - s / 2);
    const QXIndex k = m.selectedItemIndex;
    // With no selection every item counts as lying left of it.
    const QXTransform3D transform =
        index == k ? QXTransform3D() : (index < k ? m.leftTransform : m.rightTransform);
    return QXCoverFlowLayoutAttributes(index, origin, aspectSize(s, aspectRatio), QPointF(0.5, 0),
                                       transform, 0);
}

QSizeF QXCoverFlowLayout::itemSize() const {
    const double side = itemSide(metrics());
    return {side, side};
}

QSizeF QXCoverFlowLayout::contentSize() const {
    if (numberOfItems_ == 0)
        return {0, 0};
    const double s = itemSize().width();
    const bool atEnd = selectedItemIndex_ == 0 || selectedItemIndex_ == numberOfItems_ - 1;
    const double width = double(numberOfItems_ - 1) * step(metrics()) + (atEnd ? 2 : 3) * s;
    return {width, visibleSize_.height() - 2 * verticalMargin_};
}

double QXCoverFlowLayout::aspectRatioForItem(QXIndex index) const {
    if (!delegate_)
        return 1;
    const double r = delegate_->aspectRatioForItem(*this, index);
    // A broken ratio would give a broken size; show such an item square.
    return r > 0 && std::isfinite(r) ? r : 1.0;
}

QTransform QXCoverFlowLayout::aspectTransformForItem(QXIndex index) const {
    const double r = aspectRatioForItem(index);
    return r > 1 ? QTransform::fromScale(1, 1 / r) : QTransform::fromScale(r, 1);
}

QSizeF QXCoverFlowLayout::sizeForItem(QXIndex index) const {
    return aspectSize(itemSize().width(), aspectRatioForItem(index));
}

QXIndex QXCoverFlowLayout::distanceForItemFromSelection(QXIndex index) const {
    return index > selectedItemIndex_ ? index - selectedItemIndex_ : selectedItemIndex_ - index;
}

double QXCoverFlowLayout::horizontalOffsetForItem(QXIndex index) const {
    return horizontalOffsetForItem(metrics(), index);
}

QPointF QXCoverFlowLayout::originForItem(QXIndex index) const {
    return {horizontalOffsetForItem(index), visibleSize_.height() / 2 - itemSize().height() / 2};
}

QRectF QXCoverFlowLayout::itemFrameForItem(QXIndex index) const {
    return {originForItem(index), sizeForItem(index)};
}

QXTransform3D QXCoverFlowLayout::transformForItem(QXIndex index) const {
    if (index == selectedItemIndex_)
        return {};
    // With no selection every item counts as lying left of it.
    return index < selectedItemIndex_ ? leftTransform : rightTransform;
}

std::optional<QXCoverFlowLayoutAttributes>
QXCoverFlowLayout::layoutAttributesForItemAtIndex(QXIndex index) const {
    if (index >= numberOfItems_)
        return std::nullopt;
    return attributesForItem(metrics(), index, aspectRatioForItem(index));
}

int QXCoverFlowLayout::addObserver(Observer observer) {
    observers.emplace_back(nextToken, std::move(observer));
    return nextToken++;
}

void QXCoverFlowLayout::removeObserver(int token) {
    std::erase_if(observers, [token](const auto& entry) { return entry.first == token; });
}

void QXCoverFlowLayout::notify(const QString& key) {
    // Copied: an observer may add or remove observers.
    const auto current = observers;
    for (const auto& entry : current)
        entry.second(key);
}

QVariantMap QXCoverFlowLayout::toVariantMap() const {
    return {{visibleSizeKey, visibleSize_},
            {interItemSpacingKey, interItemSpacing_},
            {stackedAngleKey, stackedAngle_},
            {selectedItemIndexKey, QVariant::fromValue<quint64>(selectedItemIndex_)},
            {numberOfItemsKey, QVariant::fromValue<quint64>(numberOfItems_)},
            {stackedDistanceKey, stackedDistance_},
            {verticalMarginKey, verticalMargin_}};
}

void QXCoverFlowLayout::fromVariantMap(const QVariantMap& map) {
    // Stored as read, without the setter rules, except that sizes stay usable.
    auto number = [&](const QString& key, double fallback) {
        bool ok = false;
        const double v = map.value(key).toDouble(&ok);
        return ok ? v : fallback;
    };
    auto index = [&](const QString& key, QXIndex fallback) {
        bool ok = false;
        const quint64 v = map.value(key).toULongLong(&ok);
        return ok ? QXIndex(v) : fallback;
    };
    if (map.contains(visibleSizeKey))
        visibleSize_ = map.value(visibleSizeKey).toSizeF();
    interItemSpacing_ = number(interItemSpacingKey, interItemSpacing_);
    stackedAngle_ = number(stackedAngleKey, stackedAngle_);
    selectedItemIndex_ = index(selectedItemIndexKey, selectedItemIndex_);
    numberOfItems_ = index(numberOfItemsKey, numberOfItems_);
    stackedDistance_ = number(stackedDistanceKey, stackedDistance_);
    verticalMargin_ = number(verticalMarginKey, verticalMargin_);
    updateTrigonometry();
}
