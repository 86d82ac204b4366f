#pragma once

// Reaches the state that the operations of the store set, so tests and benchmarks can stand in
// for them.

#include "device/IPodStore.h"
#include "device/StoreOperation.h"

#include <memory>
#include <optional>
#include <utility>

class IPodStoreTestAccess {
public:
    static void setActiveDeviceID(IPodStore& store, const std::optional<IPodDevice::ID>& id) {
        store.setActiveDeviceID(id);
    }
    static void setTransfer(IPodStore& store, Task task) {
        store.operation = std::make_unique<StoreOperation>(std::move(task));
    }
    static void setImportBaseLibrary(IPodStore& store, std::optional<IPodLibrary> library) {
        store.importBaseLibrary = std::move(library);
    }
    static void setProgress(IPodStore& store, const std::optional<ImportProgress>& progress) {
        store.setProgress(progress);
    }
    static void setPreviewTrackID(IPodStore& store, const std::optional<quint64>& id) {
        store.setPreviewTrackID(id);
    }
    static void appendStagedImportTrack(IPodStore& store, const Track& track) {
        store.appendStagedImportTrack(track);
    }
};
