#include "device/IPodStore.h"

#include "device/IPodEject.h"
#include "device/IPodPreviewPlayer.h"
#include "device/MountInfo.h"
#include "device/MountWatcher.h"
#include "device/USBIPodScan.h"
#include "library/IPodDatabase.h"
#include "library/Nano5Playlist.h"

#include <QCollator>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <system_error>

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

struct IPodStore::ViewTask::State {
    bool cancelled = false;
    bool finished = false;
    // What the task keeps alive while it runs (the mount watcher).
    std::unique_ptr<QObject> resource;

    void finish() {
        finished = true;
        resource.reset();
    }
};

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

IPodStore::IPodStore(QObject* parent)
    : IPodStore(Sources::system(), Periods{}, parent) {
}

IPodStore::IPodStore(Sources s, Periods p, QObject* parent)
    : QObject(parent)
    , sources(std::move(s))
    , periods(p) {
    const Sources defaults = Sources::system();
    if (!sources.mountedVolumes)
        sources.mountedVolumes = defaults.mountedVolumes;
    if (!sources.scanUSB)
        sources.scanUSB = defaults.scanUSB;
    if (!sources.usbRegistryEntryID)
        sources.usbRegistryEntryID = defaults.usbRegistryEntryID;
    if (!sources.mobileDevices)
        sources.mobileDevices = defaults.mobileDevices;
    if (!sources.loadLibrary)
        sources.loadLibrary = defaults.loadLibrary;
    if (!sources.readBattery)
        sources.readBattery = defaults.readBattery;

    // Creating the player object opens nothing; a media player exists only while a preview
    // loads or plays.
    previewPlayer = new IPodPreviewPlayer(this);
    connect(previewPlayer, &IPodPreviewPlayer::ready, this, [this] {
        if (previewTrackID_ && !previewLoad.isValid())
            startPreviewPlayback();
    });
    connect(previewPlayer, &IPodPreviewPlayer::finished, this, [this] { stopPreview(); });
    connect(previewPlayer, &IPodPreviewPlayer::failed, this, [this] { previewFailed(); });
}

IPodStore::~IPodStore() = default;

// ---------------------------------------------------------------------------------------------
// Published setters

void IPodStore::setSelection(const std::optional<Selection>& selection) {
    const std::optional<Selection> old = selection_;
    selection_ = selection;
    Q_EMIT selectionChanged();
    selectionDidChange(old);
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

void IPodStore::setDevices(QList<IPodDevice> devices) {
    devices_ = std::move(devices);
    Q_EMIT devicesChanged();
}

void IPodStore::setUnmountedIPods(USBScan unmounted) {
    unmountedIPods_ = std::move(unmounted);
    Q_EMIT unmountedIPodsChanged();
}

void IPodStore::setMobileDevices(QList<MobileDevice> devices) {
    mobileDevices_ = std::move(devices);
    Q_EMIT mobileDevicesChanged();
}

void IPodStore::setDeviceModels(QHash<IPodDevice::ID, IPodModel> models) {
    deviceModels_ = std::move(models);
    Q_EMIT deviceModelsChanged();
}

void IPodStore::setDeviceNames(QHash<Selection, QString> names) {
    deviceNames_ = std::move(names);
    Q_EMIT deviceNamesChanged();
}

void IPodStore::setBattery(const std::optional<IPodBattery>& battery) {
    battery_ = battery;
    Q_EMIT batteryChanged();
}

void IPodStore::setSoftwareVersion(const std::optional<QString>& version) {
    softwareVersion_ = version;
    Q_EMIT softwareVersionChanged();
}

void IPodStore::setLibrary(std::optional<IPodLibrary> library) {
    library_ = std::move(library);
    Q_EMIT libraryChanged();
}

void IPodStore::setLoadError(std::exception_ptr error) {
    loadError_ = std::move(error);
    Q_EMIT loadErrorChanged();
}

void IPodStore::setPreviewTrackID(const std::optional<quint64>& id) {
    previewTrackID_ = id;
    Q_EMIT previewTrackIDChanged();
}

void IPodStore::setPreviewPlaying(bool playing) {
    isPreviewPlaying_ = playing;
    Q_EMIT isPreviewPlayingChanged();
}

// ---------------------------------------------------------------------------------------------
// Errors

QString IPodStore::loadErrorDescription(AppLanguage language) const {
    return localizedDescription(loadError_, language);
}

// ---------------------------------------------------------------------------------------------
// Selection accessors and capabilities

std::optional<IPodDevice::ID> IPodStore::selectedDiskID() const {
    if (selection_ && selection_->isDisk())
        return selection_->diskID;
    return std::nullopt;
}

std::optional<IPodDevice> IPodStore::selectedDevice() const {
    const auto id = selectedDiskID();
    if (!id)
        return std::nullopt;
    for (const IPodDevice& device : devices_) {
        if (device.id == *id)
            return device;
    }
    return std::nullopt;
}

std::optional<MobileDevice> IPodStore::selectedMobileDevice() const {
    if (!selection_ || !selection_->isMobile())
        return std::nullopt;
    for (const MobileDevice& device : mobileDevices_) {
        if (device.id == selection_->mobileID)
            return device;
    }
    return std::nullopt;
}

bool IPodStore::canEditLibrary() const {
    return library_ && !library_->writeBlocker && !activeDeviceID_;
}

bool IPodStore::canCreatePlaylist() const {
    return canEditLibrary() ||
           (library_ && library_->supportsNano5PlaylistCreation && !activeDeviceID_);
}

bool IPodStore::canImport() const {
    return canEditLibrary() || (library_ && library_->supportsNano5Import && !activeDeviceID_);
}

QList<Track> IPodStore::stagedTracksForSelection() const {
    return selectedDiskID() == activeDeviceID_ ? stagedImportTracks_ : QList<Track>();
}

QList<Track> IPodStore::displayedTracks() const {
    QList<Track> tracks = library_ ? library_->tracks : QList<Track>();
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
    const std::unique_ptr<IPodDatabase> database = device.openDatabase();
    IPodLibrary library;
    library.deviceName = database->mainPlaylistName();
    library.model = database->model([&device] { return device.usbSerialNumber(); });
    const bool lacksColour =
        library.model && library.model->family == IPodModel::Family::nano &&
        (library.model->generationNumber == 1 || library.model->generationNumber == 5) &&
        !library.model->colorName;
    if (!library.model || lacksColour) {
        if (auto model = device.modelFromUSB(database->serialNumber()))
            library.model = std::move(model);
    }
    library.tracks = database->loadTracks();
    library.playlists = database->loadPlaylists();
    if (const auto state = database->readShuffle2PlaybackMode()) {
        library.resumeTrackID = state->resumeTrackID;
        library.savedPlaybackMode = state->savedPlaybackMode;
    }
    library.supportsRatings = database->supportsRatings();
    library.supportsPlaybackStart = database->supportsPlaybackStart();
    const auto capacity = volumeCapacity(device.mountPoint);
    const bool readOnly = capacity && capacity->isReadOnly;
    if (database->hasNano5SourceCDB() && !readOnly) {
        library.supportsNano5PlaylistCreation = true;
        library.supportsNano5Import = Nano5Playlist::canImport(device.mountPoint);
    }
    // The stored blocker first, then the volume's read-only flag.
    library.writeBlocker = database->writeBlocker();
    if (!library.writeBlocker && readOnly)
        library.writeBlocker = IPodDatabaseError::readOnlyVolume();
    device.verifyIdentity();
    return library;
}

void IPodStore::selectionDidChange(const std::optional<Selection>& old) {
    if (old == selection_)
        return;
    stopPreview();
    setBattery(std::nullopt);
    setSoftwareVersion(std::nullopt);
    reloadSelection();
}

void IPodStore::finishReload(const std::shared_ptr<Reload>& reload) {
    reload->finished = true;
    std::vector<std::function<void()>> next;
    next.swap(reload->whenFinished);
    for (auto& fn : next)
        fn();
}

void IPodStore::reloadSelection() {
    const std::shared_ptr<Reload> previous = loading;
    if (previous)
        previous->cancelled = true;
    setLibrary(std::nullopt);
    setLoadError(nullptr);
    const std::optional<IPodDevice> device = selectedDevice();
    if (!device)
        return;
    if (activeDeviceID_ == device->id) {
        // The busy device is not read; it shows what its operation started from.
        setLibrary(importBaseLibrary);
        return;
    }
    auto reload = std::make_shared<Reload>();
    loading = reload;
    auto start = [this, reload, device = *device] {
        if (reload->cancelled) {
            finishReload(reload);
            return;
        }
        Task::run(
            TaskPriority::userInitiated, this,
            [load = sources.loadLibrary, device] { return load(device); },
            [this, reload, id = device.id](std::optional<IPodLibrary> result,
                                           std::exception_ptr error) {
                if (!reload->cancelled && selectedDiskID() == id) {
                    if (error || !result) {
                        setLoadError(error);
                    } else {
                        setDeviceName(result->deviceName, id);
                        if (result->model) {
                            deviceModels_.insert(id, *result->model);
                            Q_EMIT deviceModelsChanged();
                        }
                        setLibrary(std::move(result));
                    }
                }
                finishReload(reload);
            });
    };
    // A newer reload reads only once the older read is over, so that two reads never open
    // the same iPod at once; the wait is a continuation, never a block.
    if (previous && !previous->finished)
        previous->whenFinished.push_back(std::move(start));
    else
        start();
}

void IPodStore::retryLibraryLoad() {
    const std::optional<Selection> remembered = selection_;
    refreshDevices(std::nullopt, std::nullopt, [this, remembered] {
        if (selection_ == remembered)
            reloadSelection();
    });
}

// ---------------------------------------------------------------------------------------------
// Device names

std::optional<QString> IPodStore::storedDeviceName(const IPodDevice::ID& id) const {
    const auto disk = deviceNames_.constFind(Selection::disk(id));
    if (disk != deviceNames_.cend())
        return *disk;
    const auto usb = mountedUSBIDs.constFind(id);
    if (usb != mountedUSBIDs.cend()) {
        const auto unmounted = deviceNames_.constFind(Selection::unmounted(*usb));
        if (unmounted != deviceNames_.cend())
            return *unmounted;
    }
    return std::nullopt;
}

QString IPodStore::displayName(const IPodDevice::ID& id, AppLanguage language) const {
    if (auto name = storedDeviceName(id))
        return *name;
    const auto model = deviceModels_.constFind(id);
    if (model != deviceModels_.cend())
        return model->displayName(language);
    return localizedString(LZ("Unknown iPod"), language);
}

void IPodStore::setDeviceName(const std::optional<QString>& name, const IPodDevice::ID& id) {
    QList<Selection> keys{Selection::disk(id)};
    const auto usb = mountedUSBIDs.constFind(id);
    if (usb != mountedUSBIDs.cend())
        keys.append(Selection::unmounted(*usb));
    for (const Selection& key : keys) {
        if (name)
            deviceNames_.insert(key, *name);
        else
            deviceNames_.remove(key);
    }
    Q_EMIT deviceNamesChanged();
}

// ---------------------------------------------------------------------------------------------
// Preview

void IPodStore::togglePreview(quint64 trackID) {
    const std::optional<IPodDevice> device = selectedDevice();
    if (!device || activeDeviceID_)
        return;
    if (previewTrackID_ != trackID) {
        stopPreview();
        startPreviewLoad(*device, trackID);
        return;
    }
    if (!previewPlayer->isLoaded())
        return; // still loading
    if (isPreviewPlaying_) {
        previewPlayer->pause();
        setPreviewPlaying(false);
    } else {
        startPreviewPlayback();
    }
}

void IPodStore::playPreview(quint64 trackID) {
    if (previewTrackID_ == trackID && isPreviewPlaying_)
        return;
    togglePreview(trackID);
}

void IPodStore::startPreviewLoad(const IPodDevice& device, quint64 trackID) {
    setPreviewTrackID(trackID);
    const quint64 generation = ++previewGeneration;
    previewLoad = Task::run(
        TaskPriority::userInitiated, this,
        [device, trackID] {
            QString path;
            {
                const std::unique_ptr<IPodDatabase> database = device.openDatabase();
                path = database->fileURL(trackID);
            }
            device.verifyIdentity();
            return path;
        },
        [this, generation](std::optional<QString> path, std::exception_ptr) {
            if (generation != previewGeneration)
                return; // stopped or replaced meanwhile
            previewLoad = Task();
            if (!path || !previewPlayer->load(*path)) {
                previewFailed();
                return;
            }
            // Playback starts when the player reports the file loaded.
        });
}

void IPodStore::startPreviewPlayback() {
    if (previewPlayer->play()) {
        setPreviewPlaying(true);
        return;
    }
    previewFailed();
}

void IPodStore::previewFailed() {
    stopPreview();
    setAlert(IPodPreviewPlayer::failureMessage(AppLanguages::stored()));
}

void IPodStore::stopPreview() {
    ++previewGeneration;
    previewLoad.cancel();
    previewLoad = Task();
    // Destroyed at once, so that no file on the volume stays open (an eject would fail).
    previewPlayer->stop();
    if (previewTrackID_)
        setPreviewTrackID(std::nullopt);
    if (isPreviewPlaying_)
        setPreviewPlaying(false);
}

std::optional<std::pair<double, double>> IPodStore::previewTimes() const {
    if (!previewPlayer->isLoaded())
        return std::nullopt;
    return std::make_pair(previewPlayer->currentTime(), previewPlayer->duration());
}

void IPodStore::seekPreview(quint64 trackID, double seconds) {
    if (previewTrackID_ == trackID && previewPlayer->isLoaded())
        previewPlayer->seek(seconds);
}

// ---------------------------------------------------------------------------------------------
// Device list refresh and selection repair

namespace {

// Whether the file system holding path is a local one (the deepest mount containing it).
bool isOnLocalVolume(const QString& path) {
    std::optional<MountInfoEntry> best;
    for (MountInfoEntry& entry : MountInfo::read()) {
        const QString& mount = entry.mountPoint;
        const bool contains = path == mount || mount == QLatin1String("/") ||
                              path.startsWith(mount + QLatin1Char('/'));
        if (contains && (!best || mount.size() >= best->mountPoint.size()))
            best = std::move(entry);
    }
    return best && MountInfo::isLocalFileSystem(best->fileSystemType);
}

QCollator pathCollator() {
    QLocale locale;
    // The C locale compares code points; the order people expect needs a real language.
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

} // namespace

IPodStore::DeviceScan IPodStore::scanDevices(const Sources& sources,
                                             const RefreshRequest& request) {
    QStringList volumes = sources.mountedVolumes();
    for (const QString& url : request.addingURLs) {
        if (!volumes.contains(url) && isOnLocalVolume(url))
            volumes.append(url);
    }
    DeviceScan scan;
    for (const QString& volume : volumes) {
        if (auto device = IPodDevice::fromMountPoint(volume))
            scan.devices.append(std::move(*device));
    }
    const QCollator collator = pathCollator();
    std::stable_sort(scan.devices.begin(), scan.devices.end(),
                     [&collator](const IPodDevice& a, const IPodDevice& b) {
                         return collator.compare(a.mountPoint, b.mountPoint) < 0;
                     });
    scan.usb = sources.scanUSB();
    if (!scan.usb.empty()) {
        for (const IPodDevice& device : scan.devices) {
            const auto id = sources.usbRegistryEntryID(device);
            if (id && scan.usb.count(*id))
                scan.usbIDs.insert(device.id, *id);
        }
    }
    return scan;
}

void IPodStore::refreshDevices(std::optional<quint64> ejectedUSBID,
                               std::optional<QString> addingURL, std::function<void()> then) {
    RefreshRequest request;
    if (ejectedUSBID)
        request.ejectedUSBIDs.insert(*ejectedUSBID);
    if (addingURL)
        request.addingURLs.append(*addingURL);
    if (then)
        request.then.push_back(std::move(then));
    // While one refresh reads, later requests fold into a single one that reads afterwards:
    // it sees everything they would have seen.
    if (refreshRunning && !pendingRefreshes.empty()) {
        RefreshRequest& waiting = pendingRefreshes.back();
        waiting.ejectedUSBIDs.insert(request.ejectedUSBIDs.begin(), request.ejectedUSBIDs.end());
        waiting.addingURLs += request.addingURLs;
        for (auto& fn : request.then)
            waiting.then.push_back(std::move(fn));
        return;
    }
    pendingRefreshes.push_back(std::move(request));
    if (!refreshRunning)
        startNextRefresh();
}

void IPodStore::startNextRefresh() {
    if (pendingRefreshes.empty())
        return;
    auto request = std::make_shared<RefreshRequest>(std::move(pendingRefreshes.front()));
    pendingRefreshes.erase(pendingRefreshes.begin());
    refreshRunning = true;
    Task::run(
        TaskPriority::utility, this, [s = sources, request] { return scanDevices(s, *request); },
        [this, request](std::optional<DeviceScan> scan, std::exception_ptr) {
            refreshRunning = false;
            if (scan)
                applyDeviceScan(*scan, request->ejectedUSBIDs);
            startNextRefresh();
            for (auto& fn : request->then)
                fn();
        });
}

void IPodStore::applyDeviceScan(const DeviceScan& scan, const std::set<quint64>& ejected) {
    std::optional<quint64> previousUSBID;
    if (const auto id = selectedDiskID()) {
        const auto found = mountedUSBIDs.constFind(*id);
        if (found != mountedUSBIDs.cend())
            previousUSBID = *found;
    }

    setDevices(scan.devices);
    usbIPods = scan.usb;
    mountedUSBIDs = scan.usbIDs;

    QSet<quint64> mountedUSB;
    for (const quint64 usb : std::as_const(mountedUSBIDs))
        mountedUSB.insert(usb);

    ejectedUSBIDs.insert(ejected.begin(), ejected.end());
    for (auto it = ejectedUSBIDs.begin(); it != ejectedUSBIDs.end();) {
        if (!usbIPods.count(*it) || mountedUSB.contains(*it))
            it = ejectedUSBIDs.erase(it);
        else
            ++it;
    }

    USBScan unmounted;
    for (const auto& [usb, product] : usbIPods) {
        if (!mountedUSB.contains(usb) && !ejectedUSBIDs.count(usb))
            unmounted.emplace(usb, product);
    }
    if (unmounted != unmountedIPods_)
        setUnmountedIPods(std::move(unmounted));

    QSet<IPodDevice::ID> present;
    for (const IPodDevice& device : devices_)
        present.insert(device.id);

    if (activeDeviceID_ && !present.contains(*activeDeviceID_))
        transfer.cancel();

    QHash<IPodDevice::ID, IPodModel> models;
    for (auto it = deviceModels_.cbegin(); it != deviceModels_.cend(); ++it) {
        if (present.contains(it.key()))
            models.insert(it.key(), it.value());
    }
    setDeviceModels(std::move(models));
    QHash<Selection, QString> names;
    for (auto it = deviceNames_.cbegin(); it != deviceNames_.cend(); ++it) {
        const Selection& key = it.key();
        if ((key.isDisk() && present.contains(key.diskID)) ||
            (key.isUnmounted() && usbIPods.count(key.usbID)))
            names.insert(key, it.value());
    }
    setDeviceNames(std::move(names));

    // Follow the selected iPod to where it is now.
    if (selection_ && selection_->isUnmounted()) {
        const quint64 usb = selection_->usbID;
        for (const IPodDevice& device : devices_) {
            const auto found = mountedUSBIDs.constFind(device.id);
            if (found != mountedUSBIDs.cend() && *found == usb) {
                setSelection(Selection::disk(device.id));
                repairSelection();
                return;
            }
        }
    } else if (selection_ && selection_->isDisk() && !selectedDevice()) {
        const IPodDevice::ID old = selection_->diskID;
        for (const IPodDevice& device : devices_) {
            const auto usb = mountedUSBIDs.constFind(device.id);
            const bool matches =
                previousUSBID && usb != mountedUSBIDs.cend()
                    ? *usb == *previousUSBID
                    : device.id.filesystem == old.filesystem && device.id.inode == old.inode;
            if (matches) {
                setSelection(Selection::disk(device.id));
                repairSelection();
                return;
            }
        }
    }
    if (previousUSBID && !selectedDevice() && unmountedIPods_.count(*previousUSBID))
        setSelection(Selection::unmounted(*previousUSBID));
    repairSelection();
}

void IPodStore::repairSelection() {
    if (selectedDevice() || selectedMobileDevice() ||
        (selection_ && selection_->isUnmounted() && unmountedIPods_.count(selection_->usbID)))
        return;
    if (!devices_.isEmpty())
        setSelection(Selection::disk(devices_.first().id));
    else if (!mobileDevices_.isEmpty())
        setSelection(Selection::mobile(mobileDevices_.first().id));
    else if (!unmountedIPods_.empty())
        setSelection(Selection::unmounted(unmountedIPods_.begin()->first));
    else
        setSelection(std::nullopt);
}

// ---------------------------------------------------------------------------------------------
// Watchers and loaders

std::shared_ptr<IPodStore::ViewTask::State> IPodStore::newViewTask() {
    return std::make_shared<ViewTask::State>();
}

void IPodStore::after(const std::shared_ptr<ViewTask::State>& task, std::chrono::milliseconds delay,
                      std::function<void()> turn) {
    if (task->cancelled)
        return;
    QTimer::singleShot(delay, this, [task, turn = std::move(turn)] {
        if (!task->cancelled)
            turn();
    });
}

IPodStore::ViewTask IPodStore::usbWatchLoop() {
    auto task = newViewTask();
    usbTurn(task);
    return ViewTask(task);
}

void IPodStore::usbTurn(const std::shared_ptr<ViewTask::State>& task) {
    if (task->cancelled)
        return;
    Task::run(
        TaskPriority::utility, this, [scan = sources.scanUSB] { return scan(); },
        [this, task](std::optional<USBScan> result, std::exception_ptr) {
            if (task->cancelled)
                return;
            auto next = [this, task] { after(task, periods.usb, [this, task] { usbTurn(task); }); };
            if (result && *result != usbIPods)
                refreshDevices(std::nullopt, std::nullopt, next);
            else
                next();
        });
}

IPodStore::ViewTask IPodStore::mobileDeviceWatchLoop() {
    auto task = newViewTask();
    mobileTurn(task);
    return ViewTask(task);
}

void IPodStore::mobileTurn(const std::shared_ptr<ViewTask::State>& task) {
    if (task->cancelled)
        return;
    Task::run(
        TaskPriority::utility, this, [list = sources.mobileDevices] { return list(); },
        [this, task](std::optional<std::optional<QList<MobileDevice>>> result, std::exception_ptr) {
            if (task->cancelled)
                return;
            if (result && *result && **result != mobileDevices_) {
                setMobileDevices(**result);
                repairSelection();
            }
            after(task, periods.mobile, [this, task] { mobileTurn(task); });
        });
}

IPodStore::ViewTask IPodStore::deviceInfoLoop(const IPodDevice& device) {
    auto task = newViewTask();
    batteryTurn(task, device);
    return ViewTask(task);
}

void IPodStore::batteryTurn(const std::shared_ptr<ViewTask::State>& task,
                            const IPodDevice& device) {
    if (task->cancelled)
        return;
    if (selection_ != Selection::disk(device.id)) {
        task->finish();
        return;
    }
    auto again = [this, task, device] {
        after(task, periods.battery, [this, task, device] { batteryTurn(task, device); });
    };
    if (activeDeviceID_ == device.id) {
        again(); // the operation owns the device meanwhile
        return;
    }
    Task::run(
        TaskPriority::utility, this, [read = sources.readBattery, device] { return read(device); },
        [this, task, device, again](std::optional<BatteryReading> result, std::exception_ptr) {
            if (task->cancelled || selection_ != Selection::disk(device.id)) {
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
    auto task = newViewTask();
    Task::run(
        TaskPriority::utility, this,
        [device]() -> std::optional<QString> {
            if (!device.hasIdentity())
                return std::nullopt;
            return device.firmwareVersion();
        },
        [this, task, id = device.id](std::optional<std::optional<QString>> result,
                                     std::exception_ptr) {
            if (!task->cancelled && selection_ == Selection::disk(id))
                setSoftwareVersion(result ? *result : std::nullopt);
            task->finish();
        });
    return ViewTask(task);
}

IPodStore::ViewTask IPodStore::loadDeviceNameAndModel(const IPodDevice& device) {
    auto task = newViewTask();
    const bool needsModel = !deviceModels_.contains(device.id);
    // The selected device's name comes with its library, and the busy one is not touched.
    const bool needsName = selection_ != Selection::disk(device.id) &&
                           activeDeviceID_ != device.id && !storedDeviceName(device.id);
    if (!needsModel && !needsName) {
        task->finish();
        return ViewTask(task);
    }
    using Found = std::pair<std::optional<IPodModel>, std::optional<QString>>;
    Task::run(
        TaskPriority::utility, this,
        [device, needsModel, needsName] {
            Found found;
            if (needsModel)
                found.first = device.identifyModel();
            if (needsName) {
                try {
                    found.second = device.openDatabase()->mainPlaylistName();
                } catch (...) {
                }
            }
            return found;
        },
        [this, task, id = device.id](std::optional<Found> found, std::exception_ptr) {
            task->finish();
            if (task->cancelled || !found)
                return;
            const bool listed = std::any_of(devices_.cbegin(), devices_.cend(),
                                            [&id](const IPodDevice& d) { return d.id == id; });
            if (!listed)
                return;
            if (found->first && !deviceModels_.contains(id)) {
                deviceModels_.insert(id, *found->first);
                Q_EMIT deviceModelsChanged();
            }
            // Only a name that was read is stored: a failed read must not erase the name kept
            // under the iPod's USB key.
            if (found->second &&
                (deviceNames_.isEmpty() || !deviceNames_.contains(Selection::disk(id))))
                setDeviceName(found->second, id);
        });
    return ViewTask(task);
}

IPodStore::ViewTask IPodStore::watchVolumes() {
    auto task = newViewTask();
    auto watcher = std::make_unique<MountWatcher>();
    connect(watcher.get(), &MountWatcher::volumeDidUnmount, this,
            [this](const QString& path) { volumeDidUnmount(path); });
    connect(watcher.get(), &MountWatcher::volumesDidMount, this,
            [this](const QStringList&) { refreshDevices(); });
    task->resource = std::move(watcher);
    return ViewTask(task);
}

void IPodStore::volumeDidUnmount(const std::optional<QString>& url) {
    if (url && activeDeviceID_) {
        const QString resolved = QFileInfo(*url).canonicalFilePath();
        const QString path = resolved.isEmpty() ? *url : resolved;
        if (path == activeDeviceID_->path)
            transfer.cancel();
    }
    refreshDevices();
}

// ---------------------------------------------------------------------------------------------
// Eject

void IPodStore::eject(const IPodDevice& device) {
    if (activeDeviceID_)
        return;
    const AppLanguage language = AppLanguages::stored();
    const QString name = displayName(device.id, language);
    std::optional<quint64> usbID;
    if (const auto found = mountedUSBIDs.constFind(device.id); found != mountedUSBIDs.cend())
        usbID = *found;
    // Setting the busy device stops the preview and destroys its player first, so that it
    // holds no file on the volume open.
    setActiveDeviceID(device.id);
    Task::run(
        TaskPriority::userInitiated, this,
        [device] { IPodEject::eject(device.mountPoint, [device] { device.verifyIdentity(); }); },
        [this, device, usbID, name, language](std::optional<bool> done, std::exception_ptr error) {
            setActiveDeviceID(std::nullopt);
            if (done && !error) {
                refreshDevices(usbID);
                return;
            }
            const QString reason = localizedDescription(error, language);
            refreshDevices(std::nullopt, std::nullopt, [this, id = device.id] {
                if (selection_ == Selection::disk(id))
                    reloadSelection();
            });
            setAlert(IPodEject::failureMessage(name, reason, language));
        });
}
