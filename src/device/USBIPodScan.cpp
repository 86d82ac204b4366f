#include "device/USBIPodScan.h"

#include "device/DeviceProducts.h"
#include "device/IPodDevice.h"
#include "device/USBHostDevice.h"

namespace USBIPodScan {

std::map<quint64, int> scanUSBIPods() {
    std::map<quint64, int> found;
    for (const USBHostDevice& device : USBHostDevice::all()) {
        const auto productID = usbVendorProductID(device);
        if (!productID || !DeviceProducts::isIPodUSBProductID(*productID))
            continue;
        const auto entry = device.registryEntryID();
        if (!entry)
            continue;
        found[*entry] = *productID;
    }
    return found;
}

std::optional<QUrl> finderDeviceURLForSerial(const QString& serialNumber) {
    QStringView digits(serialNumber);
    if (digits.startsWith(u'+'))
        digits = digits.mid(1);
    if (digits.isEmpty())
        return std::nullopt;
    quint64 value = 0;
    for (const QChar c : digits) {
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c.unicode() - u'0';
        else if (c >= u'A' && c <= u'F')
            digit = c.unicode() - u'A' + 10;
        else if (c >= u'a' && c <= u'f')
            digit = c.unicode() - u'a' + 10;
        if (digit < 0 || value > (~quint64(0) >> 4))
            return std::nullopt;
        value = (value << 4) | static_cast<quint64>(digit);
    }
    if (value == 0)
        return std::nullopt;
    const quint64 link = value | 0x000A270002000000ULL;
    return QUrl(QStringLiteral("x-finder-iTunes:") +
                QStringLiteral("%1").arg(link, 16, 16, QLatin1Char('0')).toUpper());
}

std::optional<QUrl> finderDeviceURL(quint64 registryEntryID) {
    const auto device = USBHostDevice::withRegistryEntryID(registryEntryID);
    if (!device || usbVendorProductID(*device) != DeviceProducts::shuffle2)
        return std::nullopt;
    const auto serial = device->attribute("serial");
    if (!serial)
        return std::nullopt;
    return finderDeviceURLForSerial(*serial);
}

} // namespace USBIPodScan
