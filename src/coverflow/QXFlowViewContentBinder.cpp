#include "coverflow/QXFlowViewContentBinder.h"

#include "coverflow/QXArrayController.h"
#include "coverflow/QXInvalidParameter.h"

#include <QMetaObject>
#include <QSet>

namespace {

bool hasProperty(const QXArrayController* controller, const char* name) {
    const QMetaObject* type = controller->objectClass();
    return type && type->indexOfProperty(name) >= 0;
}

} // namespace

QXFlowViewContentBinder::QXFlowViewContentBinder(QXArrayController* controller,
                                                 const QString& keyPath, QObject* parent)
    : QObject(parent)
    , controller_(controller)
    , keyPath(keyPath) {
    QX_PRECONDITION(controller != nullptr, "controller");
    QX_PRECONDITION(hasProperty(controller, "imageItemRepresentation"),
                    "[[controller objectClass] "
                    "instancesRespondToSelector:@selector(imageItemRepresentation)]");
    QX_PRECONDITION(hasProperty(controller, "imageItemRepresentationType"),
                    "[[controller objectClass] "
                    "instancesRespondToSelector:@selector(imageItemRepresentationType)]");
    QX_PRECONDITION(
        hasProperty(controller, "imageItemUID"),
        "[[controller objectClass] instancesRespondToSelector:@selector(imageItemUID)]");
    QX_PRECONDITION(!keyPath.isEmpty(), "keyPath");
    // The options a binding is made with are not kept.
    info = {{observedObjectKey, QVariant::fromValue(static_cast<QObject*>(controller))},
            {observedKeyPathKey, keyPath},
            {optionsKey, QVariantMap()}};
}

QXFlowViewContentBinder::~QXFlowViewContentBinder() {
    stopObservingContent();
}

const QStringList& QXFlowViewContentBinder::observedItemKeys() {
    static const QStringList keys = {QStringLiteral("imageItemRepresentation"),
                                     QStringLiteral("imageItemRepresentationType"),
                                     QStringLiteral("imageItemUID")};
    return keys;
}

std::optional<QList<QXObservable*>> QXFlowViewContentBinder::observedItems() const {
    if (!observed)
        return std::nullopt;
    QList<QXObservable*> items;
    for (const QPointer<QXObservable>& item : *observed)
        if (item)
            items.append(item.data());
    return items;
}

void QXFlowViewContentBinder::startObservingContent() {
    if (!controller_)
        return;
    qx_addObserver({controller_.data()}, this, {keyPath},
                   [this](QXObservable* object, const QString& key, const QVariant&) {
                       contentChanged(object, key);
                   });
}

void QXFlowViewContentBinder::stopObservingContent() {
    if (!observed)
        return;
    qx_removeObserver(observedItems().value_or(QList<QXObservable*>()), this, observedItemKeys());
    if (controller_)
        qx_removeObserver({controller_.data()}, this, {keyPath});
    observed.reset();
}

void QXFlowViewContentBinder::contentChanged(QXObservable* observedObject, const QString& key) {
    QX_PRECONDITION(observedObject == controller_, "observedObject == self.controller");
    QX_PRECONDITION(key == keyPath, "[keyPath isEqualToString:self.contentArrayKeyPath]");
    // A value that is no list counts as an empty one.
    const QList<QXObservable*> current =
        controller_->valueForKey(keyPath).value<QList<QXObservable*>>();
    const QList<QXObservable*> before = observedItems().value_or(QList<QXObservable*>());
    const QSet<QXObservable*> beforeSet(before.begin(), before.end());
    const QSet<QXObservable*> currentSet(current.begin(), current.end());
    QList<QXObservable*> added, removed;
    QSet<QXObservable*> seen;
    for (QXObservable* item : current)
        if (item && !beforeSet.contains(item) && !seen.contains(item)) {
            seen.insert(item);
            added.append(item);
        }
    for (QXObservable* item : before)
        if (!currentSet.contains(item))
            removed.append(item);
    qx_addObserver(added, this, observedItemKeys(),
                   [this](QXObservable* item, const QString&, const QVariant&) {
                       if (delegate_)
                           delegate_->contentBinderItemChanged(*this, item);
                   });
    qx_removeObserver(removed, this, observedItemKeys());
    QList<QPointer<QXObservable>> kept;
    for (QXObservable* item : current)
        kept.append(item);
    observed = std::move(kept);
    if (delegate_)
        delegate_->contentArrayDidChange(*this);
}
