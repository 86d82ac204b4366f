// The device facts that need the library database: opening it, and the model and firmware
// readers that fall back on libgpod's view of the volume.

#include "device/IPodDevice.h"

#include "device/DeviceProducts.h"
#include "device/IPodDeviceError.h"
#include "library/DatabasePreflight.h"
#include "library/GLibHandles.h"
#include "library/IPodDatabase.h"
#include "library/IPodModel.h"

#include <QFile>

#include <gpod/itdb.h>

std::unique_ptr<IPodDatabase> IPodDevice::openDatabase() const {
    verifyIdentity();
    const auto usb = withUSBDevice([this](const USBHostDevice& service, int productID) {
        return sysInfoExtendedForOpen(service, productID);
    });
    verifyIdentity();
    const std::optional<int> productID = usb ? std::optional<int>(usb->first) : std::nullopt;
    const std::optional<QByteArray> sysInfoExtended = usb ? usb->second : std::nullopt;
    // A database not read before is read by the helper process first.
    QByteArray volume = QFile::encodeName(id.path);
    for (const quint64 part :
         {id.filesystem, id.inode, id.mountID, id.diskSequence, id.fileSystemID})
        volume += ' ' + QByteArray::number(part);
    DatabasePreflight::check({mountPoint, sysInfoExtended, productID, volume});
    return IPodDatabase::open(
        mountPoint, sysInfoExtended, [productID] { return productID; },
        [device = *this] { device.verifyIdentity(); }, true);
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
    GLibHandles::DevicePtr device(itdb_device_new());
    if (!device)
        return modelFromUSB(std::nullopt);
    itdb_device_set_mountpoint(device.get(), QFile::encodeName(mountPoint).constData());

    std::optional<QString> serial;
    QFile file(mountPoint + QStringLiteral("/iPod_Control/Device/SysInfoExtended"));
    if (file.open(QIODevice::ReadOnly))
        serial = IPodDatabase::serialNumber(file.readAll());

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
