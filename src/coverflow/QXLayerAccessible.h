#pragma once

// Bridges a layer's accessibility registry to Qt's accessibility interfaces, so assistive
// tools see the unignored layers of a hosted tree as elements: roles, children, screen rects,
// a writable value and actions. One interface per layer, made on demand and deleted with it.

#include <QAccessibleActionInterface>
#include <QAccessibleInterface>
#include <QAccessibleValueInterface>

#include <memory>

class QXLayer;

class QXLayerAccessible : public QAccessibleInterface,
                          public QAccessibleValueInterface,
                          public QAccessibleActionInterface {
public:
    // The registered interface of an unignored layer (null for an ignored one).
    static QAccessibleInterface* interfaceForLayer(QXLayer* layer);
    // The interface of an element as the registry answers it (a layer or a widget).
    static QAccessibleInterface* interfaceForElement(const QVariant& element);

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override;
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant& value) override;
    QVariant maximumValue() const override { return 1.0; }
    QVariant minimumValue() const override { return 0.0; }
    QVariant minimumStepSize() const override { return 0.0; }

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    explicit QXLayerAccessible(QXLayer* layer);
    QXLayer* layer() const;
    QVariantList children() const;
    std::weak_ptr<QXLayer> weak;
};
