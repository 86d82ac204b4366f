#include "coverflow/QXCoverFlowLayer.h"

#include "coverflow/QXInvalidParameter.h"
#include "coverflow/QXLayerAccessibility.h"
#include "coverflow/QXTransaction.h"

#include <algorithm>
#include <cmath>

std::shared_ptr<QXCoverFlowLayer>
QXCoverFlowLayer::layerWithLayout(std::shared_ptr<QXCoverFlowLayout> layout) {
    QX_PRECONDITION(layout != nullptr, "layout");
    auto layer = std::make_shared<QXCoverFlowLayer>(std::move(layout), Tag{});
    layer->setupObservations();
    layer->setupAccessibility();
    return layer;
}

QXCoverFlowLayer::QXCoverFlowLayer(std::shared_ptr<QXCoverFlowLayout> layout, Tag)
    : layout_(std::move(layout)) {
    replicator = createReplicatorLayer();
    transformer = createTransformLayer();
    transformer->addSublayer(replicator);
    addSublayer(transformer);
    setMasksToBounds(false);
    setEyeDistance(1500);
    // Its own delegate: no animation of its own properties during a live resize.
    setActionVeto([this](const QString&) { return inLiveResize_; });
    setAutoresizingMask(widthSizable | heightSizable);
}

QXCoverFlowLayer::~QXCoverFlowLayer() {
    tearDownObservations();
}

std::shared_ptr<QXReplicatorLayer> QXCoverFlowLayer::createReplicatorLayer() {
    auto layer = QXReplicatorLayer::create();
    layer->setPreservesDepth(true);
    layer->setInstanceRedOffset(-0.4);
    layer->setInstanceGreenOffset(-0.4);
    layer->setInstanceBlueOffset(-0.4);
    layer->setAutoresizingMask(widthSizable | heightSizable);
    layer->qx_disableImplicitAnimationForKey(QStringLiteral("instanceTransform"));
    layer->qx_disableImplicitPositionAndBoundsAnimations();
    return layer;
}

std::shared_ptr<QXTransformLayer> QXCoverFlowLayer::createTransformLayer() {
    auto layer = QXTransformLayer::create();
    layer->setAutoresizingMask(widthSizable | heightSizable);
    layer->qx_disableImplicitPositionAndBoundsAnimations();
    return layer;
}

void QXCoverFlowLayer::setEyeDistance(double distance) {
    eyeDistance_ = distance;
    transformer->setSublayerTransform(QXTransform3D::makePerspective(distance));
}

void QXCoverFlowLayer::setInLiveResize(bool live) {
    inLiveResize_ = live;
    if (!live)
        setNeedsLayout();
}

void QXCoverFlowLayer::setShowsReflection(bool shows) {
    replicator->setInstanceCount(shows ? 2 : 1);
    setNeedsDisplay();
}

void QXCoverFlowLayer::setReflectionOffset(double offset) {
    const double clamped = std::isnan(offset) ? 0.0 : std::clamp(offset, -1.0, 0.0);
    replicator->setInstanceBlueOffset(clamped);
    replicator->setInstanceGreenOffset(clamped);
    replicator->setInstanceRedOffset(clamped);
    setNeedsDisplay();
}

void QXCoverFlowLayer::setupObservations() {
    observerToken = layout_->addObserver([this](const QString& key) {
        if (key == QXCoverFlowLayout::numberOfItemsKey)
            reloadContent();
        else if (key == QXCoverFlowLayout::stackedAngleKey ||
                 key == QXCoverFlowLayout::interItemSpacingKey ||
                 key == QXCoverFlowLayout::selectedItemIndexKey ||
                 key == QXCoverFlowLayout::stackedDistanceKey ||
                 key == QXCoverFlowLayout::verticalMarginKey)
            setNeedsLayout();
    });
    // The initial notification: marked for layout and reloaded once.
    setNeedsLayout();
    reloadContent();
}

void QXCoverFlowLayer::tearDownObservations() {
    if (observerToken)
        layout_->removeObserver(observerToken);
    observerToken = 0;
}

void QXCoverFlowLayer::reloadContent() {
    replicator->removeAllSublayers();
    for (QXIndex i = 0; i < layout_->numberOfItems(); ++i) {
        if (!dataSource_)
            break;
        if (QXLayer::Ptr layer = dataSource_->contentLayerForIndex(*this, i))
            replicator->addSublayer(layer);
    }
    layoutSublayers();
}

void QXCoverFlowLayer::layoutSublayers() {
    if (dataSource_)
        dataSource_->coverFlowLayerWillRelayout(*this);
    layout_->setVisibleSize(bounds().size());
    // The second copy of every item is its mirror image, hanging from the floor line.
    replicator->setInstanceTransform(QXTransform3D::makeScale(1, -1, 1).then(
        QXTransform3D::makeTranslation(0, -layout_->itemSize().height(), 0)));
    QXTransaction::begin();
    QXTransaction::setDisableActions(inLiveResize_);
    QXTransaction::setAnimationDuration(scrollDuration_);
    QXTransaction::setTimingFunction(QXTransaction::easeOut());
    const std::weak_ptr<QXLayer> weak = weak_from_this();
    QXTransaction::setCompletionBlock([weak] {
        auto self = std::static_pointer_cast<QXCoverFlowLayer>(weak.lock());
        if (self && self->dataSource_)
            self->dataSource_->coverFlowLayerDidRelayout(*self);
    });
    applyLayout();
    QXTransaction::commit();
}

void QXCoverFlowLayer::applyLayout() {
    {
        DisplayBatch batch(*this);
        layout_->setVisibleSize(bounds().size());
        const auto& layers = contentLayers();
        for (std::size_t i = 0; i < layers.size(); ++i)
            if (auto attributes = layout_->layoutAttributesForItemAtIndex(i))
                attributes->applyToLayer(*layers[i]);
    }
    updateVisibleItems();
}

void QXCoverFlowLayer::updateVisibleItems() {
    const auto& layers = contentLayers();
    const QRectF visible = bounds();
    QXIndex first = QXNotFound, last = QXNotFound;
    for (std::size_t i = 0; i < layers.size(); ++i) {
        if (layers[i]->frame().intersects(visible)) {
            if (first == QXNotFound)
                first = i;
            last = i;
        } else if (first != QXNotFound) {
            break;
        }
    }
    if (first == QXNotFound) {
        visibleItemIndexes_ = {};
        return;
    }
    const QXIndex from = first >= 2 ? first - 2 : 0;
    const QXIndex to = std::min<QXIndex>(last + 2, layers.size() - 1);
    visibleItemIndexes_ = {from, to - from + 1};
    if (!dataSource_)
        return;
    // By index and re-checked: the data source may reload from inside.
    for (QXIndex i = from; i <= to && i < contentLayers().size(); ++i) {
        const QXLayer::Ptr layer = contentLayers()[i];
        if (dataSource_)
            dataSource_->willShowLayer(*this, *layer, i);
    }
}

QXIndex QXCoverFlowLayer::indexOfLayerAtPoint(QPointF point) {
    const QPointF inSuper = localToParent(presentationGeometry()).mapPoint(point);
    QXLayer* hit = hitTest(inSuper);
    if (!hit)
        return QXNotFound;
    const QVariant index = hit->value(QXCoverFlowLayerIndexKey);
    return index.isValid() ? QXIndex(index.toULongLong()) : QXNotFound;
}

QRectF QXCoverFlowLayer::selectedItemFrame() const {
    const QXIndex k = layout_->selectedItemIndex();
    const auto& layers = contentLayers();
    if (k == QXNotFound || k >= layers.size())
        return {};
    const QXLayer& item = *layers[k];
    return item.convertRectToLayer(item.bounds(), this);
}

void QXCoverFlowLayer::setupAccessibility() {
    using namespace QXAccessibility;
    QXLayerAccessibility& a = accessibility();
    const std::weak_ptr<QXLayer> weak = weak_from_this();
    auto self = [weak] { return std::static_pointer_cast<QXCoverFlowLayer>(weak.lock()); };
    a.setReadableAccessibilityAttribute(roleAttribute, [] { return QVariant(listRole); });
    a.setReadableAccessibilityAttribute(subroleAttribute,
                                        [] { return QVariant(contentListSubrole); });
    a.setReadableAccessibilityAttribute(orientationAttribute,
                                        [] { return QVariant(horizontalOrientationValue); });
    a.setReadableAccessibilityAttribute(visibleChildrenAttribute, [self]() -> QVariant {
        auto layer = self();
        if (!layer)
            return QVariantList();
        std::vector<QXLayer*> visible;
        const QXIndexRange range = layer->visibleItemIndexes_;
        for (QXIndex i = range.location; range.length && i <= range.last(); ++i)
            if (i < layer->contentLayers().size())
                visible.push_back(layer->contentLayers()[i].get());
        return unignoredChildren(visible);
    });
    a.setWritableAccessibilityAttribute(
        selectedChildrenAttribute,
        [self]() -> QVariant {
            auto layer = self();
            if (!layer)
                return QVariantList();
            const QXIndex k = layer->layout_->selectedItemIndex();
            if (k == QXNotFound || k >= layer->contentLayers().size())
                return QVariantList();
            return unignoredChildren({layer->contentLayers()[k].get()});
        },
        [self](const QVariant& value) {
            auto layer = self();
            const QVariantList list = value.toList();
            if (!layer || list.isEmpty())
                return;
            QXLayer* chosen = layerOf(list.first());
            const auto& layers = layer->contentLayers();
            for (std::size_t i = 0; chosen && i < layers.size(); ++i)
                if (layers[i].get() == chosen) {
                    layer->layout_->setSelectedItemIndex(i);
                    return;
                }
        });
}
