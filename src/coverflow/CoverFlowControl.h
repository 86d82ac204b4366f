#pragma once

// The application's cover-flow control: steps its selection by whole items from wheel and
// touchpad scrolling, and shows assistive tools no item layers (the view around it speaks for
// the covers).

#include "coverflow/CoverFlowScroll.h"
#include "coverflow/QXFlowView.h"

class CoverFlowControl : public QXFlowView {
    Q_OBJECT

public:
    explicit CoverFlowControl(QWidget* parent = nullptr);

    CoverFlowScroll scroll;

    // Children, contents, visible and selected children: empty; no horizontal scroll bar.
    QVariant accessibilityAttributeValue(const QString& attribute) const override;
    // The control itself, wherever the point.
    QVariant accessibilityHitTest(QPoint screenPoint) override;
    bool accessibilityIsIgnored() const override { return hiddenFromAccessibility; }
    void setHiddenFromAccessibility(bool hidden) { hiddenFromAccessibility = hidden; }

protected:
    void scrollWheel(const QXScrollEvent& event) override;

private:
    bool hiddenFromAccessibility = false;
    // Wheel notches not yet turned into a step: a fine-grained wheel sends a notch in parts.
    double partialNotches = 0;
};
