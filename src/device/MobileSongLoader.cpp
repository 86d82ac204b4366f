#include "device/MobileSongLoader.h"

#include "platform/Task.h"

MobileSongLoader::MobileSongLoader(QObject* parent)
    : QObject(parent) {
}

void MobileSongLoader::load(const MobileDevice& device) {
    const auto it = running.find(device.id);
    if (it != running.end()) {
        it->again = device;
        return;
    }
    start(device);
}

int MobileSongLoader::loadsInFlight() const {
    return static_cast<int>(running.size());
}

void MobileSongLoader::start(const MobileDevice& device) {
    running.insert(device.id, {});
    Task::run(
        TaskPriority::utility, this, [device] { return device.loadSongs(); },
        [this, id = device.id](std::optional<Songs> result, std::exception_ptr) {
            // A read that threw (no temporary folder) counts as a list that cannot be read.
            const Songs songs = result ? *result : std::nullopt;
            const std::optional<MobileDevice> again = running.take(id).again;
            if (again)
                start(*again);
            Q_EMIT songsLoaded(id, songs);
        });
}
