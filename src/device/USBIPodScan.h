#pragma once

// The iPods present on USB, mounted or not, and the device-page link of a second-generation
// shuffle.

#include <QString>
#include <QUrl>

#include <map>
#include <optional>

namespace USBIPodScan {

// Registry entry ID -> USB product ID of every attached Apple device that is a handled iPod.
std::map<quint64, int> scanUSBIPods();

// The "x-finder-iTunes:" link of the second-generation shuffle with this registry entry ID.
// Linux has no handler for the scheme, so nothing offers to open it; the builder is kept for
// the day one exists.
std::optional<QUrl> finderDeviceURL(quint64 registryEntryID);

// The link for a USB serial number: the whole text as a hexadecimal 64-bit number (one leading
// "+" allowed), not 0.
std::optional<QUrl> finderDeviceURLForSerial(const QString& serialNumber);

} // namespace USBIPodScan
