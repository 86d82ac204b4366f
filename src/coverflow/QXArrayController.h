#pragma once

// An observable list of items that a flow view can be bound to in place of a data source. The
// items are observable objects of one class (objectClass); the controller does not own them.
// Observers of arrangedObjectsKey hear of every new list, observers of selectionIndexKey of
// every change of the selection.

#include "coverflow/QXAdditions.h"
#include "coverflow/QXNotFound.h"

#include <QList>
#include <QPointer>

class QXArrayController : public QXObservable {
    Q_OBJECT

public:
    static inline const QString arrangedObjectsKey = QStringLiteral("arrangedObjects");
    static inline const QString selectionIndexKey = QStringLiteral("selectionIndex");

    explicit QXArrayController(const QMetaObject* objectClass, QObject* parent = nullptr);

    const QMetaObject* objectClass() const { return objectClass_; }
    // The items still alive, in order.
    QList<QXObservable*> arrangedObjects() const;
    void setContent(const QList<QXObservable*>& items);
    QXIndex selectionIndex() const { return selectionIndex_; }
    void setSelectionIndex(QXIndex index);

    // arrangedObjectsKey: QList<QXObservable*>; selectionIndexKey: the index as qulonglong.
    QVariant valueForKey(const QString& key) const override;

private:
    const QMetaObject* objectClass_;
    QList<QPointer<QXObservable>> content;
    QXIndex selectionIndex_ = QXNotFound;
};
