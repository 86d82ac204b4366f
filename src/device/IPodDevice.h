#pragma once

// A mounted iPod volume, named by its mount path and by what tells this volume apart from any
// other one mounted later at the same path.

#include "device/IPodBattery.h"
#include "device/USBHostDevice.h"
#include "library/VolumeWriteLock.h"

#include <QByteArray>
#include <QHash>
#include <QHashFunctions>
#include <QList>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class IPodDatabase;
struct IPodModel;
struct LibrarySnapshot;
struct StoredCover;

class IPodDevice {
public:
    struct ID {
        QString path;           // the resolved mount path
        quint64 filesystem = 0; // st_dev (64 bits wide on Linux)
        quint64 inode = 0;      // st_ino
        // Linux reuses the device number and root inode when another volume is mounted at the
        // same path, so these three tell volumes apart as well (0 when the kernel has none):
        quint64 mountID = 0;      // the mount's unique ID, never reused while the system runs
        quint64 diskSequence = 0; // the backing disk's diskseq, new for every attached medium
        quint64 fileSystemID = 0; // statfs f_fsid: the file system's UUID where it has one

        bool operator==(const ID&) const = default;
    };

    ID id;
    QString mountPoint; // symbolic links resolved
    qint64 totalBytes = 0;
    qint64 freeBytes = 0;

    // A volume whose mount point holds an "iPod_Control" folder; none for anything else.
    static std::optional<IPodDevice> fromMountPoint(const QString& mountPoint);

    // Throws IPodDeviceError::disconnected unless the mount point still has the identity.
    void verifyIdentity() const;

    // Runs body on the device's USB device when that is an Apple device, with its product ID.
    template <typename Body>
    auto withUSBDevice(Body&& body) const
        -> std::optional<std::invoke_result_t<Body, const USBHostDevice&, int>> {
        auto found = findUSBDevice();
        if (!found)
            return std::nullopt;
        return std::invoke(std::forward<Body>(body), std::as_const(found->first), found->second);
    }

    std::optional<quint64> usbRegistryEntryID() const;

    // The product-specific facts, from the volume's files, the database and the probes. The
    // four that need the library database are built with it (IPodDeviceDetails.cpp).

    // Opens the volume's database with what the USB device adds; a writing session holds the
    // volume's write lock from before the helper process reads the database. Throws
    // IPodDeviceError::disconnected when the volume changed, else the database's errors
    // (IPodDatabaseError::deviceInUse when another process writes to it).
    std::unique_ptr<IPodDatabase> openDatabase(SessionAccess access = SessionAccess::writing) const;
    // What a library load shows of the database, read without opening it in this process when
    // the helper process reads it first. Throws as openDatabase does.
    LibrarySnapshot readLibrary() const;
    // The covers the database stores for the tracks, decoded in the volume's cover process
    // (StoredCovers); all unknown when the volume changed meanwhile. Never throws.
    QHash<quint64, StoredCover> storedCovers(const QList<quint64>& trackIDs) const;
    // The track's stored cover decoded again, alone, by a new cover process
    // (StoredCovers::readAlone); unknown when the volume changed meanwhile. Never throws.
    StoredCover storedCoverAlone(quint64 trackID) const;
    // What tells this volume apart from any other, as the database requests carry it.
    QByteArray volumeKey() const;
    std::optional<IPodModel> modelFromUSB(const std::optional<QString>& serialNumber) const;
    // The model before a library is loaded: libgpod's device information, then USB.
    std::optional<IPodModel> identifyModel() const;
    std::optional<QString> firmwareVersion() const;

    // Whether the identity still holds, as a plain answer for the readers that never throw.
    bool hasIdentity() const;

    // The SysInfoExtended the database open needs from the device: read over SCSI for a classic
    // whose volume lacks the file, none otherwise.
    std::pair<int, std::optional<QByteArray>> sysInfoExtendedForOpen(const USBHostDevice& service,
                                                                     int productID) const;
    std::optional<QString> usbSerialNumber() const;
    std::optional<QString> firmwareVersionOverUSB() const;
    // (whether the product reports a battery, its state); none without a USB device.
    std::optional<std::pair<bool, std::optional<IPodBattery>>> readBattery() const;

private:
    std::optional<std::pair<USBHostDevice, int>> findUSBDevice() const;
};

size_t qHash(const IPodDevice::ID& id, size_t seed = 0) noexcept;

template <> struct std::hash<IPodDevice::ID> {
    size_t operator()(const IPodDevice::ID& id) const noexcept { return qHash(id); }
};

// The identity of the path itself (a final symbolic link is not followed); none when it
// cannot be read.
std::optional<IPodDevice::ID> volumeIdentity(const QString& path);

// The product ID of a USB device whose vendor is Apple; none for any other vendor.
std::optional<int> usbVendorProductID(const USBHostDevice& service);

// The serial number each product keeps where this system can read it.
std::optional<QString> readSerialNumber(const USBHostDevice& service, int productID);

// Total and available bytes and the read-only flag of the volume holding path.
struct VolumeCapacity {
    qint64 totalBytes = 0;
    qint64 freeBytes = 0;
    bool isReadOnly = false;
};
std::optional<VolumeCapacity> volumeCapacity(const QString& path);
