#include "coverflow/QXScrollBarLayer.h"

#include "coverflow/QXLayerAccessibility.h"

#include <algorithm>
#include <cmath>

namespace {

QColor gray() {
    return QColor::fromRgbF(0.5f, 0.5f, 0.5f);
}

double positiveOr1(std::optional<double> v) {
    return v && *v > 0 ? *v : 1.0;
}

} // namespace

std::shared_ptr<QXScrollKnobLayer> QXScrollKnobLayer::create() {
    auto knob = std::make_shared<QXScrollKnobLayer>(Tag{});
    knob->setupInitialValues();
    return knob;
}

void QXScrollKnobLayer::setupInitialValues() {
    setName(layerName);
    setAnchorPoint({0, 0});
    setFrame({5, 2, 40, 16});
    setBorderColor(gray());
    setBorderWidth(1);
    setCornerRadius(9);
    // First colour at the top (y-up).
    startPoint = {0.5, 1};
    endPoint = {0.5, 0};
    colors = {QColor(64, 64, 74), QColor(46, 46, 58), QColor(37, 37, 50), QColor(51, 52, 66)};
    locations = {0, 0.5, 0.51, 1};
    qx_disableImplicitPositionAndBoundsAnimations();
    using namespace QXAccessibility;
    const std::weak_ptr<QXLayer> weak = weak_from_this();
    accessibility().setReadableAccessibilityAttribute(roleAttribute,
                                                      [] { return QVariant(valueIndicatorRole); });
    accessibility().setWritableAccessibilityAttribute(
        valueAttribute,
        [weak]() -> QVariant {
            auto self = weak.lock();
            QXLayer* bar = self ? self->superlayer() : nullptr;
            return bar ? bar->accessibility().accessibilityAttributeValue(valueAttribute)
                       : QVariant();
        },
        [weak](const QVariant& value) {
            auto self = weak.lock();
            if (QXLayer* bar = self ? self->superlayer() : nullptr)
                bar->accessibility().accessibilitySetValue(value, valueAttribute);
        });
}

std::shared_ptr<QXScrollBarLayer> QXScrollBarLayer::create() {
    auto bar = std::make_shared<QXScrollBarLayer>(Tag{});
    bar->setName(layerName);
    bar->setBackgroundColor(Qt::black);
    bar->setBorderColor(gray());
    bar->setBorderWidth(1);
    bar->setCornerRadius(10);
    bar->setAnchorPoint({0, 0});
    bar->setFrame({0, 0, 100, 20});
    bar->setupConstraints();
    bar->qx_disableImplicitPositionAndBoundsAnimations();
    bar->setupAccessibility();
    bar->setupSublayers();
    return bar;
}

void QXScrollBarLayer::setupConstraints() {
    const QString super = QStringLiteral("superlayer");
    setConstraints({{QXConstraint::midX, super, QXConstraint::midX, 1, 0},
                    {QXConstraint::minY, super, QXConstraint::minY, 1, 10},
                    {QXConstraint::width, super, QXConstraint::width, 0.75, 0}});
}

void QXScrollBarLayer::setupSublayers() {
    removeAllSublayers();
    addSublayer(QXScrollKnobLayer::create());
    setNeedsLayout();
    layoutIfNeeded();
}

double QXScrollBarLayer::contentSize() const {
    return delegate_ ? positiveOr1(delegate_->contentSize(const_cast<QXScrollBarLayer&>(*this)))
                     : 1.0;
}

double QXScrollBarLayer::visibleSize() const {
    return delegate_ ? positiveOr1(delegate_->visibleSize(const_cast<QXScrollBarLayer&>(*this)))
                     : 1.0;
}

double QXScrollBarLayer::contentToVisibleAspectRatio() const {
    const double content = contentSize(), visible = visibleSize();
    return content > visible ? visible / content : 1.0;
}

double QXScrollBarLayer::currentKnobPosition() const {
    if (!delegate_)
        return 0;
    const auto p = delegate_->currentKnobPosition(const_cast<QXScrollBarLayer&>(*this));
    if (!p || std::isnan(*p))
        return 0;
    return std::clamp(*p, 0.0, 1.0);
}

double QXScrollBarLayer::maximumKnobPosition() const {
    return bounds().right() - 5 - knob().bounds().width();
}

void QXScrollBarLayer::layoutSublayers() {
    QXLayer::layoutSublayers();
    const double r = contentToVisibleAspectRatio();
    setHidden(r == 1);
    const double track = bounds().width() - 10;
    const double knobWidth = std::max(r * track, minimumKnobWidth);
    const double p = currentKnobPosition();
    knob().setFrame(
        {5 + p * (track - knobWidth), 2, knobWidth, std::max(0.0, bounds().height() - 4)});
}

void QXScrollBarLayer::mouseDownAtPoint(QPointF point) {
    // A hidden bar is not there for the pointer.
    if (isHidden())
        return;
    const QRectF knobFrame = knob().frame();
    if (point.x() < knobFrame.left() && delegate_ && delegate_->decrementClicked(*this)) {
    } else if (point.x() > knobFrame.right() && delegate_ && delegate_->incrementClicked(*this)) {
    } else {
        beginDragAtPoint(point);
    }
    QXAccessibility::post(QXAccessibility::element(this),
                          QXAccessibility::valueChangedNotification);
}

void QXScrollBarLayer::beginDragAtPoint(QPointF point) {
    const QRectF knobFrame = knob().frame();
    draggingOffset_ = knobFrame.contains(point) ? point.x() - knobFrame.left() : -1;
}

void QXScrollBarLayer::mouseDraggedToPoint(QPointF point) {
    if (draggingOffset_ == -1 || !delegate_ || isHidden())
        return;
    const double available = availableScrollingSize();
    // With the knob as wide as the track there is nowhere to drag it.
    if (!(available > 0))
        return;
    const double left =
        std::clamp(point.x() - draggingOffset_, minimumKnobPosition(), maximumKnobPosition());
    delegate_->knobDraggedToPosition(*this, (left - minimumKnobPosition()) / available);
}

void QXScrollBarLayer::setupAccessibility() {
    using namespace QXAccessibility;
    const std::weak_ptr<QXLayer> weak = weak_from_this();
    auto self = [weak] { return std::static_pointer_cast<QXScrollBarLayer>(weak.lock()); };
    accessibility().setReadableAccessibilityAttribute(roleAttribute,
                                                      [] { return QVariant(scrollBarRole); });
    accessibility().setReadableAccessibilityAttribute(
        orientationAttribute, [] { return QVariant(horizontalOrientationValue); });
    accessibility().setWritableAccessibilityAttribute(
        valueAttribute,
        [self]() -> QVariant {
            auto bar = self();
            if (!bar || !bar->delegate_)
                return 0;
            const auto p = bar->delegate_->currentKnobPosition(*bar);
            return p ? QVariant(*p) : QVariant(0);
        },
        [self](const QVariant& value) {
            auto bar = self();
            bool ok = false;
            const double p = value.toDouble(&ok);
            // Assistive tools may send anything; the delegate gets a position in 0 ... 1.
            if (!bar || !bar->delegate_ || !ok || std::isnan(p))
                return;
            bar->delegate_->knobDraggedToPosition(*bar, std::clamp(p, 0.0, 1.0));
        });
}
