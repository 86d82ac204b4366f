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

#include <memory>

class QXCoverFlowLayer;

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

    const std::vector<QXLayer::Ptr>& contentLayers() const { return replicator->sublayers(); }
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

private:
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
};
