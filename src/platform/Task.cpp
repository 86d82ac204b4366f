#include "platform/Task.h"

#include <QCoreApplication>
#include <QRunnable>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <unordered_set>

QString CancellationError::description(AppLanguage language) const {
    return localizedString(LZ("The operation was cancelled."), language);
}

namespace TaskDetail {

namespace {

thread_local std::shared_ptr<State> currentTask;

// One pool for every task. Polling loops sleep inside tasks, so it is wider than the core count.
QThreadPool& pool() {
    static QThreadPool* instance = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(std::max(16, QThread::idealThreadCount() * 2));
        p->setExpiryTimeout(30000);
        return p;
    }();
    return *instance;
}

// The tasks that have started and not yet ended, so that shutting down can cancel them.
std::mutex runningMutex;
std::unordered_set<State*> running;

class Runnable final : public QRunnable {
public:
    Runnable(std::shared_ptr<State> s, std::function<void()> b)
        : state(std::move(s))
        , body(std::move(b)) {}
    void run() override {
        {
            std::lock_guard lock(runningMutex);
            running.insert(state.get());
        }
        currentTask = state;
        try {
            body();
        } catch (...) {
            // A task without a receiver has no one to tell; cancellation ends up here too.
        }
        body = nullptr;
        currentTask.reset();
        {
            std::lock_guard lock(runningMutex);
            running.erase(state.get());
        }
        state->markFinished();
    }

private:
    std::shared_ptr<State> state;
    std::function<void()> body;
};

} // namespace

void State::cancel() {
    {
        std::lock_guard lock(mutex);
        if (cancelled)
            return;
        cancelled = true;
    }
    wake.notify_all();
    cancelChildren();
}

void State::cancelChildren() {
    std::vector<std::weak_ptr<State>> list;
    {
        std::lock_guard lock(mutex);
        list.swap(children);
    }
    for (auto& weak : list)
        if (auto child = weak.lock())
            child->cancel();
}

bool State::isCancelled() const {
    std::lock_guard lock(mutex);
    return cancelled;
}

bool State::sleepFor(std::chrono::nanoseconds duration) {
    std::unique_lock lock(mutex);
    return !wake.wait_for(lock, duration, [this] { return cancelled; });
}

void State::markFinished() {
    std::vector<Waiter> ready;
    {
        std::lock_guard lock(mutex);
        finished = true;
        ready.swap(waiters);
    }
    wake.notify_all();
    for (auto& w : ready)
        w.receiver->post(std::move(w.fn));
}

bool State::isFinished() const {
    std::lock_guard lock(mutex);
    return finished;
}

void State::onFinished(QObject* context, std::function<void()> fn) {
    auto receiver = Receiver::watch(context);
    {
        std::lock_guard lock(mutex);
        if (!finished) {
            waiters.push_back({std::move(receiver), std::move(fn)});
            return;
        }
    }
    receiver->post(std::move(fn));
}

void State::linkParent(const std::shared_ptr<State>& parent) {
    if (!parent)
        return;
    bool parentCancelled;
    {
        std::lock_guard lock(parent->mutex);
        parentCancelled = parent->cancelled;
        if (!parentCancelled)
            parent->children.push_back(weak_from_this());
    }
    if (parentCancelled)
        cancel();
}

std::shared_ptr<Receiver> Receiver::watch(QObject* object) {
    auto receiver = std::make_shared<Receiver>();
    receiver->object = object;
    if (object) {
        std::weak_ptr<Receiver> weak = receiver;
        receiver->connection = QObject::connect(
            object, &QObject::destroyed, object,
            [weak] {
                if (auto r = weak.lock()) {
                    std::lock_guard lock(r->mutex);
                    r->object = nullptr;
                }
            },
            Qt::DirectConnection);
    }
    return receiver;
}

Receiver::~Receiver() {
    QObject::disconnect(connection);
}

bool Receiver::post(std::function<void()> fn) {
    std::lock_guard lock(mutex);
    if (!object)
        return false;
    QMetaObject::invokeMethod(object, std::move(fn), Qt::QueuedConnection);
    return true;
}

void start(TaskPriority priority, std::shared_ptr<State> state, std::function<void()> body) {
    auto* runnable = new Runnable(std::move(state), std::move(body));
    runnable->setAutoDelete(true);
    pool().start(runnable, priority == TaskPriority::userInitiated ? 1 : 0);
}

} // namespace TaskDetail

Task Task::run(TaskPriority priority, std::function<void()> work) {
    auto state = std::make_shared<TaskDetail::State>();
    TaskDetail::start(priority, state, std::move(work));
    return Task(std::move(state));
}

void Task::cancel() const {
    if (state)
        state->cancel();
}

bool Task::isCancellationRequested() const {
    return state && state->isCancelled();
}

bool Task::isFinished() const {
    return !state || state->isFinished();
}

void Task::onFinished(QObject* context, std::function<void()> fn) const {
    if (state)
        state->onFinished(context, std::move(fn));
    else
        TaskDetail::Receiver::watch(context)->post(std::move(fn));
}

bool Task::cancelAllAndWait(std::chrono::milliseconds timeout) {
    // Work that has not started never will.
    TaskDetail::pool().clear();
    {
        std::lock_guard lock(TaskDetail::runningMutex);
        for (TaskDetail::State* state : TaskDetail::running)
            state->cancel();
    }
    return TaskDetail::pool().waitForDone(int(timeout.count()));
}

bool Task::isCancelled() {
    const auto& s = TaskDetail::currentTask;
    return s && s->isCancelled();
}

void Task::checkCancellation() {
    if (isCancelled())
        throw CancellationError();
}

void Task::sleep(std::chrono::milliseconds duration) {
    const auto& s = TaskDetail::currentTask;
    if (!s) {
        QThread::msleep(static_cast<unsigned long>(std::max<long long>(0, duration.count())));
        return;
    }
    if (!s->sleepFor(duration))
        throw CancellationError();
}

std::shared_ptr<TaskDetail::State> Task::currentState() {
    return TaskDetail::currentTask;
}

void Task::linkToCurrent() const {
    if (state)
        state->linkParent(TaskDetail::currentTask);
}
