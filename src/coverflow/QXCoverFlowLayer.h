#pragma once

// Holds one layer per item and places them in perspective after a QXCoverFlowLayout: it rebuilds
// the item layers whenever the layout's count is set, animates them to their places when the
// selection or a layout parameter changes, mirrors them into a reflection, works out which items
// are on screen and asks its data source to fill those with images.
//
// Tree: this layer > transform layer (perspective) > replicator (reflection) > item layers.

#include "coverflow/QXCoverFlowLayout.h"
#include "coverflow/QXLayer.h"
#include "coverflow/QXNotFound.h"

#include <QEasingCurve>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QXCoverFlowLayer;
class QXCoverFlowReplicator;

class QXCoverFlowLayerDataSource {
public:
    virtual ~QXCoverFlowLayerDataSource() = default;
    // The item's layer; null adds none.
    virtual QXLayer::Ptr contentLayerForIndex(QXCoverFlowLayer& layer, QXIndex index) = 0;
    virtual void coverFlowLayerWillRelayout(QXCoverFlowLayer&) {}
    virtual void coverFlowLayerDidRelayout(QXCoverFlowLayer&) {}
    virtual void willShowLayer(QXCoverFlowLayer&, QXLayer& /*itemLayer*/, QXIndex /*index*/) {}
};

// A contiguous run of indexes; empty when length is 0.
struct QXIndexRange {
    QXIndex location = 0;
    QXIndex length = 0;
    bool isEmpty() const { return length == 0; }
    QXIndex first() const { return location; }
    QXIndex last() const { return location + length - 1; }
    bool contains(QXIndex i) const { return length > 0 && i >= location && i - location < length; }
    friend bool operator==(const QXIndexRange&, const QXIndexRange&) = default;
};

class QXCoverFlowLayer : public QXLayer {
    struct Tag {};

public:
    // Throws QXInvalidParameter("layout") without a layout.
    static std::shared_ptr<QXCoverFlowLayer>
    layerWithLayout(std::shared_ptr<QXCoverFlowLayout> layout);
    QXCoverFlowLayer(std::shared_ptr<QXCoverFlowLayout> layout, Tag);
    ~QXCoverFlowLayer() override;

    static std::shared_ptr<QXReplicatorLayer> createReplicatorLayer();
    static std::shared_ptr<QXTransformLayer> createTransformLayer();

    double eyeDistance() const { return eyeDistance_; }
    void setEyeDistance(double distance);
    bool inLiveResize() const { return inLiveResize_; }
    // Turning it off runs one layout pass.
    void setInLiveResize(bool live);
    QXCoverFlowLayerDataSource* dataSource() const { return dataSource_; }
    // Not owned; the owner clears it before it dies.
    void setDataSource(QXCoverFlowLayerDataSource* source) { dataSource_ = source; }
    QXIndexRange visibleItemIndexes() const { return visibleItemIndexes_; }
    QXCoverFlowLayout& layout() const { return *layout_; }
    double scrollDuration() const { return scrollDuration_; }
    void setScrollDuration(double seconds) { scrollDuration_ = seconds; }
    QXReplicatorLayer& replicatorLayer() const { return *replicator; }
    QXTransformLayer& transformLayer() const { return *transformer; }

    // All item layers, each brought up to date first (which may cost a walk over all of them).
    const std::vector<QXLayer::Ptr>& contentLayers() const;
    // One item layer, brought up to date; null beyond the item layers.
    QXLayer* contentLayerAtIndex(QXIndex index) const;
    QXIndex numberOfItems() const { return layout_->numberOfItems(); }
    bool showsReflection() const { return replicator->instanceCountValue() == 2; }
    void setShowsReflection(bool shows);
    double reflectionOffset() const { return replicator->instanceBlueOffset(); }
    // Clamped to -1 ... 0: how much darker the mirrored copy is in every channel.
    void setReflectionOffset(double offset);

    void reloadContent();
    // A point in this layer's space; QXNotFound over the background or a reflection.
    QXIndex indexOfLayerAtPoint(QPointF point);
    // The selected item's bounds in this layer's space; empty with no selection.
    QRectF selectedItemFrame() const;

    void layoutSublayers() override;
    void applyLayout();
    void updateVisibleItems();

    // A pass places only the items that are or may come on screen; the others catch up on the
    // passes they missed when they are next used, with the same result. An item that catches up
    // asks the layout's delegate for its aspect ratio then, not at each pass it missed. Off,
    // every pass places every item (the plain walk, kept to check the other against).
    bool placesEveryItem() const { return placesEveryItem_; }
    void setPlacesEveryItem(bool every);
    // The item layers the last pass kept up to date, [first, last + 1).
    QXIndexRange liveItemRange() const { return {liveFrom, liveTo - liveFrom}; }

private:
    friend class QXCoverFlowReplicator;

    // One layout pass as it ran, so that an item can be placed by it later.
    struct Pass {
        std::uint64_t generation = 0;
        QXCoverFlowLayout::Metrics metrics;
        double time = 0;
        double duration = 0;
        bool disableActions = true;
        std::shared_ptr<const QEasingCurve> curve;
    };
    // Where an item of the row may stand and still not reach the host's visible area.
    struct OffScreenBounds {
        double left = 0;  // an item whose anchor + s/2 is left of this is off screen
        double right = 0; // an item whose anchor - s/2 is right of this is off screen
        double side = 0;
        double distance = 0;
        friend bool operator==(const OffScreenBounds&, const OffScreenBounds&) = default;
    };
    std::optional<OffScreenBounds> offScreenBounds(double side, double distance) const;
    void applyEveryItem(const Pass& pass, const std::optional<OffScreenBounds>& screen);
    void applySomeItems(const Pass& pass, const OffScreenBounds& bounds);
    void placeByPass(QXLayer& layer, std::size_t index, const Pass& pass) const;
    void bringUpToDate(std::size_t index) const;
    void bringAllUpToDate() const;
    void rangeToCollect(bool painting, std::size_t& from, std::size_t& to) const;
    void offerVisibleItems(QXIndex first, QXIndex last);

    void setupObservations();
    void tearDownObservations();
    void setupAccessibility();

    std::shared_ptr<QXCoverFlowLayout> layout_;
    double eyeDistance_ = 1500;
    bool inLiveResize_ = false;
    QXCoverFlowLayerDataSource* dataSource_ = nullptr;
    QXIndexRange visibleItemIndexes_;
    double scrollDuration_ = 0.4;
    std::shared_ptr<QXReplicatorLayer> replicator;
    std::shared_ptr<QXTransformLayer> transformer;
    int observerToken = 0;

    bool placesEveryItem_ = false;
    bool needsEveryItem = true;
    std::uint64_t generation = 0;
    // The pass each item layer was last placed by.
    mutable std::vector<std::uint64_t> placedBy;
    // The passes since the row last came to rest; the first is the pass it rests in.
    std::vector<Pass> history;
    double animationsEnd = 0;
    std::size_t liveFrom = 0;
    std::size_t liveTo = 0;
    // What the live range was worked out for; painting only that range holds while it matches.
    std::optional<OffScreenBounds> liveBounds;
};
