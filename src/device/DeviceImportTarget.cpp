#include "device/DeviceImportTarget.h"

#include "device/IPodDeviceError.h"
#include "device/IPodProbe.h"
#include "library/IPodDatabase.h"
#include "library/Nano5Playlist.h"
#include "transfer/ImportError.h"

std::optional<QByteArray> readNano5SysInfoExtended(const IPodDevice& device) {
    auto bytes = device.withUSBDevice(
        [](const USBHostDevice& service, int productID) -> std::optional<QByteArray> {
            if (productID != Nano5Playlist::productID)
                return std::nullopt;
            return IPodProbe::copySysInfoExtendedOverUSB(service);
        });
    return bytes ? *bytes : std::nullopt;
}

IPodTransfer::ImportTarget importTarget(const IPodDevice& device) {
    IPodTransfer::ImportTarget target;
    target.mountPoint = device.mountPoint;
    target.verifyIdentity = [device] {
        try {
            device.verifyIdentity();
        } catch (const IPodDeviceError&) {
            throw ImportError::disconnected();
        }
    };
    target.openDatabase = [device] {
        try {
            return device.openDatabase();
        } catch (const IPodDeviceError&) {
            throw ImportError::disconnected();
        }
    };
    target.nano5SysInfoExtended = [device]() -> std::optional<QByteArray> {
        try {
            return readNano5SysInfoExtended(device);
        } catch (const IPodDeviceError&) {
            throw ImportError::disconnected();
        }
    };
    return target;
}
