// The store's operations that change a device: imports, exports and library edits. Each checks
// that it may start, marks the device busy, runs on a background task with a fresh database
// session, and ends in finishOperation on the main thread.

#include "device/IPodStore.h"

#include "device/DeviceImportTarget.h"
#include "device/IPodDeviceError.h"
#include "library/IPodDatabase.h"
#include "library/Nano5Commit.h"
#include "library/Nano5Playlist.h"
#include "platform/AppLanguage.h"
#include "transfer/AudioImport.h"
#include "transfer/ExportTracks.h"
#include "transfer/IPodTransfer.h"
#include "transfer/ImportError.h"
#include "transfer/TrackRewrite.h"
#include "transfer/TransferDevice.h"
#include "transfer/TransferSettings.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace {

// The one line a thrown operation ends with. The store cancels an operation only when its
// device goes away (its volume unmounted or vanished from the list), so a cancellation reads
// as the disconnection it is.
QString operationErrorText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const CancellationError&) {
        return localizedDescription(IPodDeviceError());
    } catch (...) {
        return localizedDescription(error);
    }
}

// The SysInfoExtended of a fifth-generation nano, read over USB while the volume is still the
// device's; none when the device has changed, cannot be reached or is another product.
std::optional<QByteArray> nano5SysInfoExtended(const IPodDevice& device) {
    try {
        device.verifyIdentity();
        return readNano5SysInfoExtended(device);
    } catch (const IPodDeviceError&) {
        return std::nullopt;
    }
}

// Posts to the store from a worker thread; nothing happens once the store is gone.
class StoreLink {
public:
    explicit StoreLink(IPodStore* store)
        : receiver(TaskDetail::Receiver::watch(store))
        , store(store) {}
    void post(std::function<void(IPodStore&)> fn) const {
        receiver->post([s = store, fn = std::move(fn)] {
            if (s)
                fn(*s);
        });
    }

private:
    std::shared_ptr<TaskDetail::Receiver> receiver;
    QPointer<IPodStore> store;
};

} // namespace

std::optional<QString> IPodStore::operationAlert(QStringList failures, int droppedFailureCount,
                                                 const std::optional<QString>& successMessage,
                                                 AppLanguage language) {
    if (droppedFailureCount >= 1)
        failures.append(localizedString(LZ("Could not read dropped items (%1)."), language,
                                        qint64(droppedFailureCount)));
    if (failures.isEmpty())
        return successMessage;
    const QString joined = failures.mid(0, 5).join(u'\n');
    if (failures.size() >= 6)
        // One pass over both arguments, so a "%" in a file name is never taken for a marker.
        return localizedString(LZ("%1\nAdditional failures: %2."), language, joined,
                               QString::number(qint64(failures.size() - 5)));
    return joined;
}

void IPodStore::finishOperation(const IPodDevice& device, const QStringList& failures,
                                int droppedFailureCount, bool autoEject,
                                const std::optional<QString>& successMessage) {
    setProgress(std::nullopt);
    clearStagedImportTracks();
    importBaseLibrary.reset();
    setActiveDeviceID(std::nullopt);
    transfer = Task();
    if (autoEject && failures.isEmpty() && droppedFailureCount == 0) {
        eject(device);
        return;
    }
    const IPodDevice::ID id = device.id;
    refreshDevices(std::nullopt, std::nullopt, [this, id] {
        if (selection_ && selection_->isDisk() && selection_->diskID == id)
            reloadSelection();
    });
    if (const std::optional<QString> text =
            operationAlert(failures, droppedFailureCount, successMessage, AppLanguages::stored()))
        setAlert(text);
}

void IPodStore::startImportTask(const QStringList& urls, const IPodDevice& device,
                                const TransferSettings& settings, int droppedFailureCount) {
    const StoreLink link(this);
    transfer = Task::run(
        TaskPriority::userInitiated, this,
        [urls, device, settings, link] {
            return IPodTransfer::importAudio(
                urls, importTarget(device), settings,
                [link](const ImportProgress& value) {
                    link.post([value](IPodStore& store) { store.setProgress(value); });
                },
                [link](const Track& track) {
                    link.post([track](IPodStore& store) { store.appendStagedImportTrack(track); });
                });
        },
        [this, device, settings, droppedFailureCount](std::optional<QStringList> failures,
                                                      std::exception_ptr error) {
            if (failures && !error)
                finishOperation(device, *failures, droppedFailureCount, settings.autoEject,
                                std::nullopt);
            else
                finishOperation(device, {operationErrorText(error)}, droppedFailureCount, false,
                                std::nullopt);
        });
}

bool IPodStore::importDroppedItems(const QList<QUrl>& items) {
    const std::optional<IPodDevice> device = selectedDevice();
    if (!canImport() || !device || items.isEmpty())
        return false;
    const TransferSettings settings = TransferSettings::load();
    importBaseLibrary = library_;
    setActiveDeviceID(device->id);
    QStringList readable;
    for (const QUrl& item : items) {
        if (item.isValid() && item.isLocalFile())
            readable.append(item.toLocalFile());
    }
    if (readable.isEmpty()) {
        importBaseLibrary.reset();
        setActiveDeviceID(std::nullopt);
        setAlert(
            localizedString(LZ("The dropped files could not be read."), AppLanguages::stored()));
        return true;
    }
    startImportTask(readable, *device, settings, int(items.size() - readable.size()));
    return true;
}

void IPodStore::startImport(const QStringList& urls, const IPodDevice::ID& deviceID) {
    if (urls.isEmpty())
        return;
    const std::optional<IPodDevice> device = selectedDevice();
    if (!canImport() || !device || device->id != deviceID) {
        setAlert(localizedString(LZ("The selected iPod is no longer available for import."),
                                 AppLanguages::stored()));
        return;
    }
    importBaseLibrary = library_;
    setActiveDeviceID(device->id);
    startImportTask(urls, *device, TransferSettings::load(), 0);
}

void IPodStore::startExport(const QSet<quint64>& trackIDs, const IPodDevice::ID& deviceID,
                            const QString& destination, bool lossless) {
    if (trackIDs.isEmpty())
        return;
    const std::optional<IPodDevice> device = selectedDevice();
    if (activeDeviceID_ || !device || device->id != deviceID) {
        setAlert(localizedString(LZ("The selected iPod is no longer available for export."),
                                 AppLanguages::stored()));
        return;
    }
    importBaseLibrary = library_;
    setActiveDeviceID(device->id);
    const StoreLink link(this);
    transfer = Task::run(
        TaskPriority::userInitiated, this,
        [trackIDs, device = *device, destination, lossless, link] {
            return IPodTransfer::exportTracks(
                trackIDs, TransferDevice::of(device), destination, lossless,
                [link](const ImportProgress& value) {
                    link.post([value](IPodStore& store) { store.setProgress(value); });
                });
        },
        [this, device = *device](std::optional<QStringList> failures, std::exception_ptr error) {
            const QString success = localizedString(LZ("Songs exported."), AppLanguages::stored());
            if (failures && !error)
                finishOperation(device, *failures, 0, false, success);
            else
                finishOperation(device, {operationErrorText(error)}, 0, false, success);
        });
}

void IPodStore::runLibraryEdit(const IPodDevice::ID& deviceID, bool needsPlaylistCapability,
                               LibraryEdit operation) {
    if (!(needsPlaylistCapability ? canCreatePlaylist() : canEditLibrary()))
        return;
    const std::optional<IPodDevice> device = selectedDevice();
    if (!device || device->id != deviceID)
        return;
    const bool recover =
        needsPlaylistCapability && library_ && library_->supportsNano5PlaylistCreation;
    setActiveDeviceID(device->id);
    transfer = Task::run(
        TaskPriority::userInitiated, this,
        [device = *device, recover, operation = std::move(operation)] {
            if (recover)
                Nano5Playlist::recoverTransactions(device.mountPoint.toStdString(),
                                                   [&device] { device.verifyIdentity(); });
            const std::unique_ptr<IPodDatabase> session = device.openDatabase();
            Task::checkCancellation();
            return operation(*session, device);
        },
        [this, device = *device](std::optional<QStringList> failures, std::exception_ptr error) {
            if (failures && !error)
                finishOperation(device, *failures, 0, false, std::nullopt);
            else
                finishOperation(device, {operationErrorText(error)}, 0, false, std::nullopt);
        });
}

void IPodStore::setPlaybackStart(quint64 trackID) {
    if (!selection_ || !selection_->isDisk())
        return;
    runLibraryEdit(selection_->diskID, false,
                   [trackID](IPodDatabase& session, const IPodDevice& device) {
                       device.verifyIdentity();
                       session.setPlaybackStart(trackID);
                       return QStringList();
                   });
}

void IPodStore::saveTrackMetadata(quint64 trackID, const TrackMetadata& metadata,
                                  const IPodDevice::ID& deviceID) {
    const StoreLink link(this);
    runLibraryEdit(deviceID, false,
                   [trackID, metadata, link](IPodDatabase& session, const IPodDevice& device) {
                       IPodTransfer::rewriteTrackFile(
                           trackID, metadata, session, TransferDevice::of(device),
                           [link, title = metadata.title](const QString& stage, double fraction) {
                               link.post([=](IPodStore& store) {
                                   store.setProgress(ImportProgress{title, stage, 1, 1, fraction});
                               });
                           });
                       return QStringList();
                   });
}

void IPodStore::deleteTracks(const QSet<quint64>& trackIDs, const IPodDevice::ID& deviceID) {
    runLibraryEdit(deviceID, false, [trackIDs](IPodDatabase& session, const IPodDevice& device) {
        QStringList files = session.deleteTracks(trackIDs).values();
        device.verifyIdentity();
        session.saveLibrary();
        std::sort(files.begin(), files.end());
        QStringList failures;
        for (const QString& file : std::as_const(files)) {
            device.verifyIdentity();
            if (::unlink(QFile::encodeName(file).constData()) != 0 && errno != ENOENT)
                failures.append(localizedString(
                    LZ("The library was updated, but the audio file %1 could not be removed."),
                    AppLanguages::stored(), QFileInfo(file).fileName()));
        }
        return failures;
    });
}

void IPodStore::createPlaylist(const QString& name, const QList<quint64>& trackIDs,
                               const IPodDevice::ID& deviceID) {
    runLibraryEdit(
        deviceID, true, [name, trackIDs](IPodDatabase& session, const IPodDevice& device) {
            if (session.hasNano5SourceCDB()) {
                // The nano's own writer signs with the SysInfoExtended read over USB;
                // without it nothing can be written.
                const std::optional<QByteArray> sysInfoExtended = nano5SysInfoExtended(device);
                if (!sysInfoExtended)
                    throw IPodDatabaseError::unsupportedDatabase();
                Task::checkCancellation();
                session.createNano5Playlist(name, trackIDs, *sysInfoExtended,
                                            [device] { device.verifyIdentity(); });
                return QStringList();
            }
            if (session.createPlaylist(name, trackIDs)) {
                Task::checkCancellation();
                device.verifyIdentity();
                session.saveLibrary();
            }
            return QStringList();
        });
}

void IPodStore::movePlaylist(quint64 playlistID, bool up) {
    if (!selection_ || !selection_->isDisk())
        return;
    runLibraryEdit(selection_->diskID, false,
                   [playlistID, up](IPodDatabase& session, const IPodDevice& device) {
                       if (session.movePlaylist(playlistID, up)) {
                           Task::checkCancellation();
                           device.verifyIdentity();
                           session.saveLibrary();
                       }
                       return QStringList();
                   });
}
