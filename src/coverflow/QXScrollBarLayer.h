#pragma once

// The flow view's own horizontal scroll bar: a rounded black track holding one gradient knob.
// It knows nothing of items: sizes and the knob position come from its delegate, and clicks
// beside the knob and knob drags go back to it.

#include "coverflow/QXLayer.h"

#include <optional>

class QXScrollBarLayer;

// Every operation is optional: the defaults answer "not implemented" (nullopt / false).
class QXScrollBarDelegate {
public:
    virtual ~QXScrollBarDelegate() = default;
    virtual bool knobDraggedToPosition(QXScrollBarLayer&, double /*position*/) { return false; }
    virtual bool decrementClicked(QXScrollBarLayer&) { return false; }
    virtual bool incrementClicked(QXScrollBarLayer&) { return false; }
    virtual std::optional<double> contentSize(QXScrollBarLayer&) { return std::nullopt; }
    virtual std::optional<double> visibleSize(QXScrollBarLayer&) { return std::nullopt; }
    virtual std::optional<double> currentKnobPosition(QXScrollBarLayer&) { return std::nullopt; }
};

class QXScrollKnobLayer : public QXGradientLayer {
    struct Tag {};

public:
    static inline const QString layerName = QStringLiteral("QXScrollKnobLayer");
    static std::shared_ptr<QXScrollKnobLayer> create();
    explicit QXScrollKnobLayer(Tag) {}

private:
    void setupInitialValues();
};

class QXScrollBarLayer : public QXLayer {
    struct Tag {};

public:
    static inline const QString layerName = QStringLiteral("QXScrollBarLayerName");
    static constexpr double minimumKnobWidth = 40;

    static std::shared_ptr<QXScrollBarLayer> create();
    explicit QXScrollBarLayer(Tag) {}

    QXScrollBarDelegate* scrollBarDelegate() const { return delegate_; }
    // Not owned; the owner clears it before it dies.
    void setScrollBarDelegate(QXScrollBarDelegate* delegate) { delegate_ = delegate; }
    // From the knob's left edge to where the drag began; -1 while no knob drag runs.
    double draggingOffset() const { return draggingOffset_; }
    QXLayer& knob() const { return *sublayers().front(); }

    double contentSize() const;
    double visibleSize() const;
    double contentToVisibleAspectRatio() const;
    double currentKnobPosition() const;
    double minimumKnobPosition() const { return 5; }
    double maximumKnobPosition() const;
    double availableScrollingSize() const { return maximumKnobPosition() - minimumKnobPosition(); }

    void layoutSublayers() override;

    // Points in the bar's own space.
    void mouseDownAtPoint(QPointF point);
    void beginDragAtPoint(QPointF point);
    void mouseDraggedToPoint(QPointF point);
    void endDrag() { draggingOffset_ = -1; }

private:
    void setupConstraints();
    void setupAccessibility();
    void setupSublayers();

    QXScrollBarDelegate* delegate_ = nullptr;
    double draggingOffset_ = -1;
};
