#pragma once

// What a view task shares with the loop or loader behind it. Only the store and its parts
// include this.

#include "device/IPodStore.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

struct IPodStore::ViewTask::State {
    bool cancelled = false;
    bool finished = false;
    // What the task keeps alive while it runs (the mount watcher).
    std::unique_ptr<QObject> resource;

    void finish() {
        finished = true;
        resource.reset();
    }

    // Runs the next turn on context's thread after delay, unless the task was cancelled.
    static void after(const std::shared_ptr<State>& task, QObject* context,
                      std::chrono::milliseconds delay, std::function<void()> turn) {
        if (task->cancelled)
            return;
        QTimer::singleShot(delay, context, [task, turn = std::move(turn)] {
            if (!task->cancelled)
                turn();
        });
    }
};
