#pragma once

// Turns horizontal scrolling over the showcase's stage into one step back or forward per
// gesture. It watches the wheel events that reach the stage (its own or those its children
// leave unused), steps through CoverFlowScroll with a three-item window, and consumes what it
// uses; vertical scrolling passes on.
//
// Linux touchpads do not all say where a gesture begins and ends: under X11 they send a stream
// of small deltas without phases, often as fractions of a wheel notch. Such a stream counts as
// one gesture until it pauses, and fractional notches count as precise distance.

#include "coverflow/CoverFlowScroll.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class QWheelEvent;

class StartupCarouselScroll : public QObject {
    Q_OBJECT

public:
    // A stream of phase-less precise events ends after this long without one.
    static constexpr qint64 gestureGapMilliseconds = 200;
    // One wheel notch in angleDelta units.
    static constexpr int notch = 120;

    // Watches the view's wheel events for as long as both exist.
    explicit StartupCarouselScroll(QWidget* view);

    std::function<void(int delta)> move;

    // True when the event was consumed.
    bool handle(QWheelEvent* event);

    const CoverFlowScroll& scroll() const { return scroll_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void beginGesture();
    qint64 now(const QWheelEvent* event) const;

    QPointer<QWidget> view_;
    CoverFlowScroll scroll_;
    bool advancedInGesture_ = false;
    qint64 lastUnphasedTime_ = -1;
    QElapsedTimer clock_;
};
