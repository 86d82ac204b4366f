#pragma once

// The library snapshot the store shows for the selected iPod and why its last read failed.
// One read at a time: a newer load waits until the older read has ended, so two reads never
// open the same iPod at once, and the older result is dropped.

#include "device/IPodDevice.h"
#include "device/IPodLibrary.h"

#include <QObject>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class LibraryLoader : public QObject {
    Q_OBJECT

public:
    // read runs on a background task; wanted says, when a read ends, whether its device is
    // still the one to show.
    LibraryLoader(std::function<IPodLibrary(const IPodDevice&)> read,
                  std::function<bool(const IPodDevice::ID&)> wanted, QObject* parent = nullptr);

    const std::optional<IPodLibrary>& library() const { return library_; }
    std::exception_ptr loadError() const { return loadError_; }

    // Drops the current snapshot and error and the result of any read still running.
    void clear();
    // Shows a snapshot without reading (the busy device shows what its operation started from).
    void show(std::optional<IPodLibrary> library);
    // Reads the device's library once any earlier read has ended.
    void load(const IPodDevice& device);

Q_SIGNALS:
    void libraryChanged();
    void loadErrorChanged();
    // A read succeeded for a wanted device; sent before the snapshot is shown.
    void libraryRead(const IPodDevice::ID& id, const IPodLibrary& library);

private:
    // One read; finished once its read (if any) has ended.
    struct Reload {
        bool cancelled = false;
        bool finished = false;
        std::vector<std::function<void()>> whenFinished;
    };
    static void finish(const std::shared_ptr<Reload>& reload);
    void setLibrary(std::optional<IPodLibrary> library);
    void setLoadError(std::exception_ptr error);

    std::function<IPodLibrary(const IPodDevice&)> read;
    std::function<bool(const IPodDevice::ID&)> wanted;
    std::optional<IPodLibrary> library_;
    std::exception_ptr loadError_;
    std::shared_ptr<Reload> loading;
};
