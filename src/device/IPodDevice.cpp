#include "device/IPodDevice.h"

#include "device/DeviceProducts.h"
#include "device/IPodDeviceError.h"
#include "device/IPodProbe.h"
#include "device/SysInfoExtendedReader.h"

#include <QFile>
#include <QFileInfo>

#include <libudev.h>

#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#ifndef STATX_MNT_ID_UNIQUE
#define STATX_MNT_ID_UNIQUE 0x00004000U
#endif

namespace {

struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
};
struct UdevDeviceDeleter {
    void operator()(udev_device* d) const { udev_device_unref(d); }
};

// diskseq of the whole disk behind a block device (a partition asks its disk).
quint64 diskSequence(dev_t number) {
    if (major(number) == 0)
        return 0;
    std::unique_ptr<udev, UdevDeleter> context(udev_new());
    if (!context)
        return 0;
    std::unique_ptr<udev_device, UdevDeviceDeleter> device(
        udev_device_new_from_devnum(context.get(), 'b', number));
    if (!device)
        return 0;
    udev_device* disk = device.get();
    const char* type = udev_device_get_devtype(disk);
    if (type && qstrcmp(type, "partition") == 0)
        disk = udev_device_get_parent_with_subsystem_devtype(disk, "block", "disk");
    if (!disk)
        return 0;
    const char* text = udev_device_get_sysattr_value(disk, "diskseq");
    if (!text)
        return 0;
    bool ok = false;
    const quint64 value = QByteArray(text).trimmed().toULongLong(&ok, 10);
    return ok ? value : 0;
}

QString resolvedPath(const QString& path) {
    const QByteArray encoded = QFile::encodeName(path);
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(encoded.constData(), nullptr),
                                                         &std::free);
    if (!resolved)
        return {};
    return QFile::decodeName(resolved.get());
}

} // namespace

std::optional<IPodDevice::ID> volumeIdentity(const QString& path) {
    if (path.isEmpty())
        return std::nullopt;
    const QByteArray encoded = QFile::encodeName(path);
    struct statx info {};
    if (::statx(AT_FDCWD, encoded.constData(), AT_SYMLINK_NOFOLLOW,
                STATX_INO | STATX_MNT_ID | STATX_MNT_ID_UNIQUE, &info) != 0)
        return std::nullopt;
    IPodDevice::ID id;
    id.path = path;
    const dev_t number = makedev(info.stx_dev_major, info.stx_dev_minor);
    id.filesystem = number;
    id.inode = info.stx_ino;
    if (info.stx_mask & (STATX_MNT_ID | STATX_MNT_ID_UNIQUE))
        id.mountID = info.stx_mnt_id;
    id.diskSequence = diskSequence(number);
    struct statfs fs {};
    if (::statfs(encoded.constData(), &fs) == 0) {
        quint64 high = static_cast<quint32>(fs.f_fsid.__val[0]);
        quint64 low = static_cast<quint32>(fs.f_fsid.__val[1]);
        id.fileSystemID = (high << 32) | low;
    }
    return id;
}

size_t qHash(const IPodDevice::ID& id, size_t seed) noexcept {
    return qHashMulti(seed, id.path, id.filesystem, id.inode, id.mountID, id.diskSequence,
                      id.fileSystemID);
}

std::optional<VolumeCapacity> volumeCapacity(const QString& path) {
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    VolumeCapacity capacity;
    const auto clamp = [](unsigned long long bytes) {
        return static_cast<qint64>(std::min<unsigned long long>(bytes, INT64_MAX));
    };
    const unsigned long long unit = info.f_frsize ? info.f_frsize : info.f_bsize;
    const auto multiply = [&](unsigned long long count) {
        if (unit != 0 && count > INT64_MAX / unit)
            return static_cast<unsigned long long>(INT64_MAX);
        return count * unit;
    };
    capacity.totalBytes = clamp(multiply(info.f_blocks));
    capacity.freeBytes = clamp(multiply(info.f_bavail));
    capacity.isReadOnly = (info.f_flag & ST_RDONLY) != 0;
    return capacity;
}

std::optional<IPodDevice> IPodDevice::fromMountPoint(const QString& mountPoint) {
    const QString resolved = resolvedPath(mountPoint);
    if (resolved.isEmpty())
        return std::nullopt;
    auto id = volumeIdentity(resolved);
    if (!id)
        return std::nullopt;
    struct stat control {};
    const QByteArray controlPath = QFile::encodeName(resolved + QStringLiteral("/iPod_Control"));
    if (::lstat(controlPath.constData(), &control) != 0 || !S_ISDIR(control.st_mode))
        return std::nullopt;
    IPodDevice device;
    device.id = std::move(*id);
    device.mountPoint = resolved;
    if (const auto capacity = volumeCapacity(resolved)) {
        device.totalBytes = capacity->totalBytes;
        device.freeBytes = capacity->freeBytes;
    }
    return device;
}

void IPodDevice::verifyIdentity() const {
    const auto current = volumeIdentity(mountPoint);
    if (!current || *current != id)
        throw IPodDeviceError();
}

bool IPodDevice::hasIdentity() const {
    const auto current = volumeIdentity(mountPoint);
    return current && *current == id;
}

std::optional<std::pair<USBHostDevice, int>> IPodDevice::findUSBDevice() const {
    if (!hasIdentity())
        return std::nullopt;
    auto service = USBHostDevice::forBlockDevice(static_cast<dev_t>(id.filesystem));
    if (!service)
        return std::nullopt;
    const auto productID = usbVendorProductID(*service);
    if (!productID)
        return std::nullopt;
    return std::make_pair(std::move(*service), *productID);
}

std::optional<int> usbVendorProductID(const USBHostDevice& service) {
    const auto vendor = service.hexAttribute("idVendor");
    if (vendor != DeviceProducts::appleVendorID)
        return std::nullopt;
    return service.hexAttribute("idProduct");
}

std::optional<quint64> IPodDevice::usbRegistryEntryID() const {
    auto entry =
        withUSBDevice([](const USBHostDevice& service, int) { return service.registryEntryID(); });
    return entry ? *entry : std::nullopt;
}

std::pair<int, std::optional<QByteArray>>
IPodDevice::sysInfoExtendedForOpen(const USBHostDevice& service, int productID) const {
    if (productID != DeviceProducts::classic)
        return {productID, std::nullopt};
    if (QFileInfo::exists(mountPoint + QStringLiteral("/iPod_Control/Device/SysInfoExtended")))
        return {productID, std::nullopt};
    return {productID, IPodProbe::copySysInfoExtendedOverSCSI(service)};
}

std::optional<QString> readSerialNumber(const USBHostDevice& service, int productID) {
    using namespace DeviceProducts;
    switch (productID) {
    case shuffle2:
        return IPodProbe::copySCSISerialNumber(service);
    case nano1:
    case classic:
        if (const auto plist = IPodProbe::copySysInfoExtendedOverSCSI(service))
            return SysInfoExtendedReader::serialNumber(*plist);
        return std::nullopt;
    case shuffle3:
    case shuffle4:
    case nano5:
        if (const auto plist = IPodProbe::copySysInfoExtendedOverUSB(service))
            return SysInfoExtendedReader::serialNumber(*plist);
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

std::optional<QString> IPodDevice::usbSerialNumber() const {
    auto serial = withUSBDevice([](const USBHostDevice& service, int productID) {
        if (productID != DeviceProducts::shuffle2 && productID != DeviceProducts::shuffle3)
            return std::optional<QString>();
        return readSerialNumber(service, productID);
    });
    return serial ? *serial : std::nullopt;
}

std::optional<QString> IPodDevice::firmwareVersionOverUSB() const {
    if (!hasIdentity())
        return std::nullopt;
    auto version = withUSBDevice([](const USBHostDevice& service, int productID) {
        if (const auto plist = IPodProbe::copySysInfoExtendedOverSCSI(service)) {
            if (auto version = SysInfoExtendedReader::firmwareVersion(*plist))
                return version;
        }
        using namespace DeviceProducts;
        if (productID != shuffle4 && productID != shuffle3 && productID != nano5)
            return std::optional<QString>();
        if (const auto plist = IPodProbe::copySysInfoExtendedOverUSB(service))
            return SysInfoExtendedReader::firmwareVersion(*plist);
        return std::optional<QString>();
    });
    return version ? *version : std::nullopt;
}

std::optional<std::pair<bool, std::optional<IPodBattery>>> IPodDevice::readBattery() const {
    if (!hasIdentity())
        return std::nullopt;
    return withUSBDevice([](const USBHostDevice& service, int productID) {
        using namespace DeviceProducts;
        if (productID != nano5 && productID != nano6 && productID != shuffle4)
            return std::pair<bool, std::optional<IPodBattery>>(false, std::nullopt);
        std::optional<IPodBattery> battery;
        if (const auto word = IPodProbe::readUSBVendorValue(service))
            battery = IPodBattery::decode(*word);
        return std::pair<bool, std::optional<IPodBattery>>(true, battery);
    });
}
