#include "coverflow/QXAdditions.h"

#include <QHash>
#include <QWheelEvent>

namespace {

struct Observation {
    QPointer<QObject> observer;
    QString key;
    QMetaObject::Connection connection;
};

// Per element, the live observations; main thread only.
QHash<QXObservable*, QList<Observation>>& observations() {
    static QHash<QXObservable*, QList<Observation>> table;
    return table;
}

} // namespace

void qx_addObserver(const QList<QXObservable*>& elements, QObject* observer,
                    const QStringList& keyPaths,
                    std::function<void(QXObservable*, const QString&, const QVariant&)> handler) {
    for (const QString& key : keyPaths) {
        if (key.isEmpty())
            continue;
        for (QXObservable* element : elements) {
            if (!element)
                continue;
            auto connection =
                QObject::connect(element, &QXObservable::valueChanged, observer,
                                 [element, key, handler](const QString& changed) {
                                     if (changed == key)
                                         handler(element, key, element->valueForKey(key));
                                 });
            observations()[element].append({observer, key, connection});
            QObject::connect(element, &QObject::destroyed,
                             [element] { observations().remove(element); });
            handler(element, key, element->valueForKey(key));
        }
    }
}

void qx_removeObserver(const QList<QXObservable*>& elements, QObject* observer,
                       const QStringList& keyPaths) {
    for (const QString& key : keyPaths) {
        if (key.isEmpty())
            continue;
        for (QXObservable* element : elements) {
            auto it = observations().find(element);
            if (it == observations().end())
                continue;
            QList<Observation>& list = *it;
            for (int i = list.size() - 1; i >= 0; --i)
                if (list[i].observer == observer && list[i].key == key) {
                    QObject::disconnect(list[i].connection);
                    list.removeAt(i);
                }
        }
    }
}

QXScrollEvent qx_scrollEvent(const QWheelEvent& event) {
    QXScrollEvent scroll;
    // Qt's deltas are positive for wheel-up and scroll-left, which move a scroll view back; a
    // step forward is the opposite sign. inverted() is not undone: the desktop's scroll views
    // follow the deltas as delivered, natural scrolling included, and so does the cover flow.
    // Negated as doubles: the lowest int has no positive counterpart.
    const QPoint angle = event.angleDelta();
    scroll.deltaX = -double(angle.x()) / 120.0;
    scroll.deltaY = -double(angle.y()) / 120.0;
    const QPoint pixels = event.pixelDelta();
    scroll.hasPreciseScrollingDeltas = !pixels.isNull();
    scroll.scrollingDeltaX = scroll.hasPreciseScrollingDeltas ? -double(pixels.x()) : scroll.deltaX;
    scroll.scrollingDeltaY = scroll.hasPreciseScrollingDeltas ? -double(pixels.y()) : scroll.deltaY;
    switch (event.phase()) {
    case Qt::ScrollBegin:
        scroll.phase = QXScrollEvent::began;
        break;
    case Qt::ScrollUpdate:
        scroll.phase = QXScrollEvent::changed;
        break;
    case Qt::ScrollEnd:
        scroll.phase = QXScrollEvent::ended;
        break;
    default: // no phase, or the momentum after a gesture, which has no phase of its own
        break;
    }
    return scroll;
}
