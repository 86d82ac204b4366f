#include "device/LibraryLoader.h"

#include "platform/Task.h"

LibraryLoader::LibraryLoader(std::function<IPodLibrary(const IPodDevice&)> r,
                             std::function<bool(const IPodDevice::ID&)> w, QObject* parent)
    : QObject(parent)
    , read(std::move(r))
    , wanted(std::move(w)) {
}

void LibraryLoader::setLibrary(std::optional<IPodLibrary> library) {
    library_ = std::move(library);
    Q_EMIT libraryChanged();
}

void LibraryLoader::setLoadError(std::exception_ptr error) {
    loadError_ = std::move(error);
    Q_EMIT loadErrorChanged();
}

void LibraryLoader::finish(const std::shared_ptr<Reload>& reload) {
    reload->finished = true;
    std::vector<std::function<void()>> next;
    next.swap(reload->whenFinished);
    for (auto& fn : next)
        fn();
}

void LibraryLoader::clear() {
    if (loading)
        loading->cancelled = true;
    setLibrary(std::nullopt);
    setLoadError(nullptr);
}

void LibraryLoader::show(std::optional<IPodLibrary> library) {
    setLibrary(std::move(library));
}

void LibraryLoader::load(const IPodDevice& device) {
    const std::shared_ptr<Reload> previous = loading;
    if (previous)
        previous->cancelled = true;
    auto reload = std::make_shared<Reload>();
    loading = reload;
    auto start = [this, reload, device] {
        if (reload->cancelled) {
            finish(reload);
            return;
        }
        Task::run(
            TaskPriority::userInitiated, this, [read = read, device] { return read(device); },
            [this, reload, id = device.id](std::optional<IPodLibrary> result,
                                           std::exception_ptr error) {
                if (!reload->cancelled && wanted(id)) {
                    if (error || !result) {
                        setLoadError(error);
                    } else {
                        Q_EMIT libraryRead(id, *result);
                        setLibrary(std::move(result));
                    }
                }
                finish(reload);
            });
    };
    // The wait is a continuation, never a block.
    if (previous && !previous->finished)
        previous->whenFinished.push_back(std::move(start));
    else
        start();
}
