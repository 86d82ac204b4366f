#pragma once

// The one failure of the device layer: the volume at a device's mount point is no longer the
// device that was identified there. It is the transfer's disconnection, so every layer above
// catches and words it as one.

#include "transfer/ImportError.h"

class IPodDeviceError : public ImportError {
public:
    IPodDeviceError()
        : ImportError(Case::disconnected) {}
};
