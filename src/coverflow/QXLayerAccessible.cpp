#include "coverflow/QXLayerAccessible.h"

#include "coverflow/QXLayer.h"
#include "coverflow/QXLayerAccessibility.h"

#include <QWidget>
#include <QWindow>

using namespace QXAccessibility;

QXLayerAccessible::QXLayerAccessible(QXLayer* layer)
    : weak(layer->weak_from_this()) {
}

QAccessibleInterface* QXLayerAccessible::interfaceForLayer(QXLayer* layer) {
    if (!layer || isIgnored(element(layer)) || layer->weak_from_this().expired())
        return nullptr;
    QXLayerAccessibility& a = layer->accessibility();
    if (a.platformId)
        if (QAccessibleInterface* existing = QAccessible::accessibleInterface(a.platformId))
            return existing;
    auto* iface = new QXLayerAccessible(layer);
    a.platformId = QAccessible::registerAccessibleInterface(iface);
    return iface;
}

QAccessibleInterface* QXLayerAccessible::interfaceForElement(const QVariant& e) {
    if (QXLayer* l = layerOf(e))
        return interfaceForLayer(l);
    if (QObject* object = objectOf(e))
        return QAccessible::queryAccessibleInterface(object);
    return nullptr;
}

QXLayer* QXLayerAccessible::layer() const {
    return weak.lock().get();
}

bool QXLayerAccessible::isValid() const {
    return !weak.expired();
}

QWindow* QXLayerAccessible::window() const {
    QXLayer* l = layer();
    QWidget* view = l ? l->accessibility().qx_containingView() : nullptr;
    return view && view->window() ? view->window()->windowHandle() : nullptr;
}

QVariantList QXLayerAccessible::children() const {
    QXLayer* l = layer();
    return l ? l->accessibility().accessibilityAttributeValue(childrenAttribute).toList()
             : QVariantList();
}

QAccessibleInterface* QXLayerAccessible::childAt(int x, int y) const {
    QXLayer* l = layer();
    if (!l)
        return nullptr;
    // The hit element, then up to the child of this one that holds it.
    QVariant hit = l->accessibility().accessibilityHitTest(QPoint(x, y));
    while (QXLayer* h = layerOf(hit)) {
        if (h == l)
            return nullptr;
        const QVariant parent = h->accessibility().qx_defaultParentAttributeHandler();
        if (layerOf(parent) == l)
            return interfaceForLayer(h);
        hit = parent;
    }
    return nullptr;
}

QAccessibleInterface* QXLayerAccessible::parent() const {
    QXLayer* l = layer();
    if (!l)
        return nullptr;
    const QVariant parent = l->accessibility().qx_accessibilityParent();
    if (!parent.isValid())
        return nullptr;
    return interfaceForElement(unignoredAncestor(parent));
}

QAccessibleInterface* QXLayerAccessible::child(int index) const {
    const QVariantList list = children();
    return index >= 0 && index < list.size() ? interfaceForElement(list.at(index)) : nullptr;
}

int QXLayerAccessible::childCount() const {
    return int(children().size());
}

int QXLayerAccessible::indexOfChild(const QAccessibleInterface* child) const {
    const QVariantList list = children();
    for (int i = 0; i < list.size(); ++i)
        if (interfaceForElement(list.at(i)) == child)
            return i;
    return -1;
}

QString QXLayerAccessible::text(QAccessible::Text t) const {
    QXLayer* l = layer();
    if (!l)
        return {};
    QXLayerAccessibility& a = l->accessibility();
    switch (t) {
    case QAccessible::Name:
        return a.accessibilityAttributeValue(titleAttribute).toString();
    case QAccessible::Value:
        return a.accessibilityAttributeValue(valueAttribute).toString();
    case QAccessible::Description:
        return a.accessibilityAttributeValue(roleDescriptionAttribute).toString();
    default:
        return {};
    }
}

QRect QXLayerAccessible::rect() const {
    QXLayer* l = layer();
    return l ? l->accessibility().qx_rectInScreen().toAlignedRect() : QRect();
}

QAccessible::Role QXLayerAccessible::role() const {
    QXLayer* l = layer();
    if (!l)
        return QAccessible::NoRole;
    const QString r = l->accessibility().accessibilityAttributeValue(roleAttribute).toString();
    if (r == listRole)
        return QAccessible::List;
    if (r == scrollBarRole)
        return QAccessible::ScrollBar;
    if (r == valueIndicatorRole)
        return QAccessible::Indicator;
    if (r == scrollAreaRole)
        return QAccessible::Pane;
    return QAccessible::NoRole;
}

QAccessible::State QXLayerAccessible::state() const {
    QAccessible::State s;
    QXLayer* l = layer();
    if (!l) {
        s.invalid = true;
        return s;
    }
    for (const QXLayer* p = l; p; p = p->superlayer())
        if (p->isHidden())
            s.invisible = true;
    QXLayerAccessibility& a = l->accessibility();
    s.focused = a.accessibilityAttributeValue(focusedAttribute).toBool();
    s.disabled = !a.accessibilityAttributeValue(enabledAttribute).toBool();
    return s;
}

void* QXLayerAccessible::interface_cast(QAccessible::InterfaceType type) {
    QXLayer* l = layer();
    if (!l)
        return nullptr;
    if (type == QAccessible::ValueInterface &&
        l->accessibility().accessibilityAttributeNames().contains(valueAttribute))
        return static_cast<QAccessibleValueInterface*>(this);
    if (type == QAccessible::ActionInterface && l->accessibility().qx_hasActions())
        return static_cast<QAccessibleActionInterface*>(this);
    return nullptr;
}

QVariant QXLayerAccessible::currentValue() const {
    QXLayer* l = layer();
    return l ? l->accessibility().accessibilityAttributeValue(valueAttribute) : QVariant();
}

void QXLayerAccessible::setCurrentValue(const QVariant& value) {
    if (QXLayer* l = layer())
        l->accessibility().accessibilitySetValue(value, valueAttribute);
}

QStringList QXLayerAccessible::actionNames() const {
    QXLayer* l = layer();
    return l ? l->accessibility().accessibilityActionNames() : QStringList();
}

void QXLayerAccessible::doAction(const QString& actionName) {
    if (QXLayer* l = layer())
        l->accessibility().accessibilityPerformAction(actionName);
}
