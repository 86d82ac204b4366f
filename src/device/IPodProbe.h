#pragma once

// Stateless probes that talk to an iPod's USB device below the mass-storage layer: vendor
// control requests over usbfs and SCSI INQUIRY pages over SG_IO. They never throw and never
// return partial data; every request is bounded by its time-out.

#include "device/USBHostDevice.h"
#include "platform/OwnedFd.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <functional>
#include <optional>

namespace IPodProbe {

inline constexpr int usbTimeoutMs = 2000;
inline constexpr int scsiTimeoutMs = 1000;
inline constexpr int sysInfoPageBytes = 4096;
inline constexpr int sysInfoMaxPages = 32;
inline constexpr int vpdAllocationLength = 252;

// An open device node, closed when the handle goes.
using DeviceHandle = OwnedFd;

// The usbfs node of the device, opened without claiming any interface (usb-storage keeps it).
std::optional<DeviceHandle> openUSBDeviceInterface(const USBHostDevice& service);

// One vendor request (0xC0, 0x40) with wIndex 0 and wLength 2; the value only when exactly two
// bytes came back, in host byte order.
std::optional<quint16> usbVendorRequest(const DeviceHandle& device, quint16 wValue);

// The battery word: request 0 must answer a non-zero value before request 1 is sent.
std::optional<quint16> readUSBVendorValue(const USBHostDevice& service);

// SysInfoExtended read in 4096-byte pages (request 2, wIndex = page).
std::optional<QByteArray> copySysInfoExtendedOverUSB(const USBHostDevice& service);

// One INQUIRY of a vital-product-data page into buffer; the page length, 0 on any failure.
int inquiryVPDPage(const DeviceHandle& device, quint8 page,
                   std::array<quint8, vpdAllocationLength>& buffer);

// Serial page (0x80) payload, or the concatenated SysInfoExtended pages listed by page 0xC0.
std::optional<QByteArray> copyVPDPages(const USBHostDevice& service, bool sysInfoExtended);
std::optional<QString> copySCSISerialNumber(const USBHostDevice& service);
std::optional<QByteArray> copySysInfoExtendedOverSCSI(const USBHostDevice& service);

// The byte rules of the probes, apart from the system calls that carry them.

// One page request: the bytes the device sent (at most what was asked for is expected), or
// none when the request failed.
using PageRequest = std::function<std::optional<QByteArray>(quint16 pageIndex)>;
// Gathers pages until a short one; none on a failed or oversized page or a 32nd full page.
std::optional<QByteArray> gatherSysInfoExtendedPages(const PageRequest& request);

// The page length of an INQUIRY answer of count bytes, 0 when it is not a valid answer for
// page.
int vpdPageLength(quint8 page, const quint8* data, int count);

// One page read: the payload, or none when the page could not be read.
using VPDRequest = std::function<std::optional<QByteArray>(quint8 page)>;
std::optional<QByteArray> gatherVPDPages(const VPDRequest& request, bool sysInfoExtended);

// Trailing NUL bytes and spaces removed, read as ASCII; none when nothing is left.
std::optional<QString> serialNumberFromVPD(const QByteArray& payload);

} // namespace IPodProbe
