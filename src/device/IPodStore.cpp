#include "device/IPodStore.h"

#include "device/DeviceRegistry.h"
#include "device/IPodEject.h"
#include "device/LibraryLoader.h"
#include "device/MountInfo.h"
#include "device/PreviewController.h"
#include "device/StoreOperation.h"
#include "device/StoreViewTask.h"
#include "device/USBIPodScan.h"
#include "library/IPodDatabase.h"
#include "library/LibrarySnapshot.h"
#include "library/Nano5Playlist.h"
#include "library/StoredCovers.h"
#include "platform/LocalizedError.h"

#include <QFileInfo>

#include <algorithm>
#include <stdexcept>

// ---------------------------------------------------------------------------------------------
// Selection

IPodStore::Selection IPodStore::Selection::disk(IPodDevice::ID id) {
    Selection s;
    s.kind = Kind::disk;
    s.diskID = std::move(id);
    return s;
}

IPodStore::Selection IPodStore::Selection::mobile(QString id) {
    Selection s;
    s.kind = Kind::mobile;
    s.mobileID = std::move(id);
    return s;
}

IPodStore::Selection IPodStore::Selection::unmounted(quint64 usbID) {
    Selection s;
    s.kind = Kind::unmounted;
    s.usbID = usbID;
    return s;
}

bool IPodStore::Selection::operator==(const Selection& other) const {
    if (kind != other.kind)
        return false;
    switch (kind) {
    case Kind::disk:
        return diskID == other.diskID;
    case Kind::mobile:
        return mobileID == other.mobileID;
    case Kind::unmounted:
        return usbID == other.usbID;
    }
    return false;
}

size_t qHash(const IPodStore::Selection& selection, size_t seed) noexcept {
    switch (selection.kind) {
    case IPodStore::Selection::Kind::disk:
        return qHashMulti(seed, 0, selection.diskID);
    case IPodStore::Selection::Kind::mobile:
        return qHashMulti(seed, 1, selection.mobileID);
    case IPodStore::Selection::Kind::unmounted:
        return qHashMulti(seed, 2, selection.usbID);
    }
    return seed;
}

// ---------------------------------------------------------------------------------------------
// View tasks

IPodStore::ViewTask::~ViewTask() {
    cancel();
}

IPodStore::ViewTask::ViewTask(ViewTask&& other) noexcept
    : state(std::move(other.state)) {
}

IPodStore::ViewTask& IPodStore::ViewTask::operator=(ViewTask&& other) noexcept {
    if (this != &other) {
        cancel();
        state = std::move(other.state);
    }
    return *this;
}

void IPodStore::ViewTask::cancel() {
    if (!state)
        return;
    state->cancelled = true;
    state->finish();
}

bool IPodStore::ViewTask::isFinished() const {
    return !state || state->finished;
}

// ---------------------------------------------------------------------------------------------
// Construction

IPodStore::Sources IPodStore::Sources::system() {
    Sources s;
    s.mountedVolumes = [] { return MountInfo::mountedLocalVolumePaths(); };
    s.scanUSB = [] { return USBIPodScan::scanUSBIPods(); };
    s.usbRegistryEntryID = [](const IPodDevice& device) { return device.usbRegistryEntryID(); };
    s.mobileDevices = [] { return MobileDevice::connectedDevices(); };
    s.loadLibrary = [](const IPodDevice& device) { return IPodStore::loadLibrary(device); };
    s.readBattery = [](const IPodDevice& device) -> BatteryReading { return device.readBattery(); };
    return s;
}

QStringList IPodStore::Sources::missing() const {
    QStringList names;
    const std::pair<bool, const char*> sources[] = {
        {bool(mountedVolumes), "mountedVolumes"},
        {bool(scanUSB), "scanUSB"},
        {bool(usbRegistryEntryID), "usbRegistryEntryID"},
        {bool(mobileDevices), "mobileDevices"},
        {bool(loadLibrary), "loadLibrary"},
        {bool(readBattery), "readBattery"}};
    for (const auto& [set, name] : sources) {
        if (!set)
            names.append(QLatin1String(name));
    }
    return names;
}

IPodStore::IPodStore(QObject* parent)
    : IPodStore(Sources::system(), Periods{}, parent) {
}

IPodStore::IPodStore(Sources s, Periods p, QObject* parent)
    : QObject(parent)
    , sources(std::move(s))
    , periods(p) {
    // A source left out would read nothing or, worse, the real machine behind a test's back.
    if (const QStringList missing = sources.missing(); !missing.isEmpty())
        throw std::invalid_argument("IPodStore::Sources lacks " +
                                    missing.join(QStringLiteral(", ")).toStdString());

    registry = std::make_unique<DeviceRegistry>(sources, periods);
    connect(registry.get(), &DeviceRegistry::devicesChanged, this, [this] {
        Q_EMIT devicesChanged();
        // An operation whose device left the list cannot go on.
        if (activeDeviceID_ && operation && !registry->isListed(*activeDeviceID_))
            operation->cancel();
    });
    connect(registry.get(), &DeviceRegistry::unmountedIPodsChanged, this,
            &IPodStore::unmountedIPodsChanged);
    connect(registry.get(), &DeviceRegistry::mobileDevicesChanged, this,
            &IPodStore::mobileDevicesChanged);
    connect(registry.get(), &DeviceRegistry::deviceModelsChanged, this,
            &IPodStore::deviceModelsChanged);
    connect(registry.get(), &DeviceRegistry::deviceNamesChanged, this,
            &IPodStore::deviceNamesChanged);
    connect(registry.get(), &DeviceRegistry::selectionAssigned, this,
            [this](const std::optional<Selection>& old) {
                Q_EMIT selectionChanged();
                selectionDidChange(old);
            });

    loader = std::make_unique<LibraryLoader>(
        sources.loadLibrary, [this](const IPodDevice::ID& id) { return selectedDiskID() == id; });
    connect(loader.get(), &LibraryLoader::libraryRead, this,
            [this](const IPodDevice::ID& id, const IPodLibrary& library) {
                registry->setDeviceName(library.deviceName, id);
                if (library.model)
                    registry->addModel(id, *library.model);
            });
    connect(loader.get(), &LibraryLoader::libraryChanged, this, &IPodStore::libraryChanged);
    connect(loader.get(), &LibraryLoader::loadErrorChanged, this, &IPodStore::loadErrorChanged);

    // Creating the player object opens nothing; a media player exists only while a preview
    // loads or plays.
    preview = std::make_unique<PreviewController>();
    connect(preview.get(), &PreviewController::trackIDChanged, this,
            &IPodStore::previewTrackIDChanged);
    connect(preview.get(), &PreviewController::isPlayingChanged, this,
            &IPodStore::isPreviewPlayingChanged);
    connect(preview.get(), &PreviewController::failed, this,
            [this] { setAlert(IPodPreviewPlayer::failureMessage(AppLanguages::stored())); });
}

IPodStore::~IPodStore() = default;

// ---------------------------------------------------------------------------------------------
// Published state

const QList<IPodDevice>& IPodStore::devices() const {
    return registry->devices();
}

const IPodStore::USBScan& IPodStore::unmountedIPods() const {
    return registry->unmountedIPods();
}

const QList<MobileDevice>& IPodStore::mobileDevices() const {
    return registry->mobileDevices();
}

const QHash<IPodDevice::ID, IPodModel>& IPodStore::deviceModels() const {
    return registry->deviceModels();
}

const QHash<IPodStore::Selection, QString>& IPodStore::deviceNames() const {
    return registry->deviceNames();
}

const std::optional<IPodStore::Selection>& IPodStore::selection() const {
    return registry->selection();
}

const std::optional<IPodLibrary>& IPodStore::library() const {
    return loader->library();
}

std::exception_ptr IPodStore::loadError() const {
    return loader->loadError();
}

const std::optional<quint64>& IPodStore::previewTrackID() const {
    return preview->trackID();
}

bool IPodStore::isPreviewPlaying() const {
    return preview->isPlaying();
}

void IPodStore::setSelection(const std::optional<Selection>& selection) {
    registry->setSelection(selection);
}

void IPodStore::setAlert(const std::optional<QString>& alert) {
    alert_ = alert;
    Q_EMIT alertChanged();
}

void IPodStore::setActiveDeviceID(const std::optional<IPodDevice::ID>& id) {
    activeDeviceID_ = id;
    Q_EMIT activeDeviceIDChanged();
    if (id)
        stopPreview();
}

void IPodStore::setProgress(const std::optional<ImportProgress>& progress) {
    progress_ = progress;
    Q_EMIT progressChanged();
}

void IPodStore::appendStagedImportTrack(const Track& track) {
    stagedImportTracks_.append(track);
    Q_EMIT stagedImportTracksChanged();
}

void IPodStore::clearStagedImportTracks() {
    stagedImportTracks_.clear();
    Q_EMIT stagedImportTracksChanged();
}

void IPodStore::setPreviewTrackID(const std::optional<quint64>& id) {
    preview->setTrackID(id);
}

void IPodStore::setBattery(const std::optional<IPodBattery>& battery) {
    battery_ = battery;
    Q_EMIT batteryChanged();
}

void IPodStore::setSoftwareVersion(const std::optional<QString>& version) {
    softwareVersion_ = version;
    Q_EMIT softwareVersionChanged();
}

QString IPodStore::loadErrorDescription(AppLanguage language) const {
    return localizedDescription(loadError(), language);
}

// ---------------------------------------------------------------------------------------------
// Selection accessors and capabilities

std::optional<IPodDevice::ID> IPodStore::selectedDiskID() const {
    return registry->selectedDiskID();
}

std::optional<IPodDevice> IPodStore::selectedDevice() const {
    return registry->selectedDevice();
}

std::optional<MobileDevice> IPodStore::selectedMobileDevice() const {
    return registry->selectedMobileDevice();
}

bool IPodStore::canEditLibrary() const {
    return library() && !library()->writeBlocker && !activeDeviceID_;
}

bool IPodStore::canCreatePlaylist() const {
    if (library() && library()->supportsNano5PlaylistCreation)
        return !activeDeviceID_;
    // A new playlist on an empty library saves a library without tracks, as a move does.
    return canMovePlaylists();
}

bool IPodStore::canMovePlaylists() const {
    // A library without tracks is saved only onto a freshly prepared iPod.
    return canEditLibrary() && (!library()->tracks.isEmpty() || library()->savesEmptyLibrary);
}

bool IPodStore::canImport() const {
    return canEditLibrary() || (library() && library()->supportsNano5Import && !activeDeviceID_);
}

QList<Track> IPodStore::stagedTracksForSelection() const {
    return selectedDiskID() == activeDeviceID_ ? stagedImportTracks_ : QList<Track>();
}

QList<Track> IPodStore::displayedTracks() const {
    QList<Track> tracks = library() ? library()->tracks : QList<Track>();
    const QList<Track> staged = stagedTracksForSelection();
    if (staged.isEmpty())
        return tracks;
    const auto firstUnlisted = std::find_if(tracks.cbegin(), tracks.cend(), [](const Track& t) {
        return !t.playbackPosition.has_value();
    });
    const qsizetype at = firstUnlisted - tracks.cbegin();
    for (qsizetype i = 0; i < staged.size(); ++i)
        tracks.insert(at + i, staged[i]);
    return tracks;
}

// ---------------------------------------------------------------------------------------------
// Library snapshot and reload

IPodLibrary IPodStore::loadLibrary(const IPodDevice& device) {
    LibrarySnapshot snapshot = device.readLibrary();
    IPodLibrary library;
    library.deviceName = std::move(snapshot.mainPlaylistName);
    library.model = snapshot.modelWithSerial([&device] { return device.usbSerialNumber(); });
    const bool lacksColour =
        library.model && library.model->family == IPodModel::Family::nano &&
        (library.model->generationNumber == 1 || library.model->generationNumber == 5) &&
        !library.model->colorName;
    if (!library.model || lacksColour) {
        if (auto model = device.modelFromUSB(snapshot.serialNumber))
            library.model = std::move(model);
    }
    library.tracks = std::move(snapshot.tracks);
    library.playlists = std::move(snapshot.playlists);
    library.savesEmptyLibrary = IPodDatabase::passesITunesControlTest(device.mountPoint);
    library.resumeTrackID = snapshot.resumeTrackID;
    library.savedPlaybackMode = snapshot.savedPlaybackMode;
    library.supportsRatings = snapshot.supportsRatings;
    library.supportsPlaybackStart = snapshot.supportsPlaybackStart;
    const auto capacity = volumeCapacity(device.mountPoint);
    const bool readOnly = capacity && capacity->isReadOnly;
    if (snapshot.hasNano5SourceCDB && !readOnly) {
        library.supportsNano5PlaylistCreation = true;
        library.supportsNano5Import = Nano5Playlist::canImport(device.mountPoint);
    }
    // The stored blocker first, then the volume's read-only flag.
    library.writeBlocker = std::move(snapshot.writeBlocker);
    if (!library.writeBlocker && readOnly)
        library.writeBlocker = IPodDatabaseError::readOnlyVolume();
    device.verifyIdentity();
    return library;
}

void IPodStore::selectionDidChange(const std::optional<Selection>& old) {
    if (old == selection())
        return;
    stopPreview();
    setBattery(std::nullopt);
    setSoftwareVersion(std::nullopt);
    reloadSelection();
}

void IPodStore::reloadSelection() {
    loader->clear();
    const std::optional<IPodDevice> device = selectedDevice();
    if (!device)
        return;
    if (activeDeviceID_ == device->id) {
        // The busy device is not read; it shows what its operation started from.
        loader->show(importBaseLibrary);
        return;
    }
    loader->load(*device);
}

void IPodStore::retryLibraryLoad() {
    const std::optional<Selection> remembered = selection();
    refreshDevices(std::nullopt, std::nullopt, [this, remembered] {
        if (selection() == remembered)
            reloadSelection();
    });
}

// ---------------------------------------------------------------------------------------------
// Device names

std::optional<QString> IPodStore::storedDeviceName(const IPodDevice::ID& id) const {
    return registry->storedDeviceName(id);
}

QString IPodStore::displayName(const IPodDevice::ID& id, AppLanguage language) const {
    return registry->displayName(id, language);
}

void IPodStore::setDeviceName(const std::optional<QString>& name, const IPodDevice::ID& id) {
    registry->setDeviceName(name, id);
}

// ---------------------------------------------------------------------------------------------
// Preview

void IPodStore::togglePreview(quint64 trackID) {
    const std::optional<IPodDevice> device = selectedDevice();
    if (!device || activeDeviceID_)
        return;
    preview->toggle(*device, trackID);
}

void IPodStore::playPreview(quint64 trackID) {
    if (previewTrackID() == trackID && isPreviewPlaying())
        return;
    togglePreview(trackID);
}

void IPodStore::stopPreview() {
    preview->stop();
}

std::optional<std::pair<double, double>> IPodStore::previewTimes() const {
    return preview->times();
}

void IPodStore::seekPreview(quint64 trackID, double seconds) {
    preview->seek(trackID, seconds);
}

// ---------------------------------------------------------------------------------------------
// Devices

void IPodStore::refreshDevices(std::optional<quint64> ejectedUSBID,
                               std::optional<QString> addingURL, std::function<void()> then) {
    registry->refresh(ejectedUSBID, std::move(addingURL), std::move(then));
}

IPodStore::ViewTask IPodStore::usbWatchLoop() {
    return registry->usbWatchLoop();
}

IPodStore::ViewTask IPodStore::mobileDeviceWatchLoop() {
    return registry->mobileDeviceWatchLoop();
}

IPodStore::ViewTask IPodStore::loadDeviceNameAndModel(const IPodDevice& device) {
    return registry->loadDeviceNameAndModel(
        device, [this](const IPodDevice::ID& id) { return activeDeviceID_ == id; });
}

IPodStore::ViewTask IPodStore::watchVolumes() {
    return registry->watchVolumes([this](const QString& path) { volumeDidUnmount(path); });
}

void IPodStore::volumeDidUnmount(const std::optional<QString>& url) {
    if (url && activeDeviceID_ && operation) {
        const QString resolved = QFileInfo(*url).canonicalFilePath();
        const QString path = resolved.isEmpty() ? *url : resolved;
        if (path == activeDeviceID_->path)
            operation->cancel();
    }
    refreshDevices();
}

// ---------------------------------------------------------------------------------------------
// The selected device's battery and software version

IPodStore::ViewTask IPodStore::deviceInfoLoop(const IPodDevice& device) {
    auto task = std::make_shared<ViewTask::State>();
    batteryTurn(task, device);
    return ViewTask(task);
}

void IPodStore::batteryTurn(const std::shared_ptr<ViewTask::State>& task,
                            const IPodDevice& device) {
    if (task->cancelled)
        return;
    if (selection() != Selection::disk(device.id)) {
        task->finish();
        return;
    }
    auto again = [this, task, device] {
        ViewTask::State::after(task, this, periods.battery,
                               [this, task, device] { batteryTurn(task, device); });
    };
    if (activeDeviceID_ == device.id) {
        again(); // the operation owns the device meanwhile
        return;
    }
    Task::run(
        TaskPriority::utility, this, [read = sources.readBattery, device] { return read(device); },
        [this, task, device, again](std::optional<BatteryReading> result, std::exception_ptr) {
            // A read that failed shows no battery, like a device that has none.
            if (task->cancelled || selection() != Selection::disk(device.id)) {
                task->finish();
                return;
            }
            const BatteryReading reading = result ? *result : BatteryReading();
            const std::optional<IPodBattery> state = reading ? reading->second : std::nullopt;
            if (state != battery_)
                setBattery(state);
            if (reading && reading->first)
                again();
            else
                task->finish(); // products without a battery word are read once
        });
}

IPodStore::ViewTask IPodStore::loadSoftwareVersion(const IPodDevice& device) {
    auto task = std::make_shared<ViewTask::State>();
    Task::run(
        TaskPriority::utility, this,
        [device]() -> std::optional<QString> {
            if (!device.hasIdentity())
                return std::nullopt;
            return device.firmwareVersion();
        },
        [this, task, id = device.id](std::optional<std::optional<QString>> result,
                                     std::exception_ptr) {
            // A read that failed shows no version, like a device that reports none.
            if (!task->cancelled && selection() == Selection::disk(id))
                setSoftwareVersion(result ? *result : std::nullopt);
            task->finish();
        });
    return ViewTask(task);
}

// ---------------------------------------------------------------------------------------------
// Eject

void IPodStore::eject(const IPodDevice& device) {
    if (activeDeviceID_)
        return;
    const AppLanguage language = AppLanguages::stored();
    const QString name = displayName(device.id, language);
    std::optional<quint64> usbID;
    if (const auto found = registry->mountedUSBIDs().constFind(device.id);
        found != registry->mountedUSBIDs().cend())
        usbID = *found;
    // Setting the busy device stops the preview and destroys its player first, so that it
    // holds no file on the volume open.
    setActiveDeviceID(device.id);
    Task::run(
        TaskPriority::userInitiated, this,
        [device] {
            // Its cover process would keep the volume busy.
            StoredCovers::endFor(device.volumeKey());
            IPodEject::eject(device.mountPoint, [device] { device.verifyIdentity(); });
        },
        [this, device, usbID, name, language](std::optional<bool> done, std::exception_ptr error) {
            setActiveDeviceID(std::nullopt);
            if (done && !error) {
                refreshDevices(usbID);
                return;
            }
            const QString reason = localizedDescription(error, language);
            refreshDevices(std::nullopt, std::nullopt, [this, id = device.id] {
                if (selection() == Selection::disk(id))
                    reloadSelection();
            });
            setAlert(IPodEject::failureMessage(name, reason, language));
        });
}
