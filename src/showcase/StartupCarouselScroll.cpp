#include "showcase/StartupCarouselScroll.h"

#include <QWheelEvent>

#include <cmath>

StartupCarouselScroll::StartupCarouselScroll(QWidget* view)
    : QObject(view)
    , view_(view) {
    clock_.start();
    if (view)
        view->installEventFilter(this);
}

bool StartupCarouselScroll::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_ && event->type() == QEvent::Wheel &&
        handle(static_cast<QWheelEvent*>(event))) {
        event->accept();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

qint64 StartupCarouselScroll::now(const QWheelEvent* event) const {
    // Events from the window system carry their time; made-up ones may not.
    return event->timestamp() != 0 ? qint64(event->timestamp()) : clock_.elapsed();
}

void StartupCarouselScroll::beginGesture() {
    scroll_.reset();
    advancedInGesture_ = false;
}

bool StartupCarouselScroll::handle(QWheelEvent* event) {
    if (!view_)
        return false;
    if (!view_->rect().contains(event->position().toPoint()))
        return false;

    const QPoint pixels = event->pixelDelta();
    const QPoint angle = event->angleDelta();
    const bool fractionalNotch = angle.x() % notch != 0 || angle.y() % notch != 0;
    const bool precise = !pixels.isNull() || fractionalNotch;
    QPointF delta = !pixels.isNull()  ? QPointF(pixels)
                    : fractionalNotch ? QPointF(angle) / notch * CoverFlowScroll::pointsPerItem
                                      : QPointF(angle);

    const Qt::ScrollPhase phase = event->phase();
    bool phased = phase != Qt::NoScrollPhase;
    if (phase == Qt::ScrollBegin || phase == Qt::ScrollEnd) {
        beginGesture();
        lastUnphasedTime_ = -1;
        if (phase == Qt::ScrollEnd)
            return false;
    } else if (!phased && precise) {
        // A phase-less precise stream is one gesture until it pauses.
        const qint64 time = now(event);
        if (lastUnphasedTime_ < 0 || time - lastUnphasedTime_ > gestureGapMilliseconds ||
            time < lastUnphasedTime_)
            beginGesture();
        lastUnphasedTime_ = time;
        phased = true;
    }

    if (std::abs(delta.y()) >= std::abs(delta.x()))
        return false;
    if (phase == Qt::ScrollMomentum)
        return true;
    if (phased && advancedInGesture_)
        return true;
    const int result = scroll_.step(precise, 1, 3, -delta.x());
    if (result == 1)
        return true;
    advancedInGesture_ = true;
    if (move)
        move(result - 1);
    return true;
}
