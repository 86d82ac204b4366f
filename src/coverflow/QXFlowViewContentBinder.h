#pragma once

// Feeds a flow view from an array controller: observes the controller's list at a key path and
// the image keys of every item in it, and tells its delegate (the flow view) when the list
// changed or an item's image did. Newly observed items report their three keys at once, before
// the list change is told.

#include "coverflow/QXAdditions.h"
#include "coverflow/QXArrayController.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QVariantMap>

#include <optional>

class QXFlowViewContentBinder;

class QXFlowViewContentBinderDelegate {
public:
    virtual ~QXFlowViewContentBinderDelegate() = default;
    virtual void contentArrayDidChange(QXFlowViewContentBinder& binder) = 0;
    virtual void contentBinderItemChanged(QXFlowViewContentBinder& binder, QXObservable* item) = 0;
};

class QXFlowViewContentBinder : public QObject {
    Q_OBJECT

public:
    // Keys of the binding information.
    static inline const QString observedObjectKey = QStringLiteral("NSObservedObject");
    static inline const QString observedKeyPathKey = QStringLiteral("NSObservedKeyPath");
    static inline const QString optionsKey = QStringLiteral("NSOptions");

    // Throws QXInvalidParameter without a controller, when the controller's object class lacks
    // one of the three image properties of an item, or with an empty key path.
    QXFlowViewContentBinder(QXArrayController* controller, const QString& keyPath,
                            QObject* parent = nullptr);
    ~QXFlowViewContentBinder() override;

    // "imageItemRepresentation", "imageItemRepresentationType", "imageItemUID".
    static const QStringList& observedItemKeys();

    QXFlowViewContentBinderDelegate* delegate() const { return delegate_; }
    // Not owned; the owner clears it before it dies.
    void setDelegate(QXFlowViewContentBinderDelegate* delegate) { delegate_ = delegate; }
    QString contentArrayKeyPath() const { return keyPath; }
    QXArrayController* controller() const { return controller_; }
    QVariantMap bindingInfo() const { return info; }
    // The items observed now (still alive); none before the first observation and after a stop.
    std::optional<QList<QXObservable*>> observedItems() const;

    // Observes the list at once (the first change arrives during this call).
    void startObservingContent();
    // Harmless when not observing.
    void stopObservingContent();

private:
    void contentChanged(QXObservable* observedObject, const QString& keyPath);

    QPointer<QXArrayController> controller_;
    QString keyPath;
    QVariantMap info;
    QXFlowViewContentBinderDelegate* delegate_ = nullptr;
    std::optional<QList<QPointer<QXObservable>>> observed;
};
