#pragma once

// Explicit transactions for the layer tree: a property change made while a transaction is open
// (actions enabled, key not disabled on the layer) animates from the value on screen to the new
// one over the transaction's duration and curve. Changes outside a transaction apply at once.
// The clock is injectable so animations can be stepped in tests.

#include <QEasingCurve>

#include <functional>
#include <memory>
#include <vector>

class QXLayer;

class QXTransaction {
public:
    // Seconds on a monotonic clock.
    using Clock = std::function<double()>;
    static double now();
    // An empty clock restores the real one.
    static void setClock(Clock clock);

    static void begin();
    // Commits the innermost transaction. The completion of an outermost transaction runs when its
    // animations have ended (see processCompletions), at once when it started none.
    static void commit();
    static bool isOpen();

    static void setDisableActions(bool disable);
    static bool disableActions();
    static void setAnimationDuration(double seconds);
    static double animationDuration();
    static void setTimingFunction(const QEasingCurve& curve);
    static QEasingCurve timingFunction();
    // The same curve shared, so that thousands of animations of one pass share one copy.
    static std::shared_ptr<const QEasingCurve> sharedTimingFunction();
    static void setCompletionBlock(std::function<void()> completion);

    // Runs the completions whose animations have ended by now(); hosts call it on each tick.
    static void processCompletions();
    static bool hasPendingCompletions();

    // The platform's ease-out: the cubic Bezier (0, 0), (0.58, 1).
    static QEasingCurve easeOut();
    static QEasingCurve linear();

    // When the animations started so far in the innermost transaction end; 0 with none.
    static double animationEnd();
    // Runs changes as if inside a transaction that began at the given time, with its own
    // settings; nothing of it reaches the enclosing transaction or its completion. Used to bring
    // a layer up to date with a pass it missed.
    static void replay(double beginTime, double duration, bool disableActions,
                       std::shared_ptr<const QEasingCurve> curve,
                       const std::function<void()>& changes);

    // Called by layers: whether a change of the key should animate now, and noting the layer as
    // touched so that it animates in later transactions (a new layer never flies in).
    static bool shouldAnimate(QXLayer& layer, const QString& key);
    static void noteAnimation(double endTime);
};
