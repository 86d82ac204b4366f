#pragma once

// Small additions to platform types used across the control.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTransform>
#include <QVariant>

#include <cmath>
#include <functional>

class QWheelEvent;

// A scroll event's deltas as the control reads them.
struct QXScrollEvent {
    // Where a gesture stands; a wheel notch has none.
    enum Phase { noPhase = 0, began = 1, changed = 2, ended = 4, cancelled = 8 };

    // In wheel notches (lines): 1 per notch of a plain mouse wheel, fractions from finer ones.
    double deltaX = 0;
    double deltaY = 0;
    bool hasPreciseScrollingDeltas = false;
    // In logical pixels for precise deltas; the notch deltas otherwise.
    double scrollingDeltaX = 0;
    double scrollingDeltaY = 0;
    int phase = noPhase;
    // x when |x| >= |y| (ties go to x), else y.
    double dominantDeltaInXYSpace() const {
        return std::abs(deltaX) >= std::abs(deltaY) ? deltaX : deltaY;
    }
};

// A wheel event as a scroll event: pixel deltas are precise, angle deltas count 120 a notch.
// The signs are turned so that a positive delta moves towards higher indexes: wheel-down and a
// scroll to the right step forward.
QXScrollEvent qx_scrollEvent(const QWheelEvent& event);

// A transform object from an affine transform's six coefficients.
inline QTransform qx_affineTransformWithAffineTransform(double a, double b, double c, double d,
                                                        double tx, double ty) {
    return QTransform(a, b, c, d, tx, ty);
}

// An element whose values can be observed by key.
class QXObservable : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    virtual QVariant valueForKey(const QString& key) const = 0;

Q_SIGNALS:
    void valueChanged(const QString& key);
};

// Observes each key path (empty entries skipped) on every element, calling handler(element, key,
// value) at once for each (the initial notification) and after every change, until the
// observation is removed or observer dies.
void qx_addObserver(const QList<QXObservable*>& elements, QObject* observer,
                    const QStringList& keyPaths,
                    std::function<void(QXObservable*, const QString&, const QVariant&)> handler);
void qx_removeObserver(const QList<QXObservable*>& elements, QObject* observer,
                       const QStringList& keyPaths);
