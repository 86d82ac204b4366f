// The device facts that need the library database: opening it, and the model and firmware
// readers that fall back on libgpod's view of the volume.

#include "device/IPodDevice.h"

#include "device/DeviceProducts.h"
#include "device/IPodDeviceError.h"
#include "library/DatabaseFiles.h"
#include "library/DatabasePreflight.h"
#include "library/DeviceDescription.h"
#include "library/GLibHandles.h"
#include "library/GpodExtensions.h"
#include "library/IPodDatabase.h"
#include "library/IPodModel.h"
#include "library/StoredCovers.h"

#include <QFile>

#include <gpod/itdb.h>

namespace {

// What opening the device's database needs: the mount point and what the USB device adds.
DatabasePreflight::Request openRequest(const IPodDevice& device) {
    device.verifyIdentity();
    const auto usb = device.withUSBDevice([&device](const USBHostDevice& service, int productID) {
        return device.sysInfoExtendedForOpen(service, productID);
    });
    device.verifyIdentity();
    return {device.mountPoint, usb ? usb->second : std::nullopt,
            usb ? std::optional<int>(usb->first) : std::nullopt, device.volumeKey()};
}

// The opening in this process, of a database the helper has read cleanly.
std::unique_ptr<IPodDatabase> openChecked(const IPodDevice& device,
                                          const DatabasePreflight::Request& request,
                                          SessionAccess access) {
    return IPodDatabase::open(
        request.mountPoint, request.sysInfoExtended,
        [productID = request.productID] { return productID; },
        [device] { device.verifyIdentity(); }, true, access);
}

} // namespace

std::unique_ptr<IPodDatabase> IPodDevice::openDatabase(SessionAccess access) const {
    // The files the helper walks are the ones the session then parses: no other writer comes
    // between. The session shares this hold.
    std::optional<VolumeWriteLock> lock;
    if (access == SessionAccess::writing) {
        verifyIdentity();
        lock.emplace(mountPoint);
    }
    // A database not read before is read by the helper process first.
    const DatabasePreflight::Request request = openRequest(*this);
    DatabasePreflight::check(request);
    return openChecked(*this, request, access);
}

LibrarySnapshot IPodDevice::readLibrary() const {
    // A database not read before is read by the helper alone, which sends back what it read.
    const DatabasePreflight::Request request = openRequest(*this);
    if (std::optional<LibrarySnapshot> snapshot = DatabasePreflight::read(request))
        return std::move(*snapshot);
    return LibrarySnapshot::read(*openChecked(*this, request, SessionAccess::reading));
}

QHash<quint64, StoredCover> IPodDevice::storedCovers(const QList<quint64>& trackIDs) const {
    QHash<quint64, StoredCover> covers;
    for (const quint64 id : trackIDs)
        covers.insert(id, StoredCover());
    try {
        covers = StoredCovers::read(openRequest(*this), trackIDs);
        verifyIdentity();
    } catch (...) {
        // Another volume, or none: nothing is known of these covers.
        for (StoredCover& cover : covers)
            cover = StoredCover();
    }
    return covers;
}

StoredCover IPodDevice::storedCoverAlone(quint64 trackID) const {
    try {
        const StoredCover cover = StoredCovers::readAlone(openRequest(*this), trackID);
        verifyIdentity();
        return cover;
    } catch (...) {
        return StoredCover();
    }
}

QByteArray IPodDevice::volumeKey() const {
    QByteArray volume = QFile::encodeName(id.path);
    for (const quint64 part :
         {id.filesystem, id.inode, id.mountID, id.diskSequence, id.fileSystemID})
        volume += ' ' + QByteArray::number(part);
    return volume;
}

std::optional<IPodModel>
IPodDevice::modelFromUSB(const std::optional<QString>& serialNumber) const {
    if (!hasIdentity())
        return std::nullopt;
    auto model = withUSBDevice([&](const USBHostDevice& service, int productID) {
        const std::optional<QString> serial =
            serialNumber ? serialNumber : readSerialNumber(service, productID);
        return IPodModel::fromProductID(productID, serial);
    });
    return model ? *model : std::nullopt;
}

std::optional<IPodModel> IPodDevice::identifyModel() const {
    if (!hasIdentity())
        return std::nullopt;
    // libgpod reads the device description on its own and would wait on a FIFO forever.
    if (DatabaseFiles::hasSpecialFiles(mountPoint))
        return modelFromUSB(std::nullopt);
    // It crashes on some descriptions and waits on a FIFO in place of one: a description our
    // reading refuses it never sees.
    const DatabaseFiles::Unread unread = DatabaseFiles::unreadDescriptions(mountPoint);
    const DeviceDescription::File description = DeviceDescription::read(mountPoint);
    const QByteArray mount = QFile::encodeName(mountPoint);
    GLibHandles::DevicePtr device(
        unread.files.any() ? lorvanel_itdb_device_leaving_out(mount.constData(), unread.files)
                           : itdb_device_new());
    if (!device)
        return modelFromUSB(std::nullopt);
    if (!unread.files.any())
        itdb_device_set_mountpoint(device.get(), mount.constData());

    std::optional<QString> serial;
    if (description.text)
        serial = IPodDatabase::serialNumber(*description.text);

    if (const Itdb_IpodInfo* info = itdb_device_get_ipod_info(device.get())) {
        const int generation = info->ipod_generation;
        if (!serial && (generation == 10 || generation == 11))
            serial = usbSerialNumber();
        std::optional<QString> modelNumber;
        if (info->model_number) {
            const QByteArray bytes(info->model_number);
            if (g_utf8_validate(bytes.constData(), bytes.size(), nullptr))
                modelNumber = QString::fromUtf8(bytes);
        }
        if (auto model = IPodModel::fromGeneration(generation, serial, modelNumber,
                                                   static_cast<std::int32_t>(info->ipod_model)))
            return model;
    }
    return modelFromUSB(serial);
}

std::optional<QString> IPodDevice::firmwareVersion() const {
    if (!hasIdentity())
        return std::nullopt;
    if (auto version = firmwareVersionOverUSB())
        return version;
    return IPodDatabase::firmwareVersion(mountPoint);
}
