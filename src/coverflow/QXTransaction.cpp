#include "coverflow/QXTransaction.h"

#include "coverflow/QXLayer.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {

struct Frame {
    bool disableActions = false;
    double duration = 0.25;
    std::shared_ptr<const QEasingCurve> curve =
        std::make_shared<const QEasingCurve>(QEasingCurve::Linear);
    std::function<void()> completion;
    double lastEnd = 0;
    double startTime = -1; // read once per transaction
    std::vector<std::weak_ptr<QXLayer>> touched;
};

struct Pending {
    double endTime;
    std::function<void()> completion;
};

struct State {
    std::vector<Frame> stack;
    std::vector<Pending> pending;
    QXTransaction::Clock clock;
};

thread_local State state;

double realNow() {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

double QXTransaction::now() {
    if (!state.stack.empty()) {
        Frame& frame = state.stack.back();
        if (frame.startTime < 0)
            frame.startTime = state.clock ? state.clock() : realNow();
        return frame.startTime;
    }
    return state.clock ? state.clock() : realNow();
}

void QXTransaction::setClock(Clock clock) {
    state.clock = std::move(clock);
}

void QXTransaction::begin() {
    Frame frame;
    if (!state.stack.empty()) {
        // Nested transactions inherit the settings of the enclosing one.
        const Frame& outer = state.stack.back();
        frame.disableActions = outer.disableActions;
        frame.duration = outer.duration;
        frame.curve = outer.curve;
    }
    state.stack.push_back(std::move(frame));
}

void QXTransaction::commit() {
    if (state.stack.empty())
        return;
    Frame frame = std::move(state.stack.back());
    state.stack.pop_back();
    for (auto& weak : frame.touched)
        if (auto layer = weak.lock())
            layer->markPresented();
    if (!state.stack.empty()) {
        Frame& outer = state.stack.back();
        outer.lastEnd = std::max(outer.lastEnd, frame.lastEnd);
        std::move(frame.touched.begin(), frame.touched.end(), std::back_inserter(outer.touched));
        if (frame.completion)
            state.pending.push_back({frame.lastEnd, std::move(frame.completion)});
        return;
    }
    if (frame.completion) {
        if (frame.lastEnd > now())
            state.pending.push_back({frame.lastEnd, std::move(frame.completion)});
        else
            frame.completion();
    }
}

bool QXTransaction::isOpen() {
    return !state.stack.empty();
}

void QXTransaction::setDisableActions(bool disable) {
    if (!state.stack.empty())
        state.stack.back().disableActions = disable;
}

bool QXTransaction::disableActions() {
    return state.stack.empty() || state.stack.back().disableActions;
}

void QXTransaction::setAnimationDuration(double seconds) {
    if (!state.stack.empty())
        state.stack.back().duration = std::max(0.0, seconds);
}

double QXTransaction::animationDuration() {
    return state.stack.empty() ? 0 : state.stack.back().duration;
}

void QXTransaction::setTimingFunction(const QEasingCurve& curve) {
    if (!state.stack.empty())
        state.stack.back().curve = std::make_shared<const QEasingCurve>(curve);
}

QEasingCurve QXTransaction::timingFunction() {
    return state.stack.empty() ? linear() : *state.stack.back().curve;
}

std::shared_ptr<const QEasingCurve> QXTransaction::sharedTimingFunction() {
    static const auto linearCurve = std::make_shared<const QEasingCurve>(QEasingCurve::Linear);
    return state.stack.empty() ? linearCurve : state.stack.back().curve;
}

void QXTransaction::setCompletionBlock(std::function<void()> completion) {
    if (!state.stack.empty())
        state.stack.back().completion = std::move(completion);
}

void QXTransaction::processCompletions() {
    const double t = now();
    std::vector<std::function<void()>> due;
    auto it = std::stable_partition(state.pending.begin(), state.pending.end(),
                                    [t](const Pending& p) { return p.endTime > t; });
    for (auto i = it; i != state.pending.end(); ++i)
        due.push_back(std::move(i->completion));
    state.pending.erase(it, state.pending.end());
    for (auto& fn : due)
        fn();
}

bool QXTransaction::hasPendingCompletions() {
    return !state.pending.empty();
}

QEasingCurve QXTransaction::easeOut() {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

QEasingCurve QXTransaction::linear() {
    return QEasingCurve(QEasingCurve::Linear);
}

double QXTransaction::animationEnd() {
    return state.stack.empty() ? 0 : state.stack.back().lastEnd;
}

void QXTransaction::replay(double beginTime, double duration, bool disableActions,
                           std::shared_ptr<const QEasingCurve> curve,
                           const std::function<void()>& changes) {
    Frame frame;
    frame.disableActions = disableActions;
    frame.duration = std::max(0.0, duration);
    frame.curve = std::move(curve);
    frame.startTime = beginTime;
    state.stack.push_back(std::move(frame));
    changes();
    Frame done = std::move(state.stack.back());
    state.stack.pop_back();
    for (auto& weak : done.touched)
        if (auto layer = weak.lock())
            layer->markPresented();
}

bool QXTransaction::shouldAnimate(QXLayer& layer, const QString& key) {
    if (state.stack.empty()) {
        layer.markPresented();
        return false;
    }
    Frame& frame = state.stack.back();
    if (!layer.isPresented())
        frame.touched.push_back(layer.weak_from_this());
    if (frame.disableActions || frame.duration <= 0 || !layer.isPresented())
        return false;
    return !layer.isActionDisabled(key);
}

void QXTransaction::noteAnimation(double endTime) {
    if (!state.stack.empty())
        state.stack.back().lastEnd = std::max(state.stack.back().lastEnd, endTime);
}
