#include "device/DeviceRegistry.h"

#include "device/MountInfo.h"
#include "device/MountWatcher.h"
#include "device/StoreViewTask.h"
#include "library/IPodDatabase.h"
#include "library/StoredCovers.h"
#include "platform/Task.h"

#include <QCollator>
#include <QLocale>
#include <QSet>

#include <algorithm>

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

DeviceRegistry::DeviceRegistry(IPodStore::Sources s, IPodStore::Periods p, QObject* parent)
    : QObject(parent)
    , sources(std::move(s))
    , periods(p) {
}

DeviceRegistry::~DeviceRegistry() = default;

// ---------------------------------------------------------------------------------------------
// Selection

bool DeviceRegistry::isListed(const IPodDevice::ID& id) const {
    return std::any_of(devices_.cbegin(), devices_.cend(),
                       [&id](const IPodDevice& device) { return device.id == id; });
}

std::optional<IPodDevice::ID> DeviceRegistry::selectedDiskID() const {
    if (selection_ && selection_->isDisk())
        return selection_->diskID;
    return std::nullopt;
}

std::optional<IPodDevice> DeviceRegistry::selectedDevice() const {
    const auto id = selectedDiskID();
    if (!id)
        return std::nullopt;
    for (const IPodDevice& device : devices_) {
        if (device.id == *id)
            return device;
    }
    return std::nullopt;
}

std::optional<MobileDevice> DeviceRegistry::selectedMobileDevice() const {
    if (!selection_ || !selection_->isMobile())
        return std::nullopt;
    for (const MobileDevice& device : mobileDevices_) {
        if (device.id == selection_->mobileID)
            return device;
    }
    return std::nullopt;
}

void DeviceRegistry::setSelection(const std::optional<Selection>& selection) {
    const std::optional<Selection> old = selection_;
    selection_ = selection;
    Q_EMIT selectionAssigned(old);
}

void DeviceRegistry::repairSelection() {
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
// Refresh

DeviceRegistry::DeviceScan DeviceRegistry::scanDevices(const IPodStore::Sources& sources,
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

void DeviceRegistry::refresh(std::optional<quint64> ejectedUSBID, std::optional<QString> addingURL,
                             std::function<void()> then) {
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

void DeviceRegistry::startNextRefresh() {
    if (pendingRefreshes.empty())
        return;
    auto request = std::make_shared<RefreshRequest>(std::move(pendingRefreshes.front()));
    pendingRefreshes.erase(pendingRefreshes.begin());
    refreshRunning = true;
    Task::run(
        TaskPriority::utility, this, [s = sources, request] { return scanDevices(s, *request); },
        [this, request](std::optional<DeviceScan> scan, std::exception_ptr) {
            // A scan that failed (a source threw) changes nothing; the next one reads again.
            refreshRunning = false;
            if (scan)
                applyDeviceScan(*scan, request->ejectedUSBIDs);
            startNextRefresh();
            for (auto& fn : request->then)
                fn();
        });
}

void DeviceRegistry::applyDeviceScan(const DeviceScan& scan, const std::set<quint64>& ejected) {
    std::optional<quint64> previousUSBID;
    if (const auto id = selectedDiskID()) {
        const auto found = mountedUSBIDs_.constFind(*id);
        if (found != mountedUSBIDs_.cend())
            previousUSBID = *found;
    }

    devices_ = scan.devices;
    Q_EMIT devicesChanged();
    usbIPods = scan.usb;
    mountedUSBIDs_ = scan.usbIDs;

    QSet<quint64> mountedUSB;
    for (const quint64 usb : std::as_const(mountedUSBIDs_))
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
    if (unmounted != unmountedIPods_) {
        unmountedIPods_ = std::move(unmounted);
        Q_EMIT unmountedIPodsChanged();
    }

    QSet<IPodDevice::ID> present;
    QSet<QByteArray> presentVolumes;
    for (const IPodDevice& device : devices_) {
        present.insert(device.id);
        presentVolumes.insert(device.volumeKey());
    }
    // A volume that went takes its cover process with it.
    StoredCovers::endAllBut(presentVolumes);
    for (auto it = deviceModels_.begin(); it != deviceModels_.end();) {
        if (present.contains(it.key()))
            ++it;
        else
            it = deviceModels_.erase(it);
    }
    Q_EMIT deviceModelsChanged();
    for (auto it = deviceNames_.begin(); it != deviceNames_.end();) {
        const Selection& key = it.key();
        if ((key.isDisk() && present.contains(key.diskID)) ||
            (key.isUnmounted() && usbIPods.count(key.usbID)))
            ++it;
        else
            it = deviceNames_.erase(it);
    }
    Q_EMIT deviceNamesChanged();

    followSelection(previousUSBID);
}

void DeviceRegistry::followSelection(std::optional<quint64> previousUSBID) {
    if (selection_ && selection_->isUnmounted()) {
        const quint64 usb = selection_->usbID;
        for (const IPodDevice& device : devices_) {
            const auto found = mountedUSBIDs_.constFind(device.id);
            if (found != mountedUSBIDs_.cend() && *found == usb) {
                setSelection(Selection::disk(device.id));
                repairSelection();
                return;
            }
        }
    } else if (selection_ && selection_->isDisk() && !selectedDevice()) {
        const IPodDevice::ID old = selection_->diskID;
        for (const IPodDevice& device : devices_) {
            const auto usb = mountedUSBIDs_.constFind(device.id);
            const bool matches =
                previousUSBID && usb != mountedUSBIDs_.cend()
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

// ---------------------------------------------------------------------------------------------
// Names and models

std::optional<QString> DeviceRegistry::storedDeviceName(const IPodDevice::ID& id) const {
    const auto disk = deviceNames_.constFind(Selection::disk(id));
    if (disk != deviceNames_.cend())
        return *disk;
    const auto usb = mountedUSBIDs_.constFind(id);
    if (usb != mountedUSBIDs_.cend()) {
        const auto unmounted = deviceNames_.constFind(Selection::unmounted(*usb));
        if (unmounted != deviceNames_.cend())
            return *unmounted;
    }
    return std::nullopt;
}

QString DeviceRegistry::displayName(const IPodDevice::ID& id, AppLanguage language) const {
    if (auto name = storedDeviceName(id))
        return *name;
    const auto model = deviceModels_.constFind(id);
    if (model != deviceModels_.cend())
        return model->displayName(language);
    return localizedString(LZ("Unknown iPod"), language);
}

void DeviceRegistry::setDeviceName(const std::optional<QString>& name, const IPodDevice::ID& id) {
    QList<Selection> keys{Selection::disk(id)};
    const auto usb = mountedUSBIDs_.constFind(id);
    if (usb != mountedUSBIDs_.cend())
        keys.append(Selection::unmounted(*usb));
    for (const Selection& key : keys) {
        if (name)
            deviceNames_.insert(key, *name);
        else
            deviceNames_.remove(key);
    }
    Q_EMIT deviceNamesChanged();
}

void DeviceRegistry::addModel(const IPodDevice::ID& id, const IPodModel& model) {
    deviceModels_.insert(id, model);
    Q_EMIT deviceModelsChanged();
}

// ---------------------------------------------------------------------------------------------
// Loops and loaders

IPodStore::ViewTask DeviceRegistry::usbWatchLoop() {
    auto task = std::make_shared<ViewTask::State>();
    usbTurn(task);
    return ViewTask(task);
}

void DeviceRegistry::usbTurn(const std::shared_ptr<ViewTask::State>& task) {
    if (task->cancelled)
        return;
    Task::run(
        TaskPriority::utility, this, [scan = sources.scanUSB] { return scan(); },
        [this, task](std::optional<USBScan> result, std::exception_ptr) {
            // A scan that failed counts as no change; the loop reads again next turn.
            if (task->cancelled)
                return;
            auto next = [this, task] {
                ViewTask::State::after(task, this, periods.usb, [this, task] { usbTurn(task); });
            };
            if (result && *result != usbIPods)
                refresh(std::nullopt, std::nullopt, next);
            else
                next();
        });
}

IPodStore::ViewTask DeviceRegistry::mobileDeviceWatchLoop() {
    auto task = std::make_shared<ViewTask::State>();
    mobileTurn(task);
    return ViewTask(task);
}

void DeviceRegistry::mobileTurn(const std::shared_ptr<ViewTask::State>& task) {
    if (task->cancelled)
        return;
    Task::run(
        TaskPriority::utility, this, [list = sources.mobileDevices] { return list(); },
        [this, task](std::optional<std::optional<QList<MobileDevice>>> result, std::exception_ptr) {
            // A listing that failed keeps the devices, like one that could not list them.
            if (task->cancelled)
                return;
            if (result && *result && **result != mobileDevices_) {
                mobileDevices_ = **result;
                Q_EMIT mobileDevicesChanged();
                repairSelection();
            }
            ViewTask::State::after(task, this, periods.mobile, [this, task] { mobileTurn(task); });
        });
}

IPodStore::ViewTask
DeviceRegistry::loadDeviceNameAndModel(const IPodDevice& device,
                                       const std::function<bool(const IPodDevice::ID&)>& isBusy) {
    auto task = std::make_shared<ViewTask::State>();
    const bool needsModel = !deviceModels_.contains(device.id);
    // The selected device's name comes with its library, and the busy one is not touched.
    const bool needsName = selection_ != Selection::disk(device.id) && !isBusy(device.id) &&
                           !storedDeviceName(device.id);
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
                    found.second = device.openDatabase(SessionAccess::reading)->mainPlaylistName();
                } catch (...) {
                    // The sidebar shows the model's name instead; the library pane reports
                    // why the database cannot be read once the device is selected.
                }
            }
            return found;
        },
        [this, task, id = device.id](std::optional<Found> found, std::exception_ptr) {
            // Nothing in the read throws but for want of memory; then nothing was found.
            task->finish();
            if (task->cancelled || !found || !isListed(id))
                return;
            if (found->first && !deviceModels_.contains(id))
                addModel(id, *found->first);
            // Only a name that was read is stored: a failed read must not erase the name kept
            // under the iPod's USB key.
            if (found->second && !deviceNames_.contains(Selection::disk(id)))
                setDeviceName(found->second, id);
        });
    return ViewTask(task);
}

IPodStore::ViewTask DeviceRegistry::watchVolumes(std::function<void(const QString&)> unmounted) {
    auto task = std::make_shared<ViewTask::State>();
    auto watcher = std::make_unique<MountWatcher>();
    connect(watcher.get(), &MountWatcher::volumeDidUnmount, this,
            [unmounted = std::move(unmounted)](const QString& path) { unmounted(path); });
    connect(watcher.get(), &MountWatcher::volumesDidMount, this,
            [this](const QStringList&) { refresh(std::nullopt, std::nullopt, {}); });
    task->resource = std::move(watcher);
    return ViewTask(task);
}
