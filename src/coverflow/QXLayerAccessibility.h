#pragma once

// Makes any layer an accessibility element whose attributes, parameterized attributes and
// actions are handlers registered per layer, with default answers for the standard attributes.
// A layer with nothing registered is ignored: its registered descendants stand in its place.
// Elements travel in QVariants: a QXLayer* for a layer, a QObject* for the hosting widget.

#include <QAccessible>
#include <QHash>
#include <QPointer>
#include <QRectF>
#include <QStringList>
#include <QVariant>
#include <QWidget>

#include <functional>
#include <vector>

class QXLayer;
Q_DECLARE_METATYPE(QXLayer*)

namespace QXAccessibility {

inline const QString parentAttribute = QStringLiteral("AXParent");
inline const QString sizeAttribute = QStringLiteral("AXSize");
inline const QString positionAttribute = QStringLiteral("AXPosition");
inline const QString windowAttribute = QStringLiteral("AXWindow");
inline const QString topLevelUIElementAttribute = QStringLiteral("AXTopLevelUIElement");
inline const QString roleAttribute = QStringLiteral("AXRole");
inline const QString roleDescriptionAttribute = QStringLiteral("AXRoleDescription");
inline const QString enabledAttribute = QStringLiteral("AXEnabled");
inline const QString focusedAttribute = QStringLiteral("AXFocused");
inline const QString childrenAttribute = QStringLiteral("AXChildren");
inline const QString valueAttribute = QStringLiteral("AXValue");
inline const QString titleAttribute = QStringLiteral("AXTitle");
inline const QString orientationAttribute = QStringLiteral("AXOrientation");
inline const QString subroleAttribute = QStringLiteral("AXSubrole");
inline const QString visibleChildrenAttribute = QStringLiteral("AXVisibleChildren");
inline const QString selectedChildrenAttribute = QStringLiteral("AXSelectedChildren");
inline const QString focusedUIElementAttribute = QStringLiteral("AXFocusedUIElement");
inline const QString contentsAttribute = QStringLiteral("AXContents");
inline const QString horizontalScrollBarAttribute = QStringLiteral("AXHorizontalScrollBar");

inline const QString unknownRole = QStringLiteral("AXUnknown");
inline const QString listRole = QStringLiteral("AXList");
inline const QString scrollBarRole = QStringLiteral("AXScrollBar");
inline const QString valueIndicatorRole = QStringLiteral("AXValueIndicator");
inline const QString scrollAreaRole = QStringLiteral("AXScrollArea");
inline const QString contentListSubrole = QStringLiteral("AXContentList");
inline const QString horizontalOrientationValue = QStringLiteral("AXHorizontalOrientation");

inline const QString valueChangedNotification = QStringLiteral("AXValueChanged");

QVariant element(QXLayer* layer);
QVariant element(QObject* object);
QXLayer* layerOf(const QVariant& element);
QObject* objectOf(const QVariant& element);
bool isIgnored(const QVariant& element);
// The element itself when it is not ignored, else the first unignored element above it.
QVariant unignoredAncestor(const QVariant& element);
// Unignored layers stay; ignored ones are replaced by their unignored descendants.
QVariantList unignoredChildren(const std::vector<QXLayer*>& layers);
QString roleDescription(const QString& role);

// Every notification goes through here; tests observe it (the platform's accessibility bus is
// not active on every platform).
using Observer = std::function<void(const QVariant& element, const QString& notification)>;
void setObserver(Observer observer);
void post(const QVariant& element, const QString& notification);

} // namespace QXAccessibility

class QXLayerAccessibility {
public:
    using Getter = std::function<QVariant()>;
    using Setter = std::function<void(const QVariant&)>;
    using ParameterHandler = std::function<QVariant(const QVariant&)>;
    using Action = std::function<void()>;

    explicit QXLayerAccessibility(QXLayer& owner)
        : owner(owner) {}
    ~QXLayerAccessibility();

    // Parent, size, position, window, top level, role, role description, enabled, focused:
    // answered for every layer and never writable.
    static const QStringList& defaultAccessibilityAttributes();

    void setReadableAccessibilityAttribute(const QString& attribute, Getter handler);
    void setWritableAccessibilityAttribute(const QString& attribute, Getter getter, Setter setter);
    void removeAccessibilityAttribute(const QString& attribute);
    void setParameterizedAccessibilityAttribute(const QString& attribute, ParameterHandler handler);
    void setAccessibilityAction(const QString& actionName, Action handler);

    bool accessibilityIsIgnored() const;
    QStringList accessibilityAttributeNames();
    QVariant accessibilityAttributeValue(const QString& attribute);
    void accessibilitySetValue(const QVariant& value, const QString& attribute);
    bool accessibilityIsAttributeSettable(const QString& attribute) const;
    QStringList accessibilityActionNames() const { return actionNames; }
    void accessibilityPerformAction(const QString& actionName);
    QString accessibilityActionDescription(const QString& actionName) const;
    QStringList accessibilityParameterizedAttributeNames() const { return parameterized; }
    QVariant accessibilityAttributeValue(const QString& attribute, const QVariant& parameter);
    // A point in global (screen) coordinates.
    QVariant accessibilityHitTest(QPoint screenPoint);
    QVariant accessibilityFocusedUIElement();

    bool qx_hasCustomAttributes() const { return !attributes.isEmpty(); }
    bool qx_hasActions() const { return !actionNames.isEmpty(); }
    bool qx_hasParameterizedAttributes() const { return !parameterized.isEmpty(); }
    Getter qx_getterForAttribute(const QString& a) const { return getters.value(a); }
    Setter qx_setterForAttribute(const QString& a) const { return setters.value(a); }
    QWidget* qx_containingView() const;
    QVariant qx_accessibilityParent() const;
    // Throws std::logic_error("No accessibility parent available") for a parentless layer.
    QVariant qx_defaultParentAttributeHandler() const;
    QRectF qx_rectInScreen() const;

    // Records view as the host of the tree rooted at layer (not owned).
    static void setAccessibilityEnabledLayer(QWidget* view, QXLayer& layer);
    QWidget* recordedView() const { return hostView; }

    // The registered platform interface of this layer, if one was made (the bridge owns it).
    QAccessible::Id platformId = 0;

private:
    void addName(QStringList& list, const QString& name);
    QXLayer& owner;
    QStringList attributes;
    QStringList parameterized;
    QStringList actionNames;
    QHash<QString, Getter> getters;
    QHash<QString, Setter> setters;
    QHash<QString, ParameterHandler> parameterHandlers;
    QHash<QString, Action> actions;
    QPointer<QWidget> hostView;
};
