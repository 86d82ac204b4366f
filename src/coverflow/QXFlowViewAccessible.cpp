#include "coverflow/QXFlowViewAccessible.h"

#include "coverflow/QXFlowView.h"
#include "coverflow/QXLayerAccessibility.h"
#include "coverflow/QXLayerAccessible.h"

using namespace QXAccessibility;

namespace {

QAccessibleInterface* factory(const QString&, QObject* object) {
    if (auto* view = qobject_cast<QXFlowView*>(object))
        return new QXFlowViewAccessible(view);
    return nullptr;
}

} // namespace

QXFlowViewAccessible::QXFlowViewAccessible(QXFlowView* view)
    : QAccessibleWidget(view, QAccessible::Pane) {
}

void QXFlowViewAccessible::installFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)installed;
}

QXFlowView* QXFlowViewAccessible::view() const {
    return static_cast<QXFlowView*>(widget());
}

QAccessible::State QXFlowViewAccessible::state() const {
    QAccessible::State s = QAccessibleWidget::state();
    if (view()->accessibilityIsIgnored())
        s.invisible = true;
    return s;
}

QVariantList QXFlowViewAccessible::children() const {
    if (view()->accessibilityIsIgnored())
        return {};
    return view()->accessibilityAttributeValue(childrenAttribute).toList();
}

int QXFlowViewAccessible::childCount() const {
    return int(children().size());
}

QAccessibleInterface* QXFlowViewAccessible::child(int index) const {
    const QVariantList list = children();
    return index >= 0 && index < list.size()
               ? QXLayerAccessible::interfaceForElement(list.at(index))
               : nullptr;
}

int QXFlowViewAccessible::indexOfChild(const QAccessibleInterface* child) const {
    const QVariantList list = children();
    for (int i = 0; i < list.size(); ++i)
        if (QXLayerAccessible::interfaceForElement(list.at(i)) == child)
            return i;
    return -1;
}

QAccessibleInterface* QXFlowViewAccessible::childAt(int x, int y) const {
    if (view()->accessibilityIsIgnored())
        return nullptr;
    QVariant hit = view()->accessibilityHitTest(QPoint(x, y));
    // Up from the hit element to the child of the view that holds it.
    const QVariantList list = children();
    while (QXLayer* layer = layerOf(hit)) {
        if (list.contains(hit))
            return QXLayerAccessible::interfaceForLayer(layer);
        hit = unignoredAncestor(layer->accessibility().qx_accessibilityParent());
    }
    return nullptr;
}
