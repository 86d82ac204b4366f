#include "showcase/ShowcaseMotion.h"

#include <QEasingCurve>
#include <QVariantAnimation>

#include <cmath>
#include <numbers>

namespace ShowcaseMotion {

namespace {

constexpr int springMilliseconds = 600;
constexpr int easeInOutMilliseconds = 200;

// The spring's progress after a share of its 0.6 s run (1 at the end).
double spring(double progress) {
    if (progress >= 1)
        return 1;
    if (progress <= 0)
        return 0;
    constexpr double response = 0.42;
    constexpr double damping = 0.84;
    const double omega = 2 * std::numbers::pi / response;
    const double damped = omega * std::sqrt(1 - damping * damping);
    const double t = progress * springMilliseconds / 1000.0;
    return 1 - std::exp(-damping * omega * t) *
                   (std::cos(damped * t) + damping * omega / damped * std::sin(damped * t));
}

QEasingCurve curve(StartupDeviceFlowState::Animation animation) {
    if (animation == StartupDeviceFlowState::Animation::spring) {
        QEasingCurve c;
        c.setCustomType([](qreal progress) -> qreal { return spring(progress); });
        return c;
    }
    QEasingCurve easeInOut(QEasingCurve::BezierSpline);
    easeInOut.addCubicBezierSegment(QPointF(0.42, 0), QPointF(0.58, 1), QPointF(1, 1));
    return easeInOut;
}

int duration(StartupDeviceFlowState::Animation animation) {
    switch (animation) {
    case StartupDeviceFlowState::Animation::none:
        return 0;
    case StartupDeviceFlowState::Animation::spring:
        return springMilliseconds;
    case StartupDeviceFlowState::Animation::easeInOut:
        return easeInOutMilliseconds;
    }
    return 0;
}

} // namespace

void prepare(QVariantAnimation& animation, StartupDeviceFlowState::Animation kind) {
    animation.stop();
    animation.setEasingCurve(curve(kind));
    animation.setDuration(duration(kind));
    animation.setStartValue(0.0);
    animation.setEndValue(1.0);
}

} // namespace ShowcaseMotion
