#pragma once

// A device store wired to a machine the test controls: the volumes it lists (real folders or
// real mounts), what USB shows, the iOS devices, and hooks around the real library load and
// battery read. Sources run on background threads, so the machine guards itself.

#include "device/DeviceRegistry.h"
#include "device/IPodStore.h"
#include "device/StoreOperation.h"
#include "support/IPodStoreTestAccess.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

class TestMachine : public std::enable_shared_from_this<TestMachine> {
public:
    // Mount points listed as volumes; with realMountsUnder set, the real local mounts below
    // that folder are listed instead.
    void setVolumes(const QStringList& paths);
    void listRealMountsUnder(const QString& folder);
    void setUSB(const IPodStore::USBScan& scan);
    // The USB registry entry ID of the device mounted at a path.
    void linkUSB(const QString& mountPath, quint64 usbID);
    void setMobileDevices(const std::optional<QList<MobileDevice>>& devices);
    void setBattery(const IPodStore::BatteryReading& reading);

    // While closed, library loads wait before they read.
    void closeLoadGate();
    void openLoadGate();
    // Every source sleeps this long before it answers (a slow, dying volume).
    void setDelay(std::chrono::milliseconds delay);

    int loadsStarted() const;
    int loadsFinished() const;
    int maxConcurrentLoads() const;
    int batteryReads() const;
    int volumeListings() const;
    int mobileListings() const;
    int usbScans() const;
    // Reads that began sleeping for the delay.
    int slowReadsStarted() const;

    // The sources hold the machine, so it outlives reads still running after a test.
    IPodStore::Sources sources();

private:
    void pause() const;

    mutable std::mutex mutex;
    std::condition_variable gateChanged;
    QStringList volumes;
    QString mountFolder;
    IPodStore::USBScan usb;
    QHash<QString, quint64> usbOfPath;
    std::optional<QList<MobileDevice>> mobile = QList<MobileDevice>();
    IPodStore::BatteryReading battery;
    bool gateOpen = true;
    std::chrono::milliseconds delay{0};
    int started = 0;
    int finished = 0;
    int running = 0;
    int maxRunning = 0;
    int reads = 0;
    int listings = 0;
    int mobileCount = 0;
    int usbCount = 0;
    mutable int slowCount = 0;
};

// Small periods so the loops turn quickly; nothing measures them.
IPodStore::Periods quickPeriods();

// Copies a folder tree (a libgpod-made volume) into dest.
bool copyTree(const QString& source, const QString& dest);

// A mobile device value for the iOS list.
MobileDevice mobileDevice(const QString& id, const QString& name);
