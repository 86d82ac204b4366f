#include "coverflow/QXLayerAccessibility.h"

#include "coverflow/QXInvalidParameter.h"
#include "coverflow/QXLayer.h"
#include "platform/AppLanguage.h"

#include <QAccessibleValueChangeEvent>

#include <stdexcept>

namespace QXAccessibility {

QVariant element(QXLayer* layer) {
    return layer ? QVariant::fromValue(layer) : QVariant();
}
QVariant element(QObject* object) {
    return object ? QVariant::fromValue(object) : QVariant();
}

QXLayer* layerOf(const QVariant& e) {
    return e.metaType() == QMetaType::fromType<QXLayer*>() ? e.value<QXLayer*>() : nullptr;
}

QObject* objectOf(const QVariant& e) {
    return e.metaType() == QMetaType::fromType<QObject*>() ? e.value<QObject*>() : nullptr;
}

bool isIgnored(const QVariant& e) {
    if (QXLayer* layer = layerOf(e)) {
        const QXLayerAccessibility* a = layer->accessibilityIfAny();
        return !a || a->accessibilityIsIgnored();
    }
    return objectOf(e) == nullptr;
}

QVariant unignoredAncestor(const QVariant& start) {
    QVariant e = start;
    while (e.isValid()) {
        if (!isIgnored(e))
            return e;
        QXLayer* layer = layerOf(e);
        if (!layer)
            return {};
        e = layer->accessibility().qx_accessibilityParent();
    }
    return {};
}

QVariantList unignoredChildren(const std::vector<QXLayer*>& layers) {
    QVariantList out;
    for (QXLayer* layer : layers) {
        if (!layer)
            continue;
        if (!isIgnored(element(layer))) {
            out << element(layer);
            continue;
        }
        std::vector<QXLayer*> below;
        for (const auto& child : layer->sublayers())
            below.push_back(child.get());
        out << unignoredChildren(below);
    }
    return out;
}

QString roleDescription(const QString& role) {
    QString key = LZ("unknown");
    if (role == listRole)
        key = LZ("list");
    else if (role == scrollBarRole)
        key = LZ("scroll bar");
    else if (role == valueIndicatorRole)
        key = LZ("value indicator");
    else if (role == scrollAreaRole)
        key = LZ("scroll area");
    return localizedString(key, AppLanguages::stored());
}

namespace {
Observer& observer() {
    static Observer instance;
    return instance;
}
} // namespace

void setObserver(Observer o) {
    observer() = std::move(o);
}

void post(const QVariant& target, const QString& notification) {
    if (observer())
        observer()(target, notification);
    if (!target.isValid() || !QAccessible::isActive() || notification != valueChangedNotification)
        return;
    if (QObject* object = objectOf(target)) {
        QAccessibleValueChangeEvent event(object, QVariant());
        QAccessible::updateAccessibility(&event);
    } else if (QXLayer* layer = layerOf(target)) {
        const QXLayerAccessibility* a = layer->accessibilityIfAny();
        if (QAccessibleInterface* iface =
                a && a->platformId ? QAccessible::accessibleInterface(a->platformId) : nullptr) {
            QAccessibleValueChangeEvent event(iface, QVariant());
            QAccessible::updateAccessibility(&event);
        }
    }
}

} // namespace QXAccessibility

using namespace QXAccessibility;

QXLayerAccessibility::~QXLayerAccessibility() {
    if (platformId)
        QAccessible::deleteAccessibleInterface(platformId);
}

const QStringList& QXLayerAccessibility::defaultAccessibilityAttributes() {
    static const QStringList list = {parentAttribute,
                                     sizeAttribute,
                                     positionAttribute,
                                     windowAttribute,
                                     topLevelUIElementAttribute,
                                     roleAttribute,
                                     roleDescriptionAttribute,
                                     enabledAttribute,
                                     focusedAttribute};
    return list;
}

void QXLayerAccessibility::addName(QStringList& list, const QString& name) {
    if (!list.contains(name))
        list << name;
}

void QXLayerAccessibility::setReadableAccessibilityAttribute(const QString& attribute,
                                                             Getter handler) {
    QX_PRECONDITION(!attribute.isEmpty(), "attribute");
    QX_PRECONDITION(bool(handler), "handler");
    addName(attributes, attribute);
    getters.insert(attribute, std::move(handler));
}

void QXLayerAccessibility::setWritableAccessibilityAttribute(const QString& attribute,
                                                             Getter getter, Setter setter) {
    QX_PRECONDITION(bool(getter), "getter");
    QX_PRECONDITION(bool(setter), "setter");
    setReadableAccessibilityAttribute(attribute, std::move(getter));
    if (!defaultAccessibilityAttributes().contains(attribute))
        setters.insert(attribute, std::move(setter));
}

void QXLayerAccessibility::removeAccessibilityAttribute(const QString& attribute) {
    QX_PRECONDITION(!attribute.isEmpty(), "attribute");
    attributes.removeAll(attribute);
    parameterized.removeAll(attribute);
    getters.remove(attribute);
    setters.remove(attribute);
    parameterHandlers.remove(attribute);
}

void QXLayerAccessibility::setParameterizedAccessibilityAttribute(const QString& attribute,
                                                                  ParameterHandler handler) {
    QX_PRECONDITION(!attribute.isEmpty(), "parameterizedAttribute");
    QX_PRECONDITION(bool(handler), "handler");
    addName(parameterized, attribute);
    parameterHandlers.insert(attribute, std::move(handler));
}

void QXLayerAccessibility::setAccessibilityAction(const QString& actionName, Action handler) {
    QX_PRECONDITION(!actionName.isEmpty(), "actionName");
    QX_PRECONDITION(bool(handler), "handler");
    addName(actionNames, actionName);
    actions.insert(actionName, std::move(handler));
}

bool QXLayerAccessibility::accessibilityIsIgnored() const {
    return attributes.isEmpty() && actionNames.isEmpty() && parameterized.isEmpty();
}

QStringList QXLayerAccessibility::accessibilityAttributeNames() {
    if (!attributes.isEmpty() || !owner.sublayers().empty()) {
        if (!owner.sublayers().empty())
            addName(attributes, childrenAttribute);
        else
            attributes.removeAll(childrenAttribute);
    }
    return defaultAccessibilityAttributes() + attributes;
}

QVariant QXLayerAccessibility::accessibilityAttributeValue(const QString& attribute) {
    if (attribute.isEmpty())
        return {};
    if (const Getter getter = getters.value(attribute)) {
        const QVariant v = getter();
        if (v.isValid())
            return v;
    }
    if (attribute == roleAttribute)
        return unknownRole;
    if (attribute == childrenAttribute) {
        std::vector<QXLayer*> layers;
        for (const auto& child : owner.sublayers())
            layers.push_back(child.get());
        return unignoredChildren(layers);
    }
    if (attribute == parentAttribute)
        return qx_defaultParentAttributeHandler();
    if (attribute == roleDescriptionAttribute)
        return roleDescription(accessibilityAttributeValue(roleAttribute).toString());
    if (attribute == sizeAttribute)
        return qx_rectInScreen().size();
    if (attribute == positionAttribute)
        return qx_rectInScreen().topLeft();
    if (attribute == windowAttribute || attribute == topLevelUIElementAttribute) {
        const QVariant parent = qx_accessibilityParent();
        if (QXLayer* layer = layerOf(parent))
            return layer->accessibility().accessibilityAttributeValue(attribute);
        if (auto* view = qobject_cast<QWidget*>(objectOf(parent)))
            return element(static_cast<QObject*>(view->window()));
        return {};
    }
    if (attribute == focusedAttribute)
        return false;
    if (attribute == enabledAttribute)
        return true;
    return {};
}

void QXLayerAccessibility::accessibilitySetValue(const QVariant& value, const QString& attribute) {
    const Setter setter = setters.value(attribute);
    if (!setter)
        return;
    setter(value);
    post(element(static_cast<QObject*>(qx_containingView())), valueChangedNotification);
}

bool QXLayerAccessibility::accessibilityIsAttributeSettable(const QString& attribute) const {
    return bool(setters.value(attribute));
}

void QXLayerAccessibility::accessibilityPerformAction(const QString& actionName) {
    if (const Action action = actions.value(actionName))
        action();
}

QString QXLayerAccessibility::accessibilityActionDescription(const QString& actionName) const {
    return actionName;
}

QVariant QXLayerAccessibility::accessibilityAttributeValue(const QString& attribute,
                                                           const QVariant& parameter) {
    if (const ParameterHandler handler = parameterHandlers.value(attribute))
        return handler(parameter);
    return {};
}

QWidget* QXLayerAccessibility::qx_containingView() const {
    for (const QXLayer* layer = &owner; layer; layer = layer->superlayer())
        if (const QXLayerAccessibility* a = layer->accessibilityIfAny(); a && a->hostView)
            return a->hostView;
    return nullptr;
}

QVariant QXLayerAccessibility::qx_accessibilityParent() const {
    if (QXLayer* parent = owner.superlayer())
        return element(parent);
    return element(static_cast<QObject*>(qx_containingView()));
}

QVariant QXLayerAccessibility::qx_defaultParentAttributeHandler() const {
    const QVariant parent = qx_accessibilityParent();
    if (!parent.isValid())
        throw std::logic_error("No accessibility parent available");
    return unignoredAncestor(parent);
}

namespace {

// The layer that records the hosting view: the hosting view's own layer.
QXLayer* hostRoot(QXLayer* layer) {
    for (QXLayer* l = layer; l; l = l->superlayer())
        if (const QXLayerAccessibility* a = l->accessibilityIfAny(); a && a->recordedView())
            return l;
    return layer->rootLayer();
}

} // namespace

QRectF QXLayerAccessibility::qx_rectInScreen() const {
    QWidget* view = qx_containingView();
    if (!view)
        return {};
    QXLayer* root = hostRoot(&owner);
    QRectF inRoot = owner.frame();
    if (QXLayer* parent = owner.superlayer())
        inRoot = parent->convertRectToLayer(inRoot, root);
    // The hosting layer fills the view; its space is y-up.
    const double height = root->bounds().height();
    const QRectF inView(inRoot.x(), height - inRoot.bottom(), inRoot.width(), inRoot.height());
    const QPoint origin = view->mapToGlobal(QPoint(0, 0));
    return inView.translated(origin);
}

QVariant QXLayerAccessibility::accessibilityHitTest(QPoint screenPoint) {
    QWidget* view = qx_containingView();
    if (!view)
        return {};
    QXLayer* root = hostRoot(&owner);
    const QPoint inView = view->mapFromGlobal(screenPoint);
    const QPointF inRoot(inView.x(), root->bounds().height() - inView.y());
    QPointF inSuper = QXLayer::localToParent(root->modelGeometry()).mapPoint(inRoot);
    if (QXLayer* parent = owner.superlayer()) {
        bool ok = false;
        const QTransform back = parent->matrixToAncestor(root).toQTransform().inverted(&ok);
        if (!ok)
            return {};
        inSuper = back.map(inRoot);
    }
    QXLayer* hit = owner.hitTest(inSuper);
    if (!hit)
        return {};
    return unignoredAncestor(element(hit));
}

QVariant QXLayerAccessibility::accessibilityFocusedUIElement() {
    if (accessibilityAttributeValue(focusedUIElementAttribute).toBool())
        return element(&owner);
    std::vector<QXLayer*> layers;
    for (const auto& child : owner.sublayers())
        layers.push_back(child.get());
    for (const QVariant& child : unignoredChildren(layers))
        if (QXLayer* layer = layerOf(child);
            layer &&
            layer->accessibility().accessibilityAttributeValue(focusedUIElementAttribute).toBool())
            return child;
    return unignoredAncestor(qx_accessibilityParent());
}

void QXLayerAccessibility::setAccessibilityEnabledLayer(QWidget* view, QXLayer& layer) {
    QX_PRECONDITION(view != nullptr, "layer");
    layer.accessibility().hostView = view;
}
