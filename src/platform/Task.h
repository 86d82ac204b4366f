#pragma once

// Background work on a thread pool, with a cancellation flag that code deep inside the work can
// read without it being passed down, and delivery of results back to the thread of a receiving
// QObject by queued calls (never a blocking wait across threads).

#include "platform/LocalizedError.h"

#include <QMetaObject>
#include <QObject>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

enum class TaskPriority {
    utility,       // polling reads
    userInitiated, // loads and operations the user asked for
};

// Thrown by Task::checkCancellation and cancellable sleeps when the current task was cancelled.
class CancellationError : public LocalizedError {
public:
    using LocalizedError::description;
    QString description(AppLanguage language) const override;
};

namespace TaskDetail {

// Watches a receiving QObject from any thread: posting to it is safe up to the moment its
// destructor starts, and Qt drops whatever is still queued for it when it dies.
class Receiver {
public:
    static std::shared_ptr<Receiver> watch(QObject* object);
    ~Receiver();
    // Queues fn on the object's thread; false when the object is already gone.
    bool post(std::function<void()> fn);

private:
    std::mutex mutex;
    QObject* object = nullptr;
    QMetaObject::Connection connection;
};

// Shared between the handle, the running work and its delivery.
class State : public std::enable_shared_from_this<State> {
public:
    void cancel();
    bool isCancelled() const;
    // Waits up to the duration; returns false when woken by cancellation.
    bool sleepFor(std::chrono::nanoseconds duration);
    void markFinished();
    bool isFinished() const;
    // Runs fn on context's thread once the work has ended (queued, also when it already has).
    void onFinished(QObject* context, std::function<void()> fn);
    // Cancels this task whenever the parent is (or already was) cancelled.
    void linkParent(const std::shared_ptr<State>& parent);

private:
    struct Waiter {
        std::shared_ptr<Receiver> receiver;
        std::function<void()> fn;
    };
    void cancelChildren();
    mutable std::mutex mutex;
    std::condition_variable wake;
    bool cancelled = false;
    bool finished = false;
    std::vector<Waiter> waiters;
    std::vector<std::weak_ptr<State>> children;
};

void start(TaskPriority priority, std::shared_ptr<State> state, std::function<void()> body);

} // namespace TaskDetail

// A handle to a started task. Copies share the task; dropping every handle does not cancel it.
class Task {
public:
    Task() = default;

    // Runs work on the pool. Inside it, Task::isCancelled() reads this task's flag.
    static Task run(TaskPriority priority, std::function<void()> work);

    // Runs work on the pool and hands its result (or its exception) to onResult on the thread
    // of receiver, by a queued call. Nothing is delivered when receiver is destroyed first.
    // onResult takes a std::optional<R> (empty when work threw; R is bool for void work) and the
    // std::exception_ptr.
    template <typename Work, typename OnResult>
    static Task run(TaskPriority priority, QObject* receiver, Work work, OnResult onResult);

    void cancel() const;
    bool isCancellationRequested() const;
    bool isFinished() const;
    bool isValid() const { return state != nullptr; }
    // Calls fn on context's thread after the work ended; never blocks.
    void onFinished(QObject* context, std::function<void()> fn) const;

    // The running task's cancellation, for code anywhere below a task's work.
    static bool isCancelled();
    static void checkCancellation();
    // Sleeps, waking early on cancellation; throws CancellationError when cancelled.
    static void sleep(std::chrono::milliseconds duration);

    // The state of the task running on this thread, or null outside tasks.
    static std::shared_ptr<TaskDetail::State> currentState();

    // Cancels every task and waits up to timeout for the pool to empty. Called before the
    // application object goes, so that no worker is still inside Qt or a C library while the
    // process tears them down.
    static bool cancelAllAndWait(std::chrono::milliseconds timeout);

    // Lets a task cancel its children together with itself.
    void linkToCurrent() const;

    friend bool operator==(const Task& a, const Task& b) { return a.state == b.state; }

private:
    explicit Task(std::shared_ptr<TaskDetail::State> s)
        : state(std::move(s)) {}
    std::shared_ptr<TaskDetail::State> state;
};

template <typename Work, typename OnResult>
Task Task::run(TaskPriority priority, QObject* receiver, Work work, OnResult onResult) {
    using Result = std::invoke_result_t<Work&>;
    using Value = std::conditional_t<std::is_void_v<Result>, bool, Result>;
    struct Box {
        Work work;
        OnResult onResult;
        std::optional<Value> result;
        std::exception_ptr error;
    };
    auto box = std::make_shared<Box>(Box{std::move(work), std::move(onResult), {}, {}});
    auto state = std::make_shared<TaskDetail::State>();
    auto target = TaskDetail::Receiver::watch(receiver);
    TaskDetail::start(priority, state, [box, target] {
        try {
            if constexpr (std::is_void_v<Result>) {
                box->work();
                box->result.emplace(true);
            } else {
                box->result.emplace(box->work());
            }
        } catch (...) {
            box->error = std::current_exception();
        }
        target->post([box] { box->onResult(std::move(box->result), box->error); });
    });
    return Task(std::move(state));
}
