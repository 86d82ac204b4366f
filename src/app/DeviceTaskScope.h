#pragma once

// Tasks that belong to one device shown on screen: started when the device appears, cancelled
// when another device takes its place or the screen goes away. Asking again for the same key
// does nothing, so refreshing a screen does not restart its loops. Handle is any task handle
// with cancel().

#include "device/IPodDevice.h"

#include <functional>
#include <optional>
#include <vector>

template <typename Handle> class DeviceTaskScope {
public:
    using Starter = std::function<std::vector<Handle>(const IPodDevice::ID&)>;

    DeviceTaskScope() = default;
    DeviceTaskScope(const DeviceTaskScope&) = delete;
    DeviceTaskScope& operator=(const DeviceTaskScope&) = delete;
    ~DeviceTaskScope() { cancel(); }

    // Cancels the tasks of another key before the new ones start; no key only cancels.
    void setKey(const std::optional<IPodDevice::ID>& key, const Starter& start) {
        if (key == key_)
            return;
        cancel();
        // emplace rather than assign: GCC 12 at -O3 sees the assigned optional as uninitialised
        if (key)
            key_.emplace(*key);
        if (key_ && start)
            tasks_ = start(*key_);
    }

    void cancel() {
        for (Handle& task : tasks_)
            task.cancel();
        tasks_.clear();
        key_.reset();
    }

    const std::optional<IPodDevice::ID>& key() const { return key_; }
    const std::vector<Handle>& tasks() const { return tasks_; }

private:
    std::optional<IPodDevice::ID> key_;
    std::vector<Handle> tasks_;
};
