#include "coverflow/QXCoverFlowLayer.h"

#include "coverflow/QXInvalidParameter.h"
#include "coverflow/QXLayerAccessibility.h"
#include "coverflow/QXTransaction.h"

#include <algorithm>
#include <cmath>

// The replicator of a cover-flow layer: painting walks only the item layers the last pass kept
// up to date, anything else brings every item up to date first.
class QXCoverFlowReplicator : public QXReplicatorLayer {
public:
    const QXCoverFlowLayer* owner = nullptr;

protected:
    void sublayerRangeToCollect(bool painting, std::size_t& from, std::size_t& to) override {
        QXReplicatorLayer::sublayerRangeToCollect(painting, from, to);
        if (owner)
            owner->rangeToCollect(painting, from, to);
    }
};

namespace {

void configureReplicator(QXReplicatorLayer& layer) {
    layer.setPreservesDepth(true);
    layer.setInstanceRedOffset(-0.4);
    layer.setInstanceGreenOffset(-0.4);
    layer.setInstanceBlueOffset(-0.4);
    layer.setAutoresizingMask(QXLayer::widthSizable | QXLayer::heightSizable);
    layer.qx_disableImplicitAnimationForKey(QStringLiteral("instanceTransform"));
    layer.qx_disableImplicitPositionAndBoundsAnimations();
}

// First index in [0, n) from which on the predicate holds (false before, true after).
template <typename Predicate> QXIndex firstWhere(QXIndex n, Predicate holds) {
    QXIndex lo = 0, hi = n;
    while (lo < hi) {
        const QXIndex mid = lo + (hi - lo) / 2;
        if (holds(mid))
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

QXLayer::Geometry geometryOf(const QXCoverFlowLayoutAttributes& a) {
    return {a.bounds(), a.anchorPointTransform().map(a.position()), a.anchorPoint(), a.zPosition(),
            a.transform()};
}

bool sameShape(const QXCoverFlowLayout::Metrics& a, const QXCoverFlowLayout::Metrics& b) {
    QXCoverFlowLayout::Metrics c = b;
    c.selectedItemIndex = a.selectedItemIndex;
    return a == c;
}

} // namespace

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
    auto own = std::make_shared<QXCoverFlowReplicator>();
    configureReplicator(*own);
    own->owner = this;
    replicator = own;
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
    static_cast<QXCoverFlowReplicator&>(*replicator).owner = nullptr;
}

std::shared_ptr<QXReplicatorLayer> QXCoverFlowLayer::createReplicatorLayer() {
    auto layer = QXReplicatorLayer::create();
    configureReplicator(*layer);
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
    needsEveryItem = true;
    placedBy.clear();
    history.clear();
    liveFrom = liveTo = 0;
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

void QXCoverFlowLayer::setPlacesEveryItem(bool every) {
    placesEveryItem_ = every;
    needsEveryItem = true;
    setNeedsLayout();
}

const std::vector<QXLayer::Ptr>& QXCoverFlowLayer::contentLayers() const {
    bringAllUpToDate();
    return replicator->sublayers();
}

QXLayer* QXCoverFlowLayer::contentLayerAtIndex(QXIndex index) const {
    const auto& layers = replicator->sublayers();
    if (index >= layers.size())
        return nullptr;
    bringUpToDate(index);
    return layers[index].get();
}

void QXCoverFlowLayer::placeByPass(QXLayer& layer, std::size_t index, const Pass& pass) const {
    if (index < pass.metrics.numberOfItems)
        QXCoverFlowLayout::attributesForItem(pass.metrics, index,
                                             layout_->aspectRatioForItem(index))
            .applyToLayer(layer);
}

void QXCoverFlowLayer::bringUpToDate(std::size_t index) const {
    const auto& layers = replicator->sublayers();
    if (history.empty() || index >= placedBy.size() || index >= layers.size())
        return;
    const std::uint64_t placed = placedBy[index];
    if (placed >= history.back().generation)
        return;
    QXLayer& layer = *layers[index];
    const Pass& rest = history.front();
    std::size_t next = 0;
    if (placed < rest.generation) {
        // Everything that ran before the resting pass has ended: the item simply stands where
        // that pass put it.
        QXTransaction::replay(rest.time, 0, true, rest.curve,
                              [&] { placeByPass(layer, index, rest); });
        next = 1;
    } else {
        next = std::size_t(placed - rest.generation) + 1;
    }
    // The passes since, each at its own time, so animations start from where they would have.
    for (; next < history.size(); ++next) {
        const Pass& pass = history[next];
        QXTransaction::replay(pass.time, pass.duration, pass.disableActions, pass.curve,
                              [&] { placeByPass(layer, index, pass); });
    }
    placedBy[index] = history.back().generation;
}

void QXCoverFlowLayer::bringAllUpToDate() const {
    if (history.empty())
        return;
    const std::uint64_t latest = history.back().generation;
    const std::size_t count = std::min(placedBy.size(), replicator->sublayers().size());
    DisplayBatch batch(*replicator);
    for (std::size_t i = 0; i < count; ++i)
        if (placedBy[i] < latest)
            bringUpToDate(i);
}

void QXCoverFlowLayer::rangeToCollect(bool painting, std::size_t& from, std::size_t& to) const {
    if (painting && liveBounds && placedBy.size() == replicator->sublayers().size() &&
        offScreenBounds(liveBounds->side, liveBounds->distance) == liveBounds) {
        from = std::min(liveFrom, to);
        to = std::min(liveTo, to);
        return;
    }
    bringAllUpToDate();
}

std::optional<QXCoverFlowLayer::OffScreenBounds>
QXCoverFlowLayer::offScreenBounds(double side, double distance) const {
    // Worked out only for the tree this layer builds, as built: the inner layers fill this one
    // without transforms, the perspective acts about the middle, the mirror only in y.
    const QRectF b = bounds();
    auto fills = [](const QXLayer& layer, const QRectF& space) {
        return layer.transform().isIdentity() && layer.zPosition() == 0 &&
               layer.bounds().topLeft() == QPointF(0, 0) && layer.frame() == space &&
               !layer.hasAnimations();
    };
    if (b.topLeft() != QPointF(0, 0) || !sublayerTransform().isIdentity() ||
        !fills(*transformer, b) || !fills(*replicator, transformer->bounds()) ||
        !replicator->sublayerTransform().isIdentity())
        return std::nullopt;
    const QXTransform3D& mirror = replicator->instanceTransformValue();
    if (mirror.m[0][0] != 1 || mirror.m[1][0] != 0 || mirror.m[2][0] != 0 || mirror.m[3][0] != 0 ||
        !mirror.isAffine())
        return std::nullopt;
    const double eye = eyeDistance_;
    if (!std::isfinite(eye) || !(eye > side + 1) || !std::isfinite(distance) || distance < 0 ||
        transformer->sublayerTransform() != QXTransform3D::makePerspective(eye))
        return std::nullopt;
    // The painted layer's visible area, in this layer's x.
    const QXLayer* top = QXLayer::layerBeingPainted();
    if (!top) {
        top = this;
        while (top->superlayer())
            top = top->superlayer();
    }
    const QXTransform3D toTop = matrixToAncestor(top->superlayer(), true);
    if (toTop.m[1][0] != 0 || toTop.m[2][0] != 0 || !toTop.isAffine() || !(toTop.m[0][0] > 0))
        return std::nullopt;
    const QRectF screen = top->frame();
    const double x0 = (screen.left() - toTop.m[3][0]) / toTop.m[0][0];
    const double x1 = (screen.right() - toTop.m[3][0]) / toTop.m[0][0];
    // The perspective pulls a point towards the middle at most by this factor: items stand at
    // most the distance back, and turn at most half their side out of their plane.
    const double pull = eye / (eye + distance + side / 2 + 1);
    const double mid = b.center().x();
    OffScreenBounds result;
    result.left = mid - std::max(0.0, mid - x0) / pull - 1;
    result.right = mid + std::max(0.0, x1 - mid) / pull + 1;
    result.side = side;
    result.distance = distance;
    return result;
}

void QXCoverFlowLayer::applyLayout() {
    layout_->setVisibleSize(bounds().size());
    Pass pass;
    pass.generation = ++generation;
    pass.metrics = layout_->metrics();
    pass.time = QXTransaction::now();
    pass.duration = QXTransaction::animationDuration();
    pass.disableActions = QXTransaction::disableActions();
    pass.curve = QXTransaction::sharedTimingFunction();
    const std::size_t count = replicator->sublayers().size();
    const double side = QXCoverFlowLayout::itemSide(pass.metrics);
    const double distance = -pass.metrics.leftTransform.m[3][2];
    const std::optional<OffScreenBounds> screen = offScreenBounds(side, distance);
    const bool some =
        !placesEveryItem_ && !needsEveryItem && screen && screen == liveBounds &&
        !history.empty() && placedBy.size() == count && count == pass.metrics.numberOfItems &&
        pass.metrics.selectedItemIndex < count && sameShape(history.back().metrics, pass.metrics);
    if (some)
        applySomeItems(pass, *screen);
    else
        applyEveryItem(pass, screen);
}

void QXCoverFlowLayer::applyEveryItem(const Pass& pass,
                                      const std::optional<OffScreenBounds>& screen) {
    const auto& layers = replicator->sublayers();
    if (placedBy.size() == layers.size())
        bringAllUpToDate();
    {
        DisplayBatch batch(*this);
        for (std::size_t i = 0; i < layers.size(); ++i)
            if (auto attributes = layout_->layoutAttributesForItemAtIndex(i))
                attributes->applyToLayer(*layers[i]);
    }
    placedBy.assign(layers.size(), pass.generation);
    history.assign(1, pass);
    liveFrom = 0;
    liveTo = layers.size();
    liveBounds = screen;
    needsEveryItem = false;
    animationsEnd = std::max(animationsEnd, QXTransaction::animationEnd());
    updateVisibleItems();
}

void QXCoverFlowLayer::applySomeItems(const Pass& pass, const OffScreenBounds& screen) {
    const auto& m = pass.metrics;
    const QXIndex count = replicator->sublayers().size();
    const double s = QXCoverFlowLayout::itemSide(m);
    auto offset = [&m](QXIndex i) { return QXCoverFlowLayout::horizontalOffsetForItem(m, i); };
    const QXIndex previousSelection = history.back().metrics.selectedItemIndex;
    // Once everything has come to rest, the passes before the last one no longer matter.
    if (pass.time >= animationsEnd) {
        Pass rest = history.back();
        history.assign(1, std::move(rest));
    }

    // The visible run, from the attributes the items are about to get. An item stays within its
    // square slot, so those wholly left or right of the view cannot be on screen.
    const QRectF visible = bounds();
    const QXIndex scanFrom =
        firstWhere(count, [&](QXIndex i) { return offset(i) + s >= visible.left() - 1; });
    const QXIndex scanTo =
        firstWhere(count, [&](QXIndex i) { return offset(i) > visible.right() + 1; });
    QXIndex first = QXNotFound, last = QXNotFound;
    for (QXIndex i = scanFrom; i < scanTo; ++i) {
        const QRectF frame = QXLayer::frameOf(
            geometryOf(QXCoverFlowLayout::attributesForItem(m, i, layout_->aspectRatioForItem(i))));
        if (frame.intersects(visible)) {
            if (first == QXNotFound)
                first = i;
            last = i;
        } else if (first != QXNotFound) {
            break;
        }
    }

    // Items that may reach the screen: the selection, the visible run widened, and every item
    // whose slot the perspective could pull into view.
    QXIndex bandFrom = m.selectedItemIndex, bandTo = m.selectedItemIndex;
    auto include = [&](QXIndex i) {
        bandFrom = std::min(bandFrom, i);
        bandTo = std::max(bandTo, i);
    };
    if (first != QXNotFound) {
        include(first >= 2 ? first - 2 : 0);
        include(std::min<QXIndex>(last + 2, count - 1));
    }
    include(std::min(count - 1, firstWhere(count, [&](QXIndex i) {
                         return offset(i) + 1.5 * s >= screen.left;
                     })));
    const QXIndex beyond =
        firstWhere(count, [&](QXIndex i) { return offset(i) - s / 2 > screen.right; });
    include(beyond > 0 ? beyond - 1 : 0);
    // With what was live before: those items may still be moving through the view.
    std::size_t from = bandFrom, to = bandTo + 1;
    if (liveTo > liveFrom) {
        from = std::min<std::size_t>(from, liveFrom);
        to = std::max<std::size_t>(to, liveTo);
    }
    {
        DisplayBatch batch(*this);
        const auto& layers = replicator->sublayers();
        for (std::size_t i = from; i < to; ++i) {
            bringUpToDate(i);
            placeByPass(*layers[i], i, pass);
            placedBy[i] = pass.generation;
        }
    }
    history.push_back(pass);
    animationsEnd = std::max(animationsEnd, QXTransaction::animationEnd());
    if (m.selectedItemIndex != previousSelection && !pass.disableActions && pass.duration > 0)
        animationsEnd = std::max(animationsEnd, pass.time + pass.duration);

    // Items at the ends that are off screen now, head somewhere off screen on the same side
    // and cannot come back without entering the band are left to catch up later.
    const double distance = screen.distance;
    auto offSide = [&](std::size_t i, bool left) {
        const QXLayer& layer = *replicator->sublayers()[i];
        const QXLayer::Geometry shown = layer.presentationGeometry();
        auto stands = [&](const QXLayer::Geometry& g) {
            if (g.bounds.width() > s || g.zPosition != 0 || !g.transform.isAffine() ||
                g.transform.m[3][2] < -distance - 1e-9)
                return false;
            const double x = g.position.x();
            return left ? x + s / 2 < screen.left : x - s / 2 > screen.right;
        };
        return stands(shown) && stands(layer.modelGeometry());
    };
    while (from < bandFrom && offSide(from, true))
        ++from;
    while (to - 1 > bandTo && offSide(to - 1, false))
        --to;
    liveFrom = from;
    liveTo = to;

    if (first == QXNotFound) {
        visibleItemIndexes_ = {};
        return;
    }
    offerVisibleItems(first, last);
}

void QXCoverFlowLayer::updateVisibleItems() {
    bringAllUpToDate();
    const auto& layers = replicator->sublayers();
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
    offerVisibleItems(first, last);
}

void QXCoverFlowLayer::offerVisibleItems(QXIndex first, QXIndex last) {
    const std::size_t count = replicator->sublayers().size();
    const QXIndex from = first >= 2 ? first - 2 : 0;
    const QXIndex to = std::min<QXIndex>(last + 2, count - 1);
    visibleItemIndexes_ = {from, to - from + 1};
    if (!dataSource_)
        return;
    // By index and re-checked: the data source may reload from inside.
    for (QXIndex i = from; i <= to && i < replicator->sublayers().size(); ++i) {
        const QXLayer::Ptr layer = replicator->sublayers()[i];
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
    if (k == QXNotFound || k >= replicator->sublayers().size())
        return {};
    const QXLayer& item = *contentLayerAtIndex(k);
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
            if (QXLayer* item = layer->contentLayerAtIndex(i))
                visible.push_back(item);
        return unignoredChildren(visible);
    });
    a.setWritableAccessibilityAttribute(
        selectedChildrenAttribute,
        [self]() -> QVariant {
            auto layer = self();
            if (!layer)
                return QVariantList();
            const QXIndex k = layer->layout_->selectedItemIndex();
            QXLayer* item = k == QXNotFound ? nullptr : layer->contentLayerAtIndex(k);
            if (!item)
                return QVariantList();
            return unignoredChildren({item});
        },
        [self](const QVariant& value) {
            auto layer = self();
            const QVariantList list = value.toList();
            if (!layer || list.isEmpty())
                return;
            QXLayer* chosen = layerOf(list.first());
            const auto& layers = layer->replicator->sublayers();
            for (std::size_t i = 0; chosen && i < layers.size(); ++i)
                if (layers[i].get() == chosen) {
                    layer->layout_->setSelectedItemIndex(i);
                    return;
                }
        });
}
