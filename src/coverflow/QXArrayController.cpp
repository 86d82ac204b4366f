#include "coverflow/QXArrayController.h"

QXArrayController::QXArrayController(const QMetaObject* objectClass, QObject* parent)
    : QXObservable(parent)
    , objectClass_(objectClass) {
}

QList<QXObservable*> QXArrayController::arrangedObjects() const {
    QList<QXObservable*> items;
    items.reserve(content.size());
    for (const QPointer<QXObservable>& item : content)
        if (item)
            items.append(item.data());
    return items;
}

void QXArrayController::setContent(const QList<QXObservable*>& items) {
    content.clear();
    for (QXObservable* item : items)
        content.append(item);
    Q_EMIT valueChanged(arrangedObjectsKey);
}

void QXArrayController::setSelectionIndex(QXIndex index) {
    if (selectionIndex_ == index)
        return;
    selectionIndex_ = index;
    Q_EMIT valueChanged(selectionIndexKey);
}

QVariant QXArrayController::valueForKey(const QString& key) const {
    if (key == arrangedObjectsKey)
        return QVariant::fromValue(arrangedObjects());
    if (key == selectionIndexKey)
        return QVariant::fromValue(qulonglong(selectionIndex_));
    return {};
}
