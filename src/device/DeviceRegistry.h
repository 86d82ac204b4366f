#pragma once

// The devices the store shows and the sidebar's selection among them: the mounted iPods, the
// iPods on USB whose volume is not mounted, the iPod touch devices, and the names and models
// known for them. A refresh reads the machine on a background task and is applied here, on
// the main thread, in the order refreshes were asked for; afterwards the selection follows its
// iPod to where it is now, or moves to a device that exists.

#include "device/IPodStore.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <set>
#include <vector>

class DeviceRegistry : public QObject {
    Q_OBJECT

public:
    using Selection = IPodStore::Selection;
    using USBScan = IPodStore::USBScan;
    using ViewTask = IPodStore::ViewTask;

    DeviceRegistry(IPodStore::Sources sources, IPodStore::Periods periods,
                   QObject* parent = nullptr);
    ~DeviceRegistry() override;

    const QList<IPodDevice>& devices() const { return devices_; }
    const USBScan& unmountedIPods() const { return unmountedIPods_; }
    const QList<MobileDevice>& mobileDevices() const { return mobileDevices_; }
    const QHash<IPodDevice::ID, IPodModel>& deviceModels() const { return deviceModels_; }
    const QHash<Selection, QString>& deviceNames() const { return deviceNames_; }
    const std::optional<Selection>& selection() const { return selection_; }
    // The USB registry entry ID behind each listed device that has one.
    const QHash<IPodDevice::ID, quint64>& mountedUSBIDs() const { return mountedUSBIDs_; }

    bool isListed(const IPodDevice::ID& id) const;
    std::optional<IPodDevice::ID> selectedDiskID() const;
    std::optional<IPodDevice> selectedDevice() const;
    std::optional<MobileDevice> selectedMobileDevice() const;

    // Announces the selection even when it did not change.
    void setSelection(const std::optional<Selection>& selection);
    // Keeps a selection that still exists, otherwise picks the first device there is.
    void repairSelection();
    // See IPodStore::refreshDevices.
    void refresh(std::optional<quint64> ejectedUSBID, std::optional<QString> addingURL,
                 std::function<void()> then);

    // Names are kept under the disk and, for an iPod on USB, under its USB entry too, so a
    // remount finds its name again.
    std::optional<QString> storedDeviceName(const IPodDevice::ID& id) const;
    QString displayName(const IPodDevice::ID& id, AppLanguage language) const;
    void setDeviceName(const std::optional<QString>& name, const IPodDevice::ID& id);
    void addModel(const IPodDevice::ID& id, const IPodModel& model);

    ViewTask usbWatchLoop();
    ViewTask mobileDeviceWatchLoop();
    // The model of a listed device, and its name unless it is selected (its library brings it)
    // or busy (isBusy); read once.
    ViewTask loadDeviceNameAndModel(const IPodDevice& device,
                                    const std::function<bool(const IPodDevice::ID&)>& isBusy);
    // Follows the mount table: a mount refreshes, an unmount goes to unmounted (a relabel arrives
    // as both).
    ViewTask watchVolumes(std::function<void(const QString&)> unmounted);

Q_SIGNALS:
    void devicesChanged();
    void unmountedIPodsChanged();
    void mobileDevicesChanged();
    void deviceModelsChanged();
    void deviceNamesChanged();
    // After every assignment of the selection, with the value it had before.
    void selectionAssigned(const std::optional<IPodStore::Selection>& old);

private:
    struct DeviceScan {
        QList<IPodDevice> devices; // sorted
        USBScan usb;
        QHash<IPodDevice::ID, quint64> usbIDs;
    };
    struct RefreshRequest {
        std::set<quint64> ejectedUSBIDs;
        QStringList addingURLs;
        std::vector<std::function<void()>> then;
    };
    static DeviceScan scanDevices(const IPodStore::Sources& sources, const RefreshRequest& request);
    void startNextRefresh();
    void applyDeviceScan(const DeviceScan& scan, const std::set<quint64>& ejectedUSBIDs);
    void followSelection(std::optional<quint64> previousUSBID);

    void usbTurn(const std::shared_ptr<ViewTask::State>& task);
    void mobileTurn(const std::shared_ptr<ViewTask::State>& task);

    IPodStore::Sources sources;
    IPodStore::Periods periods;

    QList<IPodDevice> devices_;
    USBScan unmountedIPods_;
    QList<MobileDevice> mobileDevices_;
    QHash<IPodDevice::ID, IPodModel> deviceModels_;
    QHash<Selection, QString> deviceNames_;
    std::optional<Selection> selection_;

    USBScan usbIPods;
    QHash<IPodDevice::ID, quint64> mountedUSBIDs_;
    std::set<quint64> ejectedUSBIDs;
    // Refreshes wait here while one reads the volumes.
    std::vector<RefreshRequest> pendingRefreshes;
    bool refreshRunning = false;
};
