#include "platform/Task.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <memory>
#include <vector>

using namespace std::chrono_literals;
using TestSupport::waitUntil;

namespace {

// Several calls deep, as the import's copy loop would be.
int innermostStep(std::atomic<bool>& started) {
    started = true;
    for (;;) {
        Task::checkCancellation();
        QThread::msleep(1);
    }
}
int middleStep(std::atomic<bool>& started) {
    return innermostStep(started) + 1;
}

} // namespace

TEST(Task, CancellationIsSeenDeepInsideNestedCalls) {
    std::atomic<bool> started{false};
    bool delivered = false;
    bool sawCancellation = false;
    QObject receiver;
    Task task = Task::run(
        TaskPriority::userInitiated, &receiver, [&] { return middleStep(started); },
        [&](std::optional<int> result, std::exception_ptr error) {
            delivered = true;
            EXPECT_FALSE(result.has_value());
            try {
                std::rethrow_exception(error);
            } catch (const CancellationError&) {
                sawCancellation = true;
            }
        });
    ASSERT_TRUE(waitUntil([&] { return started.load(); }));
    EXPECT_FALSE(task.isCancellationRequested());
    task.cancel();
    ASSERT_TRUE(waitUntil([&] { return delivered; }));
    EXPECT_TRUE(sawCancellation);
    EXPECT_TRUE(task.isCancellationRequested());
}

TEST(Task, ResultsArriveOnTheReceiversThreadInOrder) {
    QObject receiver;
    std::vector<int> order;
    std::vector<bool> onMainThread;
    // One worker posts several deliveries back to back; they must arrive as posted.
    Task::run(TaskPriority::utility, [&receiver, &order, &onMainThread] {
        for (int i = 0; i < 50; ++i) {
            auto target = TaskDetail::Receiver::watch(&receiver);
            target->post([i, &order, &onMainThread] {
                order.push_back(i);
                onMainThread.push_back(QThread::currentThread() ==
                                       QCoreApplication::instance()->thread());
            });
        }
    });
    ASSERT_TRUE(waitUntil([&] { return order.size() == 50; }));
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(order[i], i);
        EXPECT_TRUE(onMainThread[i]);
    }
}

TEST(Task, ValueResultIsDelivered) {
    QObject receiver;
    std::optional<QString> got;
    Task::run(
        TaskPriority::utility, &receiver, [] { return QStringLiteral("done"); },
        [&](std::optional<QString> result, std::exception_ptr error) {
            EXPECT_FALSE(error);
            got = result;
        });
    ASSERT_TRUE(waitUntil([&] { return got.has_value(); }));
    EXPECT_EQ(*got, QStringLiteral("done"));
}

TEST(Task, NothingIsDeliveredAfterTheReceiverIsDestroyed) {
    auto delivered = std::make_shared<std::atomic<int>>(0);
    std::atomic<bool> release{false};
    auto receiver = std::make_unique<QObject>();
    Task task = Task::run(
        TaskPriority::utility, receiver.get(),
        [&release] {
            while (!release)
                QThread::msleep(1);
            return 1;
        },
        [delivered](std::optional<int>, std::exception_ptr) { ++*delivered; });
    receiver.reset();
    release = true;
    QObject witness;
    bool finished = false;
    task.onFinished(&witness, [&] { finished = true; });
    ASSERT_TRUE(waitUntil([&] { return finished; }));
    TestSupport::drainEvents();
    EXPECT_EQ(delivered->load(), 0);
}

TEST(Task, QueuedDeliveryIsDroppedWhenTheReceiverDiesBeforeItRuns) {
    auto delivered = std::make_shared<std::atomic<int>>(0);
    auto receiver = std::make_unique<QObject>();
    Task task = Task::run(
        TaskPriority::utility, receiver.get(), [] { return 1; },
        [delivered](std::optional<int>, std::exception_ptr) { ++*delivered; });
    // Wait for the work to end without running this thread's event loop, so the delivery is
    // still queued when the receiver goes.
    for (int i = 0; i < 20000 && !task.isFinished(); ++i)
        QThread::msleep(1);
    ASSERT_TRUE(task.isFinished());
    receiver.reset();
    TestSupport::drainEvents();
    EXPECT_EQ(delivered->load(), 0);
}

TEST(Task, CancellableSleepWakesOnCancel) {
    std::atomic<bool> started{false};
    std::atomic<bool> cancelledOut{false};
    Task task = Task::run(TaskPriority::utility, [&] {
        started = true;
        try {
            Task::sleep(std::chrono::hours(1));
        } catch (const CancellationError&) {
            cancelledOut = true;
        }
    });
    ASSERT_TRUE(waitUntil([&] { return started.load(); }));
    task.cancel();
    ASSERT_TRUE(waitUntil([&] { return task.isFinished(); }));
    EXPECT_TRUE(cancelledOut);
}

TEST(Task, OutsideATaskNothingIsCancelled) {
    EXPECT_FALSE(Task::isCancelled());
    EXPECT_NO_THROW(Task::checkCancellation());
    EXPECT_EQ(Task::currentState(), nullptr);
}

TEST(Task, LinkedChildIsCancelledWithItsParent) {
    std::atomic<bool> childStarted{false};
    std::atomic<bool> childCancelled{false};
    std::atomic<bool> parentReady{false};
    Task child;
    Task parent = Task::run(TaskPriority::userInitiated, [&] {
        child = Task::run(TaskPriority::utility, [&] {
            childStarted = true;
            try {
                Task::sleep(std::chrono::hours(1));
            } catch (const CancellationError&) {
                childCancelled = true;
            }
        });
        child.linkToCurrent();
        parentReady = true;
        try {
            Task::sleep(std::chrono::hours(1));
        } catch (const CancellationError&) {
        }
    });
    ASSERT_TRUE(waitUntil([&] { return parentReady.load() && childStarted.load(); }));
    parent.cancel();
    ASSERT_TRUE(waitUntil([&] { return childCancelled.load(); }));
}

TEST(Task, OnFinishedRunsOnTheContextThreadEvenWhenAlreadyDone) {
    Task task = Task::run(TaskPriority::utility, [] {});
    ASSERT_TRUE(waitUntil([&] { return task.isFinished(); }));
    QObject context;
    bool ran = false;
    task.onFinished(&context, [&] { ran = true; });
    EXPECT_FALSE(ran); // queued, not called in place
    ASSERT_TRUE(waitUntil([&] { return ran; }));
}

TEST(Task, ShuttingDownCancelsWhatRunsAndDropsWhatWaits) {
    std::atomic<int> started = 0;
    std::atomic<int> cancelled = 0;
    std::vector<Task> tasks;
    // More sleepers than the pool has threads, so some are still waiting for one.
    for (int i = 0; i < 64; ++i) {
        tasks.push_back(Task::run(TaskPriority::utility, [&] {
            ++started;
            try {
                Task::sleep(60s);
            } catch (const CancellationError&) {
                ++cancelled;
            }
        }));
    }
    ASSERT_TRUE(waitUntil([&] { return started >= 16; }));
    EXPECT_TRUE(Task::cancelAllAndWait(10s));
    EXPECT_EQ(cancelled.load(), started.load());
    EXPECT_LT(started.load(), 64);
}
