// The store's operations that change a device: imports, exports and library edits. Each checks
// that it may start, marks the device busy, runs as a StoreOperation (the edits with a fresh
// database session), and ends in finishOperation on the main thread.

#include "device/IPodStore.h"

#include "device/DeviceImportTarget.h"
#include "device/IPodDeviceError.h"
#include "device/StoreOperation.h"
#include "library/IPodDatabase.h"
#include "library/Nano5Commit.h"
#include "library/Nano5Playlist.h"
#include "library/VolumeWriteLock.h"
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

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace {

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

// Saves an edit; a library left without tracks is refused in the words of that edit.
void saveEdit(IPodDatabase& session, IPodDatabaseError::EmptyLibraryAction action) {
    try {
        session.saveLibrary();
    } catch (const IPodDatabaseError& error) {
        if (error.errorCase() != IPodDatabaseError::Case::emptyLibrary)
            throw;
        throw IPodDatabaseError::emptyLibrary(action);
    }
}

} // namespace

std::optional<QString> IPodStore::operationAlert(QStringList failures, int droppedFailureCount,
                                                 const std::optional<QString>& successMessage,
                                                 AppLanguage language, int skippedIdenticalCount) {
    if (droppedFailureCount >= 1)
        failures.append(localizedString(LZ("Could not read dropped items (%1)."), language,
                                        qint64(droppedFailureCount)));
    std::optional<QString> text;
    if (failures.isEmpty()) {
        text = successMessage;
    } else {
        const QString joined = failures.mid(0, 5).join(u'\n');
        if (failures.size() >= 6)
            // One pass over both arguments, so a "%" in a file name is never taken for a marker.
            text = localizedString(LZ("%1\nAdditional failures: %2."), language, joined,
                                   AppLanguages::formattedCount(failures.size() - 5, language));
        else
            text = joined;
    }
    if (skippedIdenticalCount >= 1) {
        // Skips have no sentence of their own; the progress stage that announced each one
        // says it, with the count.
        const QString skipped = localizedString(LZ("Skipped identical file"), language) +
                                QStringLiteral(" (%1)").arg(qint64(skippedIdenticalCount));
        text = text ? *text + u'\n' + skipped : skipped;
    }
    return text;
}

void IPodStore::finishOperation(const IPodDevice& device, const QStringList& failures,
                                int droppedFailureCount, bool autoEject,
                                const std::optional<QString>& successMessage,
                                int skippedIdenticalCount) {
    setProgress(std::nullopt);
    clearStagedImportTracks();
    importBaseLibrary.reset();
    setActiveDeviceID(std::nullopt);
    // It may be what is calling: it goes once the call is over.
    if (operation)
        operation.release()->deleteLater();
    const std::optional<QString> text =
        operationAlert(failures, droppedFailureCount, successMessage, AppLanguages::stored(),
                       skippedIdenticalCount);
    if (autoEject && failures.isEmpty() && droppedFailureCount == 0) {
        // A clean run: only skipped files can have anything to tell.
        if (text)
            setAlert(text);
        eject(device);
        return;
    }
    const IPodDevice::ID id = device.id;
    refreshDevices(std::nullopt, std::nullopt, [this, id] {
        if (selectedDiskID() == id)
            reloadSelection();
    });
    if (text)
        setAlert(text);
}

bool IPodStore::canStopOperation() const {
    return activeDeviceID_ && operation && operation->isStoppable();
}

void IPodStore::stopOperation() {
    if (canStopOperation())
        operation->stop();
}

void IPodStore::startOperation(const IPodDevice& device, OperationWork work,
                               int droppedFailureCount, bool autoEject,
                               std::optional<QString> successKey, bool stoppable,
                               const EditAction& action, const QString& notDoneKey) {
    operation = StoreOperation::start(
        std::move(work),
        {action.key, action.argument, [device] { return device.hasIdentity(); }, notDoneKey},
        stoppable);
    connect(operation.get(), &StoreOperation::progressed, this, &IPodStore::setProgress);
    connect(operation.get(), &StoreOperation::trackStaged, this,
            &IPodStore::appendStagedImportTrack);
    // Reports come before the end, so the count is complete when the operation finishes.
    const auto skipped = std::make_shared<int>(0);
    connect(operation.get(), &StoreOperation::skippedIdentical, this,
            [skipped](int count) { *skipped += count; });
    connect(operation.get(), &StoreOperation::finished, this,
            [this, device, droppedFailureCount, autoEject, successKey,
             skipped](const QStringList& lines, bool completed) {
                std::optional<QString> success;
                if (successKey && completed)
                    success = localizedString(*successKey, AppLanguages::stored());
                finishOperation(device, lines, droppedFailureCount, completed && autoEject, success,
                                completed ? *skipped : 0);
            });
}

void IPodStore::startImportTask(const QStringList& urls, const IPodDevice& device,
                                const TransferSettings& settings, int droppedFailureCount) {
    startOperation(
        device,
        [urls, device, settings](const OperationReporter& report) {
            const IPodTransfer::ImportResult result = IPodTransfer::importAudio(
                urls, importTarget(device), settings,
                [report](const ImportProgress& value) { report.progress(value); },
                [report](const Track& track) { report.stagedTrack(track); });
            report.skippedIdentical(result.skippedIdentical);
            return result.failures;
        },
        droppedFailureCount, settings.autoEject, std::nullopt, true, {},
        LZ("Nothing was imported: %1"));
}

bool IPodStore::importDroppedItems(const QList<QUrl>& items) {
    const std::optional<IPodDevice> device = selectedDevice();
    if (!canImport() || !device || items.isEmpty())
        return false;
    const TransferSettings settings = TransferSettings::load();
    importBaseLibrary = library();
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
    importBaseLibrary = library();
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
    importBaseLibrary = library();
    setActiveDeviceID(device->id);
    startOperation(
        *device,
        [trackIDs, device = *device, destination, lossless](const OperationReporter& report) {
            return IPodTransfer::exportTracks(
                trackIDs, TransferDevice::of(device), destination, lossless,
                [report](const ImportProgress& value) { report.progress(value); });
        },
        0, false, LZ("Songs exported."), true);
}

QString IPodStore::trackTitle(quint64 trackID) const {
    if (library()) {
        for (const Track& track : library()->tracks) {
            if (track.id == trackID)
                return track.title;
        }
    }
    return {};
}

QString IPodStore::playlistName(quint64 playlistID) const {
    if (library()) {
        for (const IPodPlaylist& playlist : library()->playlists) {
            if (playlist.id == playlistID)
                return playlist.name;
        }
    }
    return {};
}

void IPodStore::runLibraryEdit(const IPodDevice::ID& deviceID, bool needsPlaylistCapability,
                               const EditAction& action, LibraryEdit operation) {
    runReportingLibraryEdit(deviceID, needsPlaylistCapability, action,
                            [operation = std::move(operation)](
                                IPodDatabase& session, const IPodDevice& device,
                                const OperationReporter&) { return operation(session, device); });
}

void IPodStore::runReportingLibraryEdit(const IPodDevice::ID& deviceID,
                                        bool needsPlaylistCapability, const EditAction& action,
                                        ReportingEdit edit) {
    if (!(needsPlaylistCapability ? canCreatePlaylist() : canEditLibrary()))
        return;
    const std::optional<IPodDevice> device = selectedDevice();
    if (!device || device->id != deviceID)
        return;
    const bool recover =
        needsPlaylistCapability && library() && library()->supportsNano5PlaylistCreation;
    setActiveDeviceID(device->id);
    startOperation(
        *device,
        [device = *device, recover, edit = std::move(edit)](const OperationReporter& report) {
            // Held until the edit's last step, the removal of what its save let go.
            device.verifyIdentity();
            const VolumeWriteLock lock(device.mountPoint);
            if (recover)
                Nano5Playlist::recoverTransactions(device.mountPoint.toStdString(),
                                                   [&device] { device.verifyIdentity(); });
            const std::unique_ptr<IPodDatabase> session = device.openDatabase();
            // What an earlier operation cut short left in the music folders goes first.
            session->settlePendingFiles();
            Task::checkCancellation();
            return edit(*session, device, report);
        },
        0, false, std::nullopt, false, action);
}

void IPodStore::setPlaybackStart(quint64 trackID) {
    const std::optional<IPodDevice::ID> id = selectedDiskID();
    if (!id)
        return;
    runLibraryEdit(*id, false, {LZ("Set “%1” as the start track"), trackTitle(trackID)},
                   [trackID](IPodDatabase& session, const IPodDevice& device) {
                       device.verifyIdentity();
                       session.setPlaybackStart(trackID);
                       return QStringList();
                   });
}

void IPodStore::saveTrackMetadata(quint64 trackID, const TrackMetadata& metadata,
                                  const IPodDevice::ID& deviceID) {
    const QString title = trackTitle(trackID);
    runReportingLibraryEdit(
        deviceID, false,
        {LZ("Save the track info of “%1”"), title.isEmpty() ? metadata.title : title},
        [trackID, metadata](IPodDatabase& session, const IPodDevice& device,
                            const OperationReporter& report) {
            IPodTransfer::rewriteTrackFile(
                trackID, metadata, session, TransferDevice::of(device),
                [report, title = metadata.title](const QString& stage, double fraction) {
                    report.progress(ImportProgress{title, stage, 1, 1, fraction});
                });
            return QStringList();
        });
}

void IPodStore::deleteTracks(const QSet<quint64>& trackIDs, const IPodDevice::ID& deviceID) {
    const EditAction action =
        trackIDs.size() == 1 ? EditAction{LZ("Delete “%1”"), trackTitle(*trackIDs.cbegin())}
                             : EditAction{LZ("Delete %1 songs"), QString::number(trackIDs.size())};
    runLibraryEdit(deviceID, false, action,
                   [trackIDs](IPodDatabase& session, const IPodDevice& device) {
                       const QStringList files = session.deleteTracks(trackIDs).values();
                       device.verifyIdentity();
                       saveEdit(session, IPodDatabaseError::EmptyLibraryAction::deleteTracks);
                       // The session's checkpoint: the same iPod, and no folder turned link.
                       return removeTrackFiles(files, [&session] { session.checkpoint(); });
                   });
}

QStringList IPodStore::removeTrackFiles(QStringList files,
                                        const std::function<void()>& verifyIdentity) {
    std::sort(files.begin(), files.end());
    QStringList failures;
    for (const QString& file : std::as_const(files)) {
        // Another volume may have been mounted in the iPod's place since the last file.
        verifyIdentity();
        if (::unlink(QFile::encodeName(file).constData()) != 0 && errno != ENOENT)
            failures.append(localizedString(
                LZ("The library was updated, but the audio file %1 could not be removed."),
                AppLanguages::stored(), QFileInfo(file).fileName()));
    }
    return failures;
}

void IPodStore::createPlaylist(const QString& name, const QList<quint64>& trackIDs,
                               const IPodDevice::ID& deviceID) {
    runLibraryEdit(deviceID, true, {LZ("Create playlist “%1”"), name},
                   [name, trackIDs](IPodDatabase& session, const IPodDevice& device) {
                       if (session.hasNano5SourceCDB()) {
                           // The nano's own writer signs with the SysInfoExtended read over USB;
                           // without it nothing can be written.
                           const std::optional<QByteArray> sysInfoExtended =
                               nano5SysInfoExtended(device);
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
    const std::optional<IPodDevice::ID> id = selectedDiskID();
    if (!id || !canMovePlaylists())
        return;
    runLibraryEdit(*id, false, {LZ("Move playlist “%1”"), playlistName(playlistID)},
                   [playlistID, up](IPodDatabase& session, const IPodDevice& device) {
                       if (session.movePlaylist(playlistID, up)) {
                           Task::checkCancellation();
                           device.verifyIdentity();
                           saveEdit(session, IPodDatabaseError::EmptyLibraryAction::movePlaylist);
                       }
                       return QStringList();
                   });
}
