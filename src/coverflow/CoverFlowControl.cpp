#include "coverflow/CoverFlowControl.h"

#include "coverflow/QXLayerAccessibility.h"

#include <cmath>
#include <limits>

CoverFlowControl::CoverFlowControl(QWidget* parent)
    : QXFlowView(parent) {
    // No drops are taken here: they go on to the view around the control.
    setAcceptDrops(false);
}

QVariant CoverFlowControl::accessibilityAttributeValue(const QString& attribute) const {
    using namespace QXAccessibility;
    if (attribute == childrenAttribute || attribute == contentsAttribute ||
        attribute == visibleChildrenAttribute || attribute == selectedChildrenAttribute)
        return QVariantList();
    if (attribute == horizontalScrollBarAttribute)
        return {};
    return QXFlowView::accessibilityAttributeValue(attribute);
}

QVariant CoverFlowControl::accessibilityHitTest(QPoint) {
    return QXAccessibility::element(static_cast<QObject*>(this));
}

void CoverFlowControl::scrollWheel(const QXScrollEvent& event) {
    const QXIndex selected = selectedIndex();
    const QXIndex count = numberOfItems();
    if (selected >= count)
        return;
    if (event.phase & (QXScrollEvent::began | QXScrollEvent::cancelled)) {
        scroll.reset();
        partialNotches = 0;
    }
    const bool precise = event.hasPreciseScrollingDeltas;
    const double dx = precise ? event.scrollingDeltaX : event.deltaX;
    const double dy = precise ? event.scrollingDeltaY : event.deltaY;
    double delta = std::abs(dy) <= std::abs(dx) ? dx : dy;
    if (!std::isfinite(delta) || delta == 0)
        return;
    const int countLimit = int(std::min<QXIndex>(count, QXIndex(std::numeric_limits<int>::max())));
    const int current = int(std::min<QXIndex>(selected, QXIndex(countLimit - 1)));
    if (!precise) {
        // A notch is one step; parts of a notch add up to one first.
        if ((partialNotches > 0 && delta < 0) || (partialNotches < 0 && delta > 0))
            partialNotches = 0;
        partialNotches += delta;
        if (std::abs(partialNotches) < 1)
            return;
        delta = partialNotches;
        partialNotches = 0;
    }
    const int target = scroll.step(precise, current, countLimit, delta);
    if (QXIndex(target) != selected)
        setSelectedIndex(QXIndex(target));
}
