#pragma once

// What the rewrite and the export need of a mounted iPod: its mount point, its identity check,
// a way to open its database and its stored covers (decoded outside this process). The store builds
// it from its device, so this layer does not depend on the store's.

#include "library/IPodDatabase.h"
#include "library/StoredCovers.h"
#include "transfer/ChunkedCopy.h"
#include "transfer/ImportError.h"

#include <QString>

#include <functional>
#include <memory>

struct TransferDevice {
    QString mountPoint; // symbolic links resolved
    // Throws ImportError::disconnected when the volume is no longer the same iPod.
    IdentityCheck verifyIdentity;
    // A reading session: what goes through it writes nothing.
    std::function<std::unique_ptr<IPodDatabase>()> openDatabase;
    // Never throws; unknown covers where none could be looked at.
    std::function<QHash<quint64, StoredCover>(const QList<quint64>&)> storedCovers;
    // One stored cover decoded again, alone, by a new cover process. Never throws.
    std::function<StoredCover(quint64)> storedCoverAlone;

    // From a device value offering mountPoint, hasIdentity(), openDatabase(), storedCovers()
    // and storedCoverAlone().
    template <typename Device> static TransferDevice of(const Device& device) {
        return TransferDevice{
            device.mountPoint,
            [device] {
                if (!device.hasIdentity())
                    throw ImportError::disconnected();
            },
            [device] { return device.openDatabase(SessionAccess::reading); },
            [device](const QList<quint64>& trackIDs) { return device.storedCovers(trackIDs); },
            [device](quint64 trackID) { return device.storedCoverAlone(trackID); }};
    }
};
