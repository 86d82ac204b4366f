#include "coverflow/QXLayer.h"

#include "coverflow/QXLayerAccessibility.h"
#include "coverflow/QXTransaction.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace {

QPointF lerp(QPointF a, QPointF b, double t) {
    return a + (b - a) * t;
}
double lerp(double a, double b, double t) {
    return a + (b - a) * t;
}
QRectF lerp(const QRectF& a, const QRectF& b, double t) {
    return {lerp(a.x(), b.x(), t), lerp(a.y(), b.y(), t), lerp(a.width(), b.width(), t),
            lerp(a.height(), b.height(), t)};
}
QXTransform3D lerp(const QXTransform3D& a, const QXTransform3D& b, double t) {
    return QXTransform3D::interpolate(a, b, t);
}

QPolygonF mappedQuad(const QXTransform3D& m, const QRectF& r) {
    QPolygonF quad;
    for (QPointF p : {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()})
        quad << m.mapPoint(p);
    return quad;
}

bool inFrontOfEye(const QXTransform3D& m, const QRectF& r) {
    for (QPointF p : {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()})
        if (m.map({p.x(), p.y(), 0, 1}).w <= 1e-9)
            return false;
    return true;
}

} // namespace

QXLayer::QXLayer() = default;

QXLayer::~QXLayer() {
    for (int slot = 0; slot < drawnCopyCount; ++slot)
        releaseDrawnCopy(slot);
    for (auto& child : sublayers_)
        child->superlayer_ = nullptr;
}

template <typename T>
void QXLayer::change(T& model, const T& value, std::optional<Animation<T>>& animation,
                     const QString& key) {
    if (model == value) {
        // Reapplying a value keeps an animation that is already heading there.
        if (!QXTransaction::isOpen())
            markPresented();
        return;
    }
    // What is on screen now is only worked out when a change may animate from it.
    if (QXTransaction::shouldAnimate(*this, key)) {
        const T current = evaluate(animation, model);
        if (current == value) {
            animation.reset();
            model = value;
            setNeedsDisplay();
            return;
        }
        const double start = QXTransaction::now();
        const double duration = QXTransaction::animationDuration();
        animation =
            Animation<T>{current, value, start, duration, QXTransaction::sharedTimingFunction()};
        QXTransaction::noteAnimation(start + duration);
    } else {
        animation.reset();
    }
    model = value;
    setNeedsDisplay();
}

template <typename T>
T QXLayer::evaluate(const std::optional<Animation<T>>& animation, const T& model) {
    if (!animation || animation->duration <= 0)
        return model;
    const double t = (QXTransaction::now() - animation->start) / animation->duration;
    if (t >= 1)
        return model;
    if (t <= 0)
        return animation->from;
    return lerp(animation->from, animation->to, animation->curve->valueForProgress(t));
}

void QXLayer::setBounds(const QRectF& bounds) {
    const QSizeF old = bounds_.size();
    change(bounds_, bounds, boundsAnimation, QStringLiteral("bounds"));
    if (old != bounds_.size()) {
        resizeSublayers(old, bounds_.size());
        setNeedsLayout();
    }
}

void QXLayer::setPosition(QPointF position) {
    change(position_, position, positionAnimation, QStringLiteral("position"));
}

void QXLayer::setAnchorPoint(QPointF anchor) {
    change(anchorPoint_, anchor, anchorAnimation, QStringLiteral("anchorPoint"));
}

void QXLayer::setZPosition(double z) {
    change(zPosition_, z, zAnimation, QStringLiteral("zPosition"));
}

void QXLayer::setTransform(const QXTransform3D& transform) {
    change(transform_, transform, transformAnimation, QStringLiteral("transform"));
}

void QXLayer::setSublayerTransform(const QXTransform3D& transform) {
    sublayerTransform_ = transform;
    setNeedsDisplay();
}

QRectF QXLayer::frame() const {
    return frameOf(modelGeometry());
}

QRectF QXLayer::frameOf(const Geometry& g) {
    // Hot in the visible-range walk: no polygon, just the corners' extremes.
    const QXTransform3D m = localToParent(g);
    const QRectF& b = g.bounds;
    double minX = qInf(), minY = qInf(), maxX = -qInf(), maxY = -qInf();
    for (QPointF corner : {b.topLeft(), b.topRight(), b.bottomRight(), b.bottomLeft()}) {
        const QPointF p = m.mapPoint(corner);
        minX = std::min(minX, p.x());
        maxX = std::max(maxX, p.x());
        minY = std::min(minY, p.y());
        maxY = std::max(maxY, p.y());
    }
    return QRectF(QPointF(minX, minY), QPointF(maxX, maxY));
}

void QXLayer::setFrame(const QRectF& frame) {
    const QRectF b(bounds_.topLeft(), frame.size());
    setBounds(b);
    setPosition({frame.x() + anchorPoint_.x() * frame.width(),
                 frame.y() + anchorPoint_.y() * frame.height()});
}

void QXLayer::resizeSublayers(QSizeF oldSize, QSizeF newSize) {
    const double dw = newSize.width() - oldSize.width();
    const double dh = newSize.height() - oldSize.height();
    for (auto& child : sublayers_) {
        if (child->autoresizing_ == notSizable)
            continue;
        QRectF f = child->frame();
        if (child->autoresizing_ & widthSizable)
            f.setWidth(std::max(0.0, f.width() + dw));
        if (child->autoresizing_ & heightSizable)
            f.setHeight(std::max(0.0, f.height() + dh));
        child->setFrame(f);
    }
}

void QXLayer::setHidden(bool hidden) {
    if (hidden_ == hidden)
        return;
    hidden_ = hidden;
    setNeedsDisplay();
}

void QXLayer::setContents(const QImage& image) {
    contents_ = image;
    setNeedsDisplay();
}

QXLayer* QXLayer::rootLayer() {
    QXLayer* layer = this;
    while (layer->superlayer_)
        layer = layer->superlayer_;
    return layer;
}

void QXLayer::addSublayer(const Ptr& layer) {
    insertSublayer(layer, sublayers_.size());
}

void QXLayer::insertSublayer(const Ptr& layer, std::size_t index) {
    if (!layer || layer.get() == this)
        return;
    const Ptr keep = layer;
    keep->removeFromSuperlayer();
    index = std::min(index, sublayers_.size());
    sublayers_.insert(sublayers_.begin() + static_cast<std::ptrdiff_t>(index), keep);
    keep->superlayer_ = this;
    if (keep->needsLayout_ || keep->sublayerNeedsLayout_)
        keep->markAncestorsForLayout();
    setNeedsLayout();
}

void QXLayer::removeFromSuperlayer() {
    QXLayer* parent = superlayer_;
    if (!parent)
        return;
    const Ptr keep = shared_from_this();
    std::erase_if(parent->sublayers_, [this](const Ptr& p) { return p.get() == this; });
    superlayer_ = nullptr;
    parent->setNeedsDisplay();
}

void QXLayer::removeAllSublayers() {
    for (auto& child : sublayers_)
        child->superlayer_ = nullptr;
    sublayers_.clear();
    setNeedsDisplay();
}

QXLayer* QXLayer::sublayerNamed(const QString& name) const {
    for (const auto& child : sublayers_)
        if (child->name_ == name)
            return child.get();
    return nullptr;
}

void QXLayer::qx_disableImplicitAnimationForKey(const QString& key) {
    actions_.insert(key, false);
}

void QXLayer::qx_enableImplicitAnimationForKey(const QString& key) {
    actions_.remove(key);
}

void QXLayer::qx_disableImplicitPositionAndBoundsAnimations() {
    qx_disableImplicitAnimationForKey(QStringLiteral("bounds"));
    qx_disableImplicitAnimationForKey(QStringLiteral("position"));
}

void QXLayer::qx_enableImplicitPositionAndBoundsAnimations() {
    qx_enableImplicitAnimationForKey(QStringLiteral("position"));
    qx_enableImplicitAnimationForKey(QStringLiteral("bounds"));
}

bool QXLayer::isActionDisabled(const QString& key) const {
    if (actions_.value(key, true) == false)
        return true;
    return actionVeto_ && actionVeto_(key);
}

QRectF QXLayer::qx_boundingRect() const {
    QRectF r = frame();
    for (const auto& child : sublayers_)
        r = r.united(child->qx_boundingRect());
    return r;
}

void QXLayer::setNeedsLayout() {
    needsLayout_ = true;
    markAncestorsForLayout();
    setNeedsDisplay();
}

void QXLayer::markAncestorsForLayout() {
    // Every layer whose flag is set has its ancestors' set too, so the climb ends early.
    for (QXLayer* p = superlayer_; p && !p->sublayerNeedsLayout_; p = p->superlayer_)
        p->sublayerNeedsLayout_ = true;
}

namespace {
thread_local int displayBatchDepth = 0;
thread_local bool displayBatchDirty = false;
} // namespace

QXLayer::DisplayBatch::DisplayBatch(QXLayer& layer)
    : layer(layer) {
    ++displayBatchDepth;
}

QXLayer::DisplayBatch::~DisplayBatch() {
    if (--displayBatchDepth == 0 && displayBatchDirty) {
        displayBatchDirty = false;
        layer.setNeedsDisplay();
    }
}

void QXLayer::setNeedsDisplay() {
    if (displayBatchDepth > 0) {
        displayBatchDirty = true;
        return;
    }
    QXLayer* layer = this;
    while (layer->superlayer_)
        layer = layer->superlayer_;
    if (layer->changeHandler_)
        layer->changeHandler_();
}

void QXLayer::layoutIfNeeded() {
    if (needsLayout_) {
        needsLayout_ = false;
        layoutSublayers();
    }
    // Only subtrees with a layer marked for layout are walked: rows hold thousands of layers.
    if (!sublayerNeedsLayout_)
        return;
    sublayerNeedsLayout_ = false;
    // By index: a layout pass may replace sublayers.
    for (std::size_t i = 0; i < sublayers_.size(); ++i) {
        QXLayer* raw = sublayers_[i].get();
        if (!raw->needsLayout_ && !raw->sublayerNeedsLayout_)
            continue;
        const Ptr child = sublayers_[i];
        child->layoutIfNeeded();
    }
}

void QXLayer::layoutSublayers() {
    if (usesConstraints_)
        applyConstraints();
}

void QXLayer::applyConstraints() {
    auto read = [](const QRectF& r, QXConstraint::Attribute a) {
        switch (a) {
        case QXConstraint::minX:
            return r.left();
        case QXConstraint::midX:
            return r.center().x();
        case QXConstraint::maxX:
            return r.right();
        case QXConstraint::width:
            return r.width();
        case QXConstraint::minY:
            return r.top();
        case QXConstraint::midY:
            return r.center().y();
        case QXConstraint::maxY:
            return r.bottom();
        case QXConstraint::height:
            return r.height();
        }
        return 0.0;
    };
    // Layers placed relative to a sibling go after those placed relative to this layer alone,
    // so that they read where their sibling is now.
    std::vector<QXLayer*> order;
    for (const auto& child : sublayers_)
        if (!child->constraints_.empty())
            order.push_back(child.get());
    std::stable_partition(order.begin(), order.end(), [](const QXLayer* child) {
        return std::all_of(
            child->constraints_.begin(), child->constraints_.end(),
            [](const QXConstraint& c) { return c.sourceName == QLatin1String("superlayer"); });
    });
    for (QXLayer* child : order) {
        QRectF f = child->frame();
        if (const auto preferred = child->preferredFrameSize())
            f.setSize(*preferred);
        auto value = [&](const QXConstraint& c) -> std::optional<double> {
            QRectF source;
            if (c.sourceName == QLatin1String("superlayer"))
                source = bounds_;
            else if (QXLayer* sibling = sublayerNamed(c.sourceName))
                source = sibling->frame();
            else
                return std::nullopt;
            return read(source, c.sourceAttribute) * c.scale + c.offset;
        };
        // Sizes first, so that positions can use them. Both edges of an axis given and no size:
        // the layer spans from one to the other.
        std::optional<double> edge[4]; // minX, maxX, minY, maxY
        bool sized[2] = {false, false};
        for (const auto& c : child->constraints_) {
            const auto v = value(c);
            if (v && c.attribute == QXConstraint::width) {
                f.setWidth(std::max(0.0, *v));
                sized[0] = true;
            } else if (v && c.attribute == QXConstraint::height) {
                f.setHeight(std::max(0.0, *v));
                sized[1] = true;
            } else if (v && c.attribute == QXConstraint::minX) {
                edge[0] = v;
            } else if (v && c.attribute == QXConstraint::maxX) {
                edge[1] = v;
            } else if (v && c.attribute == QXConstraint::minY) {
                edge[2] = v;
            } else if (v && c.attribute == QXConstraint::maxY) {
                edge[3] = v;
            }
        }
        if (!sized[0] && edge[0] && edge[1])
            f.setWidth(std::max(0.0, *edge[1] - *edge[0]));
        if (!sized[1] && edge[2] && edge[3])
            f.setHeight(std::max(0.0, *edge[3] - *edge[2]));
        for (const auto& c : child->constraints_) {
            const auto v = value(c);
            if (!v)
                continue;
            switch (c.attribute) {
            case QXConstraint::minX:
                f.moveLeft(*v);
                break;
            case QXConstraint::midX:
                f.moveLeft(*v - f.width() / 2);
                break;
            case QXConstraint::maxX:
                f.moveLeft(*v - f.width());
                break;
            case QXConstraint::minY:
                f.moveTop(*v);
                break;
            case QXConstraint::midY:
                f.moveTop(*v - f.height() / 2);
                break;
            case QXConstraint::maxY:
                f.moveTop(*v - f.height());
                break;
            default:
                break;
            }
        }
        child->setFrame(f);
    }
}

QXLayer::Geometry QXLayer::modelGeometry() const {
    return {bounds_, position_, anchorPoint_, zPosition_, transform_};
}

QXLayer::Geometry QXLayer::presentationGeometry() const {
    return {evaluate(boundsAnimation, bounds_), evaluate(positionAnimation, position_),
            evaluate(anchorAnimation, anchorPoint_), evaluate(zAnimation, zPosition_),
            evaluate(transformAnimation, transform_)};
}

bool QXLayer::hasAnimations() const {
    const double t = QXTransaction::now();
    auto running = [t](const auto& a) { return a && t < a->start + a->duration; };
    return running(positionAnimation) || running(anchorAnimation) || running(zAnimation) ||
           running(transformAnimation) || running(boundsAnimation);
}

void QXLayer::removeAllAnimations() {
    positionAnimation.reset();
    anchorAnimation.reset();
    zAnimation.reset();
    transformAnimation.reset();
    boundsAnimation.reset();
}

QXTransform3D QXLayer::localToParent(const Geometry& g) {
    const QRectF& b = g.bounds;
    QXTransform3D m = QXTransform3D::makeTranslation(-(b.x() + g.anchorPoint.x() * b.width()),
                                                     -(b.y() + g.anchorPoint.y() * b.height()), 0);
    if (!g.transform.isIdentity())
        m = m.then(g.transform);
    return m.then(QXTransform3D::makeTranslation(g.position.x(), g.position.y(), g.zPosition));
}

namespace {

// The sublayer transform acts about the layer's anchor point.
QXTransform3D sublayerConversion(const QXLayer::Geometry& g, const QXTransform3D& sublayer) {
    if (sublayer.isIdentity())
        return {};
    const double ax = g.bounds.x() + g.anchorPoint.x() * g.bounds.width();
    const double ay = g.bounds.y() + g.anchorPoint.y() * g.bounds.height();
    return QXTransform3D::makeTranslation(-ax, -ay, 0)
        .then(sublayer)
        .then(QXTransform3D::makeTranslation(ax, ay, 0));
}

} // namespace

QXTransform3D QXLayer::matrixToAncestor(const QXLayer* ancestor, bool presentation) const {
    QXTransform3D m;
    const QXLayer* layer = this;
    while (layer && layer != ancestor) {
        m = m.then(
            localToParent(presentation ? layer->presentationGeometry() : layer->modelGeometry()));
        const QXLayer* parent = layer->superlayer_;
        if (!parent)
            break;
        const Geometry pg = presentation ? parent->presentationGeometry() : parent->modelGeometry();
        m = m.then(sublayerConversion(pg, parent->sublayerTransform_));
        if (!parent->preservesDepth())
            m = m.flattened();
        layer = parent;
        if (layer == ancestor)
            return m;
    }
    return m;
}

QPointF QXLayer::convertPointToLayer(QPointF point, const QXLayer* ancestor) const {
    return matrixToAncestor(ancestor).mapPoint(point);
}

QRectF QXLayer::convertRectToLayer(const QRectF& rect, const QXLayer* ancestor) const {
    return mappedQuad(matrixToAncestor(ancestor), rect).boundingRect();
}

struct QXLayer::DepthGroup {
    std::vector<QXRenderEntry> entries;
    std::vector<double> depth;
    std::vector<double> axisDistance;
    double axisX = 0;
};

void QXLayer::collect(const QXTransform3D& toRoot, const QXTransform3D& toGroup,
                      const double colorScale[3], int instance,
                      const std::optional<QPainterPath>& clip, bool presentation, bool painting,
                      std::vector<QXRenderEntry>& out, DepthGroup* group) {
    if (hidden_)
        return;
    const Geometry g = presentation ? presentationGeometry() : modelGeometry();

    DepthGroup ownGroup;
    DepthGroup* childGroup = group;
    if (!group && preservesDepth()) {
        childGroup = &ownGroup;
        ownGroup.axisX = g.bounds.x() + g.anchorPoint.x() * g.bounds.width();
    }

    if (drawsOwnContent()) {
        QXRenderEntry entry{
            this, g.bounds, toRoot, {colorScale[0], colorScale[1], colorScale[2]}, instance, clip};
        if (group) {
            group->entries.push_back(std::move(entry));
            // A container goes below what it holds.
            if (sublayers_.empty()) {
                const QXVector4 c =
                    toGroup.map({g.bounds.center().x(), g.bounds.center().y(), 0, 1});
                const double w = c.w == 0 ? 1e-9 : c.w;
                group->depth.push_back(c.z / w);
                group->axisDistance.push_back(std::abs(c.x / w - group->axisX));
            } else {
                group->depth.push_back(-qInf());
                group->axisDistance.push_back(0);
            }
        } else {
            out.push_back(std::move(entry));
        }
    }

    if (sublayers_.empty())
        return;
    std::optional<QPainterPath> childClip = clip;
    if (masksToBounds_) {
        QPainterPath path;
        path.addPolygon(mappedQuad(toRoot, g.bounds));
        path.closeSubpath();
        childClip = clip ? clip->intersected(path) : path;
    }
    const QXTransform3D sub = sublayerConversion(g, sublayerTransform_);
    const int copies = std::max(0, instanceCount());
    double offsets[3];
    instanceColorOffsets(offsets);
    const double ax = g.bounds.x() + g.anchorPoint.x() * g.bounds.width();
    const double ay = g.bounds.y() + g.anchorPoint.y() * g.bounds.height();
    const QXTransform3D instanceStep = QXTransform3D::makeTranslation(-ax, -ay, 0)
                                           .then(instanceTransform())
                                           .then(QXTransform3D::makeTranslation(ax, ay, 0));

    // Flat layers draw their sublayers by z position, keeping sublayer order among equals.
    std::size_t from = 0, to = sublayers_.size();
    sublayerRangeToCollect(painting, from, to);
    to = std::min(to, sublayers_.size());
    std::vector<QXLayer*> order;
    order.reserve(to > from ? to - from : 0);
    for (std::size_t i = from; i < to; ++i)
        order.push_back(sublayers_[i].get());
    if (!preservesDepth())
        std::stable_sort(order.begin(), order.end(), [presentation](QXLayer* a, QXLayer* b) {
            return (presentation ? a->presentationGeometry().zPosition : a->zPosition_) <
                   (presentation ? b->presentationGeometry().zPosition : b->zPosition_);
        });
    const bool inDepth = childGroup != nullptr;
    for (QXLayer* child : order) {
        const QXTransform3D base =
            localToParent(presentation ? child->presentationGeometry() : child->modelGeometry());
        QXTransform3D instanceMatrix;
        for (int k = 0; k < copies; ++k) {
            QXTransform3D toThis = base.then(instanceMatrix).then(sub);
            if (!preservesDepth())
                toThis = toThis.flattened();
            double scale[3];
            for (int c = 0; c < 3; ++c)
                scale[c] = std::max(0.0, colorScale[c] * (1 + k * offsets[c]));
            const QXTransform3D childToGroup =
                inDepth ? (group ? toThis.then(toGroup) : toThis) : QXTransform3D();
            child->collect(toThis.then(toRoot), childToGroup, scale, std::max(instance, k),
                           childClip, presentation, painting, out, childGroup);
            instanceMatrix = instanceMatrix.then(instanceStep);
        }
    }

    if (childGroup == &ownGroup) {
        std::vector<std::size_t> index(ownGroup.entries.size());
        for (std::size_t i = 0; i < index.size(); ++i)
            index[i] = i;
        // Far to near; among equals the farther from the vanishing axis first.
        std::stable_sort(index.begin(), index.end(), [&](std::size_t a, std::size_t b) {
            const double da = ownGroup.depth[a], db = ownGroup.depth[b];
            if (std::abs(da - db) > 1e-6)
                return da < db;
            return ownGroup.axisDistance[a] > ownGroup.axisDistance[b] + 1e-6;
        });
        for (std::size_t i : index)
            out.push_back(std::move(ownGroup.entries[i]));
    }
}

std::vector<QXRenderEntry> QXLayer::renderList(bool presentation) {
    return collectList(presentation, false);
}

std::vector<QXRenderEntry> QXLayer::collectList(bool presentation, bool painting) {
    std::vector<QXRenderEntry> out;
    const double unit[3] = {1, 1, 1};
    const QXTransform3D toSuper =
        localToParent(presentation ? presentationGeometry() : modelGeometry());
    collect(toSuper, QXTransform3D(), unit, 0, std::nullopt, presentation, painting, out, nullptr);
    return out;
}

namespace {
thread_local const QXLayer* paintedLayer = nullptr;
} // namespace

const QXLayer* QXLayer::layerBeingPainted() {
    return paintedLayer;
}

void QXLayer::render(QPainter& painter, double hostHeight) {
    const QXLayer* outer = paintedLayer;
    paintedLayer = this;
    const std::vector<QXRenderEntry> list = collectList(true, true);
    paintedLayer = outer;
    painter.save();
    const QTransform flip = QTransform(1, 0, 0, -1, 0, hostHeight) * painter.worldTransform();
    const QRectF visible = frame();
    for (const QXRenderEntry& e : list) {
        if (!inFrontOfEye(e.matrix, e.bounds))
            continue;
        if (!mappedQuad(e.matrix, e.bounds).boundingRect().intersects(visible))
            continue;
        if (e.clip) {
            painter.setTransform(flip);
            painter.setClipPath(*e.clip);
        } else {
            painter.setClipping(false);
        }
        painter.setTransform(e.matrix.toQTransform() * flip);
        e.layer->paintContents(painter, e.colorScale);
    }
    painter.restore();
}

QXLayer* QXLayer::hitTest(QPointF point) {
    const std::vector<QXRenderEntry> list = renderList(true);
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        if (it->instance != 0)
            continue;
        if (it->clip && !it->clip->contains(point))
            continue;
        bool invertible = false;
        const QTransform inverse = it->matrix.toQTransform().inverted(&invertible);
        if (!invertible)
            continue;
        const QPointF local = inverse.map(point);
        if (it->matrix.map({local.x(), local.y(), 0, 1}).w <= 0)
            continue;
        if (it->bounds.contains(local))
            return it->layer;
    }
    return nullptr;
}

QColor QXLayer::scaled(const QColor& c, const double s[3]) {
    if (s[0] == 1 && s[1] == 1 && s[2] == 1)
        return c;
    return QColor::fromRgbF(float(std::clamp(c.redF() * s[0], 0.0, 1.0)),
                            float(std::clamp(c.greenF() * s[1], 0.0, 1.0)),
                            float(std::clamp(c.blueF() * s[2], 0.0, 1.0)), c.alphaF());
}

const QImage& QXLayer::contentsScaled(const double s[3]) const {
    if ((s[0] == 1 && s[1] == 1 && s[2] == 1) || contents_.isNull())
        return contents_;
    if (scaledKey == contents_.cacheKey() && scaledFactor[0] == s[0] && scaledFactor[1] == s[1] &&
        scaledFactor[2] == s[2] && !scaledContents.isNull())
        return scaledContents;
    QImage image = contents_.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    int factor[3];
    for (int c = 0; c < 3; ++c)
        factor[c] = int(std::lround(std::clamp(s[c], 0.0, 1.0) * 256));
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            line[x] = qRgba((qRed(p) * factor[0]) >> 8, (qGreen(p) * factor[1]) >> 8,
                            (qBlue(p) * factor[2]) >> 8, qAlpha(p));
        }
    }
    scaledContents = image;
    scaledKey = contents_.cacheKey();
    std::copy(s, s + 3, scaledFactor);
    return scaledContents;
}

namespace {

// Least recently drawn first. Painting happens on one thread.
struct DrawnCopies {
    std::list<std::pair<const QXLayer*, int>> order;
    qint64 bytes = 0;
    static constexpr qint64 budget = 128 * 1024 * 1024;
};
thread_local DrawnCopies drawnCopyBudget;

} // namespace

void QXLayer::releaseDrawnCopy(int slot) const {
    DrawnCopy& copy = drawnCopies[slot];
    if (copy.listed) {
        drawnCopyBudget.bytes -= copy.image.sizeInBytes();
        drawnCopyBudget.order.erase(copy.use);
    }
    copy = DrawnCopy();
}

const QImage& QXLayer::drawnCopy(const QImage& image, const QRectF& source, QSize size,
                                 bool mirrored) const {
    auto& budget = drawnCopyBudget;
    for (DrawnCopy& copy : drawnCopies)
        if (copy.listed && copy.key == image.cacheKey() && copy.source == source &&
            copy.size == size && copy.mirrored == mirrored) {
            budget.order.splice(budget.order.end(), budget.order, copy.use);
            return copy.image;
        }
    const int slot = nextDrawnCopy;
    nextDrawnCopy = (nextDrawnCopy + 1) % drawnCopyCount;
    releaseDrawnCopy(slot);
    const QRect part = source.toAlignedRect() & image.rect();
    QImage scaled = (part == image.rect() ? image : image.copy(part))
                        .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (mirrored)
        scaled.mirror(false, true);
    DrawnCopy& copy = drawnCopies[slot];
    copy.key = image.cacheKey();
    copy.source = source;
    copy.size = size;
    copy.mirrored = mirrored;
    copy.image = std::move(scaled);
    copy.listed = true;
    copy.use = budget.order.insert(budget.order.end(), {this, slot});
    budget.bytes += copy.image.sizeInBytes();
    while (budget.bytes > DrawnCopies::budget && budget.order.size() > 1) {
        const auto [layer, oldest] = budget.order.front();
        layer->releaseDrawnCopy(oldest);
    }
    return copy.image;
}

void QXLayer::drawImageInRect(QPainter& painter, const QImage& image, const QRectF& target,
                              const QRectF& source) const {
    // Layer space is y-up: the image's first row belongs at the top.
    const QTransform upright(1, 0, 0, -1, 0, target.top() + target.bottom());
    const QTransform device = upright * painter.deviceTransform();
    const bool smooth = painter.testRenderHint(QPainter::SmoothPixmapTransform);
    const bool wholePixels = source == source.toAlignedRect();
    if (device.type() <= QTransform::TxScale && device.m11() > 0 && wholePixels) {
        // Facing the viewer, unturned: a copy at the size it covers in device pixels, put down
        // on whole pixels, costs a plain blend instead of resampling every frame.
        const QRectF r = device.mapRect(target);
        const QRect pixels(QPoint(qRound(r.left()), qRound(r.top())),
                           QPoint(qRound(r.right()) - 1, qRound(r.bottom()) - 1));
        if (!pixels.isEmpty() && pixels.width() <= 8192 && pixels.height() <= 8192) {
            const QImage& copy = drawnCopy(image, source, pixels.size(), device.m22() < 0);
            painter.save();
            painter.setWorldTransform(painter.deviceTransform().inverted() *
                                      painter.worldTransform());
            painter.drawImage(pixels.topLeft(), copy);
            painter.restore();
            return;
        }
    }
    painter.save();
    painter.setWorldTransform(upright * painter.worldTransform());
    if (smooth && wholePixels && hasAnimations()) {
        // In motion: nearest sampling from a copy reduced by powers of two to about the size
        // on screen, which neither shimmers nor costs a filter per pixel; the frame at rest is
        // drawn smooth again.
        const QPolygonF quad = device.map(QPolygonF(target));
        const QRectF onScreen = quad.boundingRect();
        auto reduced = [](double from, double to) {
            int size = int(from);
            while (size > 1 && size / 2 >= to)
                size /= 2;
            return size;
        };
        const QSize size(reduced(source.width(), onScreen.width()),
                         reduced(source.height(), onScreen.height()));
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        if (size == source.size().toSize()) {
            painter.drawImage(target, image, source);
        } else {
            const QImage& copy = drawnCopy(image, source, size, false);
            painter.drawImage(target, copy, QRectF(copy.rect()));
        }
    } else {
        painter.drawImage(target, image, source);
    }
    painter.restore();
}

void QXLayer::paintContents(QPainter& painter, const double colorScale[3]) {
    const QRectF b = bounds_;
    if (backgroundColor_.isValid() && backgroundColor_.alpha() > 0) {
        if (cornerRadius_ > 0) {
            QPainterPath path;
            path.addRoundedRect(b, cornerRadius_, cornerRadius_);
            painter.fillPath(path, scaled(backgroundColor_, colorScale));
        } else {
            painter.fillRect(b, scaled(backgroundColor_, colorScale));
        }
    }
    if (!contents_.isNull() && b.width() > 0 && b.height() > 0) {
        const QImage& image = contentsScaled(colorScale);
        QRectF target = b;
        QRectF source(0, 0, image.width(), image.height());
        const double imageAspect = source.width() / source.height();
        const double boundsAspect = b.width() / b.height();
        if (gravity_ == Gravity::resizeAspect) {
            if (imageAspect > boundsAspect)
                target.setHeight(b.width() / imageAspect);
            else
                target.setWidth(b.height() * imageAspect);
            target.moveCenter(b.center());
        } else if (gravity_ == Gravity::resizeAspectFill) {
            if (imageAspect > boundsAspect)
                source.setWidth(source.height() * boundsAspect);
            else
                source.setHeight(source.width() / boundsAspect);
            source.moveCenter(QPointF(image.width() / 2.0, image.height() / 2.0));
        }
        drawImageInRect(painter, image, target, source);
    }
    if (borderWidth_ > 0 && borderColor_.isValid()) {
        QPen pen(scaled(borderColor_, colorScale), borderWidth_);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        const double inset = borderWidth_ / 2;
        const QRectF r = b.adjusted(inset, inset, -inset, -inset);
        if (cornerRadius_ > 0)
            painter.drawRoundedRect(r, std::max(0.0, cornerRadius_ - inset),
                                    std::max(0.0, cornerRadius_ - inset));
        else
            painter.drawRect(r);
    }
}

QXLayerAccessibility& QXLayer::accessibility() {
    if (!accessibility_)
        accessibility_ = std::make_unique<QXLayerAccessibility>(*this);
    return *accessibility_;
}

void QXGradientLayer::paintContents(QPainter& painter, const double colorScale[3]) {
    const QRectF b = bounds();
    if (colors.empty() || b.isEmpty()) {
        QXLayer::paintContents(painter, colorScale);
        return;
    }
    QLinearGradient gradient(b.x() + startPoint.x() * b.width(),
                             b.y() + startPoint.y() * b.height(), b.x() + endPoint.x() * b.width(),
                             b.y() + endPoint.y() * b.height());
    for (std::size_t i = 0; i < colors.size(); ++i) {
        const double at = i < locations.size()
                              ? locations[i]
                              : (colors.size() == 1 ? 0.0 : double(i) / double(colors.size() - 1));
        gradient.setColorAt(std::clamp(at, 0.0, 1.0), scaled(colors[i], colorScale));
    }
    QPainterPath path;
    if (cornerRadius() > 0)
        path.addRoundedRect(b, cornerRadius(), cornerRadius());
    else
        path.addRect(b);
    const QTransform device = painter.deviceTransform();
    const QRectF pixels = device.mapRect(b);
    if (device.type() <= QTransform::TxScale && pixels.width() <= 8192 && pixels.height() <= 8192 &&
        !pixels.isEmpty()) {
        // A background the size of the view is filled pixel by pixel on every frame otherwise.
        const QPoint origin(int(std::floor(pixels.left())), int(std::floor(pixels.top())));
        const QTransform toCopy = device * QTransform::fromTranslate(-origin.x(), -origin.y());
        const int hints = int(painter.renderHints());
        if (painted.image.isNull() || painted.stops != gradient.stops() ||
            painted.start != gradient.start() || painted.end != gradient.finalStop() ||
            painted.bounds != b || painted.device != toCopy || painted.hints != hints) {
            const QSize size(int(std::ceil(pixels.right())) - origin.x(),
                             int(std::ceil(pixels.bottom())) - origin.y());
            QImage image(size, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter copy(&image);
            copy.setRenderHints(painter.renderHints());
            copy.setTransform(toCopy);
            copy.fillPath(path, gradient);
            copy.end();
            painted = {gradient.stops(), gradient.start(), gradient.finalStop(), b, toCopy, hints,
                       std::move(image)};
        }
        painter.save();
        painter.setWorldTransform(painter.deviceTransform().inverted() * painter.worldTransform());
        painter.drawImage(origin, painted.image);
        painter.restore();
    } else {
        painter.fillPath(path, gradient);
    }
    // Border and any contents on top of the gradient.
    const QColor background = backgroundColor();
    setBackgroundColor(QColor());
    QXLayer::paintContents(painter, colorScale);
    setBackgroundColor(background);
}
