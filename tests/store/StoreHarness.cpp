#include "StoreHarness.h"

#include "device/MountInfo.h"

#include <QFileInfo>
#include <QProcess>

#include <thread>

void TestMachine::setVolumes(const QStringList& paths) {
    std::lock_guard lock(mutex);
    volumes = paths;
}

void TestMachine::listRealMountsUnder(const QString& folder) {
    std::lock_guard lock(mutex);
    mountFolder = QFileInfo(folder).canonicalFilePath();
}

void TestMachine::setUSB(const IPodStore::USBScan& scan) {
    std::lock_guard lock(mutex);
    usb = scan;
}

void TestMachine::linkUSB(const QString& mountPath, quint64 usbID) {
    std::lock_guard lock(mutex);
    usbOfPath.insert(QFileInfo(mountPath).canonicalFilePath(), usbID);
}

void TestMachine::setMobileDevices(const std::optional<QList<MobileDevice>>& devices) {
    std::lock_guard lock(mutex);
    mobile = devices;
}

void TestMachine::setBattery(const IPodStore::BatteryReading& reading) {
    std::lock_guard lock(mutex);
    battery = reading;
}

void TestMachine::closeLoadGate() {
    std::lock_guard lock(mutex);
    gateOpen = false;
}

void TestMachine::openLoadGate() {
    {
        std::lock_guard lock(mutex);
        gateOpen = true;
    }
    gateChanged.notify_all();
}

void TestMachine::setDelay(std::chrono::milliseconds d) {
    std::lock_guard lock(mutex);
    delay = d;
}

int TestMachine::loadsStarted() const {
    std::lock_guard lock(mutex);
    return started;
}

int TestMachine::loadsFinished() const {
    std::lock_guard lock(mutex);
    return finished;
}

int TestMachine::maxConcurrentLoads() const {
    std::lock_guard lock(mutex);
    return maxRunning;
}

int TestMachine::batteryReads() const {
    std::lock_guard lock(mutex);
    return reads;
}

int TestMachine::mobileListings() const {
    std::lock_guard lock(mutex);
    return mobileCount;
}

int TestMachine::slowReadsStarted() const {
    std::lock_guard lock(mutex);
    return slowCount;
}

int TestMachine::usbScans() const {
    std::lock_guard lock(mutex);
    return usbCount;
}

int TestMachine::volumeListings() const {
    std::lock_guard lock(mutex);
    return listings;
}

void TestMachine::pause() const {
    std::chrono::milliseconds d;
    {
        std::lock_guard lock(mutex);
        d = delay;
        if (d.count() > 0)
            ++slowCount;
    }
    if (d.count() > 0)
        std::this_thread::sleep_for(d);
}

IPodStore::Sources TestMachine::sources() {
    IPodStore::Sources s;
    const std::shared_ptr<TestMachine> self = shared_from_this();
    s.mountedVolumes = [this, self] {
        pause();
        std::lock_guard lock(mutex);
        ++listings;
        if (mountFolder.isEmpty())
            return volumes;
        QStringList found;
        for (const QString& path : MountInfo::mountedLocalVolumePaths()) {
            if (path.startsWith(mountFolder + QLatin1Char('/')))
                found.append(path);
        }
        return found;
    };
    s.scanUSB = [this, self] {
        pause();
        std::lock_guard lock(mutex);
        ++usbCount;
        return usb;
    };
    s.usbRegistryEntryID = [this, self](const IPodDevice& device) -> std::optional<quint64> {
        pause();
        std::lock_guard lock(mutex);
        const auto found = usbOfPath.constFind(device.mountPoint);
        if (found == usbOfPath.cend())
            return std::nullopt;
        return *found;
    };
    s.mobileDevices = [this, self] {
        pause();
        std::lock_guard lock(mutex);
        ++mobileCount;
        return mobile;
    };
    s.loadLibrary = [this, self](const IPodDevice& device) {
        {
            std::unique_lock lock(mutex);
            ++started;
            maxRunning = std::max(maxRunning, ++running);
            gateChanged.wait(lock, [this] { return gateOpen; });
        }
        pause();
        struct Done {
            TestMachine* machine;
            ~Done() {
                std::lock_guard lock(machine->mutex);
                --machine->running;
                ++machine->finished;
            }
        } done{this};
        return IPodStore::loadLibrary(device);
    };
    s.readBattery = [this, self](const IPodDevice&) {
        pause();
        std::lock_guard lock(mutex);
        ++reads;
        return battery;
    };
    return s;
}

IPodStore::Periods quickPeriods() {
    using namespace std::chrono_literals;
    return {10ms, 10ms, 10ms};
}

bool copyTree(const QString& source, const QString& dest) {
    return QProcess::execute(QStringLiteral("cp"),
                             {QStringLiteral("-a"), source + QStringLiteral("/."), dest}) == 0;
}

MobileDevice mobileDevice(const QString& id, const QString& name) {
    return *MobileDevice::make(id, QStringLiteral("iPod9,1"), name, std::nullopt, std::nullopt);
}
