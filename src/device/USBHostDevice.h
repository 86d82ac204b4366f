#pragma once

// A USB device as udev and sysfs show it: what the probes and the scan talk to in place of a
// registry object. Copies share one udev reference.

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <sys/types.h>
#include <vector>

struct udev;
struct udev_device;

class USBHostDevice {
public:
    // The nearest usb_device at or above the block device with this number; none for a block
    // device that no USB device carries (a loop device, a card reader on another bus).
    static std::optional<USBHostDevice> forBlockDevice(dev_t device);
    // Every USB device (not interfaces) that udev lists, in its order.
    static std::vector<USBHostDevice> all();
    // The attached device whose registry entry ID is this one.
    static std::optional<USBHostDevice> withRegistryEntryID(quint64 registryEntryID);

    QString sysPath() const;
    // The usbfs node (/dev/bus/usb/BBB/DDD); empty when udev names none.
    QString devNode() const;
    // A sysfs attribute with surrounding white space removed; none when it is missing.
    std::optional<QString> attribute(const char* name) const;
    // A sysfs attribute written in hexadecimal (idVendor, idProduct).
    std::optional<int> hexAttribute(const char* name) const;

    // A 64-bit key that stays the same while the device stays attached and changes when it is
    // plugged in again: bus number, device address (which the kernel advances on every
    // enumeration) and a hash of the port path.
    std::optional<quint64> registryEntryID() const;

    // The nodes through which SCSI commands reach the device's storage: generic SCSI nodes
    // first, then whole-disk block nodes.
    std::vector<QString> scsiDeviceNodes() const;

private:
    USBHostDevice(std::shared_ptr<udev> context, udev_device* device);
    std::shared_ptr<udev> context;
    std::shared_ptr<udev_device> device;
};
