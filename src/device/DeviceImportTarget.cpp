#include "device/DeviceImportTarget.h"

#include "device/IPodProbe.h"
#include "library/IPodDatabase.h"
#include "library/Nano5Playlist.h"

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
    target.verifyIdentity = [device] { device.verifyIdentity(); };
    target.openDatabase = [device] { return device.openDatabase(); };
    target.nano5SysInfoExtended = [device] { return readNano5SysInfoExtended(device); };
    return target;
}
