#include "device/USBHostDevice.h"

#include <libudev.h>

#include <QByteArray>

namespace {

std::shared_ptr<udev> newContext() {
    udev* context = udev_new();
    if (!context)
        return nullptr;
    return std::shared_ptr<udev>(context, udev_unref);
}

struct EnumerateDeleter {
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
};
using EnumeratePtr = std::unique_ptr<udev_enumerate, EnumerateDeleter>;

struct DeviceDeleter {
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
using DevicePtr = std::unique_ptr<udev_device, DeviceDeleter>;

bool isUSBDevice(udev_device* device) {
    const char* subsystem = udev_device_get_subsystem(device);
    const char* type = udev_device_get_devtype(device);
    return subsystem && type && qstrcmp(subsystem, "usb") == 0 && qstrcmp(type, "usb_device") == 0;
}

std::optional<quint64> parseDecimal(const std::optional<QString>& text) {
    if (!text)
        return std::nullopt;
    bool ok = false;
    const quint64 value = text->toULongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

} // namespace

USBHostDevice::USBHostDevice(std::shared_ptr<udev> context, udev_device* device)
    : context(std::move(context))
    , device(device, udev_device_unref) {
}

std::optional<USBHostDevice> USBHostDevice::forBlockDevice(dev_t number) {
    auto context = newContext();
    if (!context)
        return std::nullopt;
    DevicePtr block(udev_device_new_from_devnum(context.get(), 'b', number));
    if (!block)
        return std::nullopt;
    // The search stops at the first USB device, whatever its vendor.
    udev_device* parent =
        udev_device_get_parent_with_subsystem_devtype(block.get(), "usb", "usb_device");
    if (!parent)
        return std::nullopt;
    // The parent belongs to the child; keep it alive on its own.
    return USBHostDevice(context, udev_device_ref(parent));
}

std::vector<USBHostDevice> USBHostDevice::all() {
    std::vector<USBHostDevice> devices;
    auto context = newContext();
    if (!context)
        return devices;
    EnumeratePtr enumerate(udev_enumerate_new(context.get()));
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "usb") < 0 ||
        udev_enumerate_add_match_property(enumerate.get(), "DEVTYPE", "usb_device") < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0)
        return devices;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        udev_device* device =
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry));
        if (!device)
            continue;
        if (!isUSBDevice(device)) {
            udev_device_unref(device);
            continue;
        }
        devices.push_back(USBHostDevice(context, device));
    }
    return devices;
}

std::optional<USBHostDevice> USBHostDevice::withRegistryEntryID(quint64 registryEntryID) {
    for (USBHostDevice& device : all()) {
        if (device.registryEntryID() == registryEntryID)
            return std::move(device);
    }
    return std::nullopt;
}

QString USBHostDevice::sysPath() const {
    return QString::fromLocal8Bit(udev_device_get_syspath(device.get()));
}

QString USBHostDevice::devNode() const {
    const char* node = udev_device_get_devnode(device.get());
    return node ? QString::fromLocal8Bit(node) : QString();
}

std::optional<QString> USBHostDevice::attribute(const char* name) const {
    const char* value = udev_device_get_sysattr_value(device.get(), name);
    if (!value)
        return std::nullopt;
    return QString::fromLocal8Bit(value).trimmed();
}

std::optional<int> USBHostDevice::hexAttribute(const char* name) const {
    const auto text = attribute(name);
    if (!text || text->isEmpty() || text->size() > 4)
        return std::nullopt;
    bool ok = false;
    const int value = text->toInt(&ok, 16);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<quint64> USBHostDevice::registryEntryID() const {
    const auto bus = parseDecimal(attribute("busnum"));
    const auto address = parseDecimal(attribute("devnum"));
    if (!bus || !address || *bus > 0xFFFF || *address > 0xFFFF)
        return std::nullopt;
    // FNV-1a over the port path ("1.4.2"); the root hub has none.
    quint32 hash = 2166136261u;
    const QByteArray ports = attribute("devpath").value_or(QString()).toLatin1();
    for (const char c : ports) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return (*bus << 48) | (*address << 32) | hash;
}

std::vector<QString> USBHostDevice::scsiDeviceNodes() const {
    std::vector<QString> generic;
    std::vector<QString> disks;
    EnumeratePtr enumerate(udev_enumerate_new(context.get()));
    if (!enumerate || udev_enumerate_add_match_parent(enumerate.get(), device.get()) < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0)
        return {};
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        DevicePtr child(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!child)
            continue;
        const char* subsystem = udev_device_get_subsystem(child.get());
        const char* type = udev_device_get_devtype(child.get());
        const char* node = udev_device_get_devnode(child.get());
        if (!subsystem || !node)
            continue;
        if (qstrcmp(subsystem, "scsi_generic") == 0)
            generic.push_back(QString::fromLocal8Bit(node));
        else if (qstrcmp(subsystem, "block") == 0 && type && qstrcmp(type, "disk") == 0)
            disks.push_back(QString::fromLocal8Bit(node));
    }
    generic.insert(generic.end(), disks.begin(), disks.end());
    return generic;
}
