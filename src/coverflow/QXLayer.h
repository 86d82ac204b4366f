#pragma once

// A small layer tree in the manner of a compositing layer: bounds, position, anchor point, depth,
// a 3D transform and a sublayer transform, contents, colours and sublayers. Coordinates are
// y-up (origin at the bottom left), as the cover-flow geometry is written; the host flips once.
// Painting and hit testing walk the same ordered list of layers, so a hit always goes to what is
// painted on top.

#include "coverflow/QXTransform3D.h"

#include <QColor>
#include <QEasingCurve>
#include <QHash>
#include <QImage>
#include <QLinearGradient>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QSet>
#include <QString>
#include <QTransform>
#include <QVariant>

#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <vector>

class QPainter;
class QXLayerAccessibility;

// One constraint of a constraint-laid-out superlayer: this layer's attribute = the source's
// attribute x scale + offset. The source is "superlayer" or the name of a sibling.
struct QXConstraint {
    enum Attribute { minX, midX, maxX, width, minY, midY, maxY, height };
    Attribute attribute;
    QString sourceName;
    Attribute sourceAttribute;
    double scale = 1;
    double offset = 0;
};

// One drawn layer (or replicated copy of one) with where it lands in the root's space.
struct QXRenderEntry {
    class QXLayer* layer = nullptr;
    QRectF bounds;        // the layer's bounds as shown
    QXTransform3D matrix; // layer space -> root space (y-up)
    double colorScale[3] = {1, 1, 1};
    int instance = 0;                 // > 0 for replicated copies, which are not hit
    std::optional<QPainterPath> clip; // root space
};

class QXLayer : public std::enable_shared_from_this<QXLayer> {
public:
    using Ptr = std::shared_ptr<QXLayer>;
    enum class Gravity { resize, resizeAspect, resizeAspectFill };
    enum Autoresizing { notSizable = 0, widthSizable = 1, heightSizable = 2 };

    static Ptr create() { return std::make_shared<QXLayer>(); }
    QXLayer();
    virtual ~QXLayer();
    QXLayer(const QXLayer&) = delete;
    QXLayer& operator=(const QXLayer&) = delete;

    QString name() const { return name_; }
    void setName(const QString& name) { name_ = name; }

    // Model values. Position is where the anchor point lies in the superlayer.
    QRectF bounds() const { return bounds_; }
    void setBounds(const QRectF& bounds);
    QPointF position() const { return position_; }
    void setPosition(QPointF position);
    QPointF anchorPoint() const { return anchorPoint_; }
    void setAnchorPoint(QPointF anchor);
    double zPosition() const { return zPosition_; }
    void setZPosition(double z);
    const QXTransform3D& transform() const { return transform_; }
    void setTransform(const QXTransform3D& transform);
    const QXTransform3D& sublayerTransform() const { return sublayerTransform_; }
    void setSublayerTransform(const QXTransform3D& transform);
    // Bounding box of the transformed bounds in the superlayer (without its sublayer transform).
    QRectF frame() const;
    void setFrame(const QRectF& frame);

    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    bool masksToBounds() const { return masksToBounds_; }
    void setMasksToBounds(bool masks) { masksToBounds_ = masks; }
    const QImage& contents() const { return contents_; }
    void setContents(const QImage& image);
    Gravity contentsGravity() const { return gravity_; }
    void setContentsGravity(Gravity gravity) { gravity_ = gravity; }
    QColor backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const QColor& c) { backgroundColor_ = c; }
    QColor borderColor() const { return borderColor_; }
    void setBorderColor(const QColor& c) { borderColor_ = c; }
    double borderWidth() const { return borderWidth_; }
    void setBorderWidth(double w) { borderWidth_ = w; }
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double r) { cornerRadius_ = r; }
    int autoresizingMask() const { return autoresizing_; }
    void setAutoresizingMask(int mask) { autoresizing_ = mask; }

    // Tree.
    const std::vector<Ptr>& sublayers() const { return sublayers_; }
    QXLayer* superlayer() const { return superlayer_; }
    QXLayer* rootLayer();
    void addSublayer(const Ptr& layer);
    void insertSublayer(const Ptr& layer, std::size_t index);
    void removeFromSuperlayer();
    void removeAllSublayers();
    QXLayer* sublayerNamed(const QString& name) const;

    // Values by key (such as the item index of a cover).
    QVariant value(const QString& key) const { return values_.value(key); }
    void setValue(const QString& key, const QVariant& v) {
        auto it = values_.find(key);
        if (it == values_.end())
            values_.insert(key, v);
        else if (*it != v)
            *it = v;
    }

    // Implicit animations per key: a disabled key changes at once even inside a transaction.
    void qx_disableImplicitAnimationForKey(const QString& key);
    void qx_enableImplicitAnimationForKey(const QString& key);
    void qx_disableImplicitPositionAndBoundsAnimations();
    void qx_enableImplicitPositionAndBoundsAnimations();
    // Key -> enabled (false: disabled), mirroring an actions dictionary.
    const QHash<QString, bool>& actions() const { return actions_; }
    virtual bool isActionDisabled(const QString& key) const;
    // A delegate that may veto every action of this layer (true: no animation).
    void setActionVeto(std::function<bool(const QString&)> veto) { actionVeto_ = std::move(veto); }
    // Union of the frame with the sublayers' bounding rectangles, each taken as reported.
    QRectF qx_boundingRect() const;

    // Layout: marks are coalesced and run by layoutIfNeeded (the host calls it before painting).
    void setNeedsLayout();
    bool needsLayout() const { return needsLayout_; }
    void layoutIfNeeded();
    virtual void layoutSublayers();
    void setUsesConstraintLayout(bool uses) { usesConstraints_ = uses; }
    void setConstraints(std::vector<QXConstraint> constraints) {
        constraints_ = std::move(constraints);
    }
    const std::vector<QXConstraint>& constraints() const { return constraints_; }
    // The size a constraint layout gives this layer where no constraint sets one; none keeps
    // the layer's own size.
    virtual std::optional<QSizeF> preferredFrameSize() const { return std::nullopt; }
    // Called when this tree needs layout or painting; set on the root by the host.
    void setChangeHandler(std::function<void()> handler) { changeHandler_ = std::move(handler); }
    void setNeedsDisplay();
    // Collects the change notifications of many layers into one, sent when the batch ends.
    class DisplayBatch {
    public:
        explicit DisplayBatch(QXLayer& layer);
        ~DisplayBatch();
        DisplayBatch(const DisplayBatch&) = delete;
        DisplayBatch& operator=(const DisplayBatch&) = delete;

    private:
        QXLayer& layer;
    };

    // Presentation: what is on screen now, while animations run.
    struct Geometry {
        QRectF bounds;
        QPointF position;
        QPointF anchorPoint;
        double zPosition = 0;
        QXTransform3D transform;
    };
    Geometry modelGeometry() const;
    Geometry presentationGeometry() const;
    // The frame of a layer with these values (what frame() gives for the model values).
    static QRectF frameOf(const Geometry& g);
    bool hasAnimations() const;
    void removeAllAnimations();

    // This layer's space -> its superlayer's sublayer space.
    static QXTransform3D localToParent(const Geometry& g);
    // This layer's space -> the space of ancestor (model values, with sublayer transforms).
    QXTransform3D matrixToAncestor(const QXLayer* ancestor, bool presentation = false) const;
    QPointF convertPointToLayer(QPointF point, const QXLayer* ancestor) const;
    QRectF convertRectToLayer(const QRectF& rect, const QXLayer* ancestor) const;

    // The paint order of this subtree; matrices end in this layer's superlayer space.
    std::vector<QXRenderEntry> renderList(bool presentation = true);
    // Paints the subtree into a host of the given height (flipping y) with the painter's own
    // transform (device pixel ratio included) applied on top.
    void render(QPainter& painter, double hostHeight);
    // The layer whose render() is running, if any.
    static const QXLayer* layerBeingPainted();
    // The deepest layer under a point of the superlayer's space, in reverse paint order.
    QXLayer* hitTest(QPointF pointInSuperlayer);
    bool containsPoint(QPointF pointInLayer) const { return bounds_.contains(pointInLayer); }

    // Accessibility registry of this layer (made on first use).
    QXLayerAccessibility& accessibility();
    QXLayerAccessibility* accessibilityIfAny() const { return accessibility_.get(); }

    // Used by transactions.
    bool isPresented() const { return presented_; }
    void markPresented() { presented_ = true; }

protected:
    // Layers whose sublayers keep their depth and are sorted by it (transform layers).
    virtual bool preservesDepth() const { return false; }
    virtual bool drawsOwnContent() const { return true; }
    // Replication: copies 1 ... count - 1 of each sublayer, each under one more instance
    // transform and colour offset.
    virtual int instanceCount() const { return 1; }
    virtual QXTransform3D instanceTransform() const { return {}; }
    virtual void instanceColorOffsets(double offsets[3]) const {
        offsets[0] = offsets[1] = offsets[2] = 0;
    }
    // The run [from, to) of sublayers that painting (painting true) or hit testing and render
    // lists walk; a subclass may narrow painting to what can reach the screen.
    virtual void sublayerRangeToCollect(bool painting, std::size_t& from, std::size_t& to) {
        (void)painting;
        from = 0;
        to = sublayers_.size();
    }
    // Paints background, contents and border in layer space; colours scaled per channel.
    virtual void paintContents(QPainter& painter, const double colorScale[3]);
    static QColor scaled(const QColor& c, const double colorScale[3]);
    const QImage& contentsScaled(const double colorScale[3]) const;
    // Draws the source part of an image into a rectangle of layer space (y-up, first row on
    // top), through copies kept per size so that most frames sample little or not at all.
    void drawImageInRect(QPainter& painter, const QImage& image, const QRectF& target,
                         const QRectF& source) const;

private:
    template <typename T> struct Animation {
        T from;
        T to;
        double start = 0;
        double duration = 0;
        std::shared_ptr<const QEasingCurve> curve;
    };
    template <typename T>
    void change(T& model, const T& value, std::optional<Animation<T>>& animation,
                const QString& key);
    template <typename T>
    static T evaluate(const std::optional<Animation<T>>& animation, const T& model);

    struct DepthGroup;
    void collect(const QXTransform3D& toRoot, const QXTransform3D& toGroup,
                 const double colorScale[3], int instance, const std::optional<QPainterPath>& clip,
                 bool presentation, bool painting, std::vector<QXRenderEntry>& out,
                 DepthGroup* group);
    std::vector<QXRenderEntry> collectList(bool presentation, bool painting);
    void applyConstraints();
    void markAncestorsForLayout();
    void resizeSublayers(QSizeF oldSize, QSizeF newSize);

    QString name_;
    QRectF bounds_;
    QPointF position_;
    QPointF anchorPoint_{0.5, 0.5};
    double zPosition_ = 0;
    QXTransform3D transform_;
    QXTransform3D sublayerTransform_;
    bool hidden_ = false;
    bool masksToBounds_ = false;
    QImage contents_;
    Gravity gravity_ = Gravity::resize;
    QColor backgroundColor_;
    QColor borderColor_;
    double borderWidth_ = 0;
    double cornerRadius_ = 0;
    int autoresizing_ = notSizable;
    std::vector<Ptr> sublayers_;
    QXLayer* superlayer_ = nullptr;
    QHash<QString, QVariant> values_;
    QHash<QString, bool> actions_;
    std::function<bool(const QString&)> actionVeto_;
    bool needsLayout_ = false;
    bool sublayerNeedsLayout_ = false; // some layer below is marked for layout
    bool usesConstraints_ = false;
    std::vector<QXConstraint> constraints_;
    std::function<void()> changeHandler_;
    bool presented_ = false;
    std::unique_ptr<QXLayerAccessibility> accessibility_;

    std::optional<Animation<QPointF>> positionAnimation;
    std::optional<Animation<QPointF>> anchorAnimation;
    std::optional<Animation<double>> zAnimation;
    std::optional<Animation<QXTransform3D>> transformAnimation;
    std::optional<Animation<QRectF>> boundsAnimation;

    // The contents darkened for a replicated copy, made once per image and scale.
    mutable QImage scaledContents;
    mutable qint64 scaledKey = 0;
    mutable double scaledFactor[3] = {1, 1, 1};
    // Resampled copies of what was drawn lately (the layer and its reflection, at rest and in
    // motion), under one byte budget shared by all layers.
    struct DrawnCopy {
        qint64 key = 0;
        QRectF source;
        QSize size;
        bool mirrored = false;
        QImage image;
        bool listed = false;
        std::list<std::pair<const QXLayer*, int>>::iterator use;
    };
    static constexpr int drawnCopyCount = 4;
    mutable DrawnCopy drawnCopies[drawnCopyCount];
    mutable int nextDrawnCopy = 0;
    void releaseDrawnCopy(int slot) const;
    const QImage& drawnCopy(const QImage& image, const QRectF& source, QSize size,
                            bool mirrored) const;
};

// A layer whose sublayers share one 3D space, sorted by depth; it draws nothing itself.
class QXTransformLayer : public QXLayer {
public:
    static std::shared_ptr<QXTransformLayer> create() {
        return std::make_shared<QXTransformLayer>();
    }

protected:
    bool preservesDepth() const override { return true; }
    bool drawsOwnContent() const override { return false; }
};

// Draws each sublayer instanceCount times, each copy under one more instance transform (applied
// about this layer's anchor point) and darkened by one more colour offset per channel.
class QXReplicatorLayer : public QXLayer {
public:
    static std::shared_ptr<QXReplicatorLayer> create() {
        return std::make_shared<QXReplicatorLayer>();
    }

    int instanceCountValue() const { return count; }
    void setInstanceCount(int n) { count = std::max(0, n); }
    const QXTransform3D& instanceTransformValue() const { return transformValue; }
    void setInstanceTransform(const QXTransform3D& t) { transformValue = t; }
    double instanceRedOffset() const { return offsets[0]; }
    double instanceGreenOffset() const { return offsets[1]; }
    double instanceBlueOffset() const { return offsets[2]; }
    void setInstanceRedOffset(double v) { offsets[0] = v; }
    void setInstanceGreenOffset(double v) { offsets[1] = v; }
    void setInstanceBlueOffset(double v) { offsets[2] = v; }
    bool preservesDepthValue() const { return preserves; }
    void setPreservesDepth(bool p) { preserves = p; }

protected:
    bool preservesDepth() const override { return preserves; }
    int instanceCount() const override { return count; }
    QXTransform3D instanceTransform() const override { return transformValue; }
    void instanceColorOffsets(double out[3]) const override {
        out[0] = offsets[0];
        out[1] = offsets[1];
        out[2] = offsets[2];
    }

private:
    int count = 1;
    QXTransform3D transformValue;
    double offsets[3] = {0, 0, 0};
    bool preserves = false;
};

// An axial gradient filling the bounds; points are in unit coordinates, y-up.
class QXGradientLayer : public QXLayer {
public:
    static std::shared_ptr<QXGradientLayer> create() { return std::make_shared<QXGradientLayer>(); }

    std::vector<QColor> colors;
    std::vector<double> locations;
    QPointF startPoint{0.5, 0};
    QPointF endPoint{0.5, 1};

protected:
    void paintContents(QPainter& painter, const double colorScale[3]) override;

private:
    // The gradient as last painted on a grid of device pixels; repainted when anything that
    // shapes it changes.
    struct Painted {
        QGradientStops stops;
        QPointF start;
        QPointF end;
        QRectF bounds;
        QTransform device; // layer space -> the copy's pixels
        int hints = 0;
        QImage image;
    };
    Painted painted;
};
