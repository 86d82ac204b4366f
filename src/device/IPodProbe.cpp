#include "device/IPodProbe.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace IPodProbe {

namespace {

constexpr quint8 vendorRequestType = 0xC0; // device to host, vendor, device recipient
constexpr quint8 vendorRequest = 0x40;
constexpr quint8 serialPage = 0x80;
constexpr quint8 sysInfoListPage = 0xC0;

std::optional<DeviceHandle> openNode(const QString& path, int flags) {
    if (path.isEmpty())
        return std::nullopt;
    int fd = -1;
    do {
        fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return std::nullopt;
    return DeviceHandle(fd);
}

// One control transfer into buffer; the bytes done, or -1.
int controlRequest(const DeviceHandle& device, quint16 wValue, quint16 wIndex, quint8* buffer,
                   quint16 length) {
    usbdevfs_ctrltransfer transfer{};
    transfer.bRequestType = vendorRequestType;
    transfer.bRequest = vendorRequest;
    transfer.wValue = wValue;
    transfer.wIndex = wIndex;
    transfer.wLength = length;
    transfer.timeout = usbTimeoutMs;
    transfer.data = buffer;
    int done = -1;
    do {
        done = ::ioctl(device.get(), USBDEVFS_CONTROL, &transfer);
    } while (done < 0 && errno == EINTR);
    return done;
}

std::optional<DeviceHandle> openSCSIDevice(const USBHostDevice& service) {
    for (const QString& node : service.scsiDeviceNodes()) {
        // INQUIRY needs no write access; O_NONBLOCK keeps the open from waiting on a medium.
        if (auto handle = openNode(node, O_RDONLY | O_NONBLOCK))
            return handle;
    }
    return std::nullopt;
}

} // namespace

std::optional<DeviceHandle> openUSBDeviceInterface(const USBHostDevice& service) {
    return openNode(service.devNode(), O_RDWR);
}

std::optional<quint16> usbVendorRequest(const DeviceHandle& device, quint16 wValue) {
    quint8 buffer[2] = {0, 0};
    if (controlRequest(device, wValue, 0, buffer, sizeof buffer) != 2)
        return std::nullopt;
    quint16 value = 0;
    std::memcpy(&value, buffer, sizeof value);
    return value;
}

std::optional<quint16> readUSBVendorValue(const USBHostDevice& service) {
    const auto device = openUSBDeviceInterface(service);
    if (!device)
        return std::nullopt;
    const auto first = usbVendorRequest(*device, 0);
    if (!first || *first == 0)
        return std::nullopt;
    return usbVendorRequest(*device, 1);
}

std::optional<QByteArray> gatherSysInfoExtendedPages(const PageRequest& request) {
    QByteArray plist;
    for (int index = 0; index < sysInfoMaxPages; ++index) {
        const auto page = request(static_cast<quint16>(index));
        if (!page || page->size() > sysInfoPageBytes)
            return std::nullopt;
        plist.append(*page);
        if (page->size() < sysInfoPageBytes)
            return plist;
    }
    // 32 full pages: the property list does not fit, and a truncated one is worse than none.
    return std::nullopt;
}

std::optional<QByteArray> copySysInfoExtendedOverUSB(const USBHostDevice& service) {
    const auto device = openUSBDeviceInterface(service);
    if (!device)
        return std::nullopt;
    return gatherSysInfoExtendedPages([&](quint16 index) -> std::optional<QByteArray> {
        QByteArray page(sysInfoPageBytes, '\0');
        const int done = controlRequest(*device, 2, index, reinterpret_cast<quint8*>(page.data()),
                                        sysInfoPageBytes);
        if (done < 0)
            return std::nullopt;
        if (done > sysInfoPageBytes)
            return QByteArray(sysInfoPageBytes + 1, '\0'); // rejected by the gatherer
        page.truncate(done);
        return page;
    });
}

int vpdPageLength(quint8 page, const quint8* data, int count) {
    if (count < 4 || count > vpdAllocationLength)
        return 0;
    if (data[1] != page)
        return 0;
    const int length = (data[2] << 8) | data[3];
    if (length > count - 4)
        return 0;
    return length;
}

int inquiryVPDPage(const DeviceHandle& device, quint8 page,
                   std::array<quint8, vpdAllocationLength>& buffer) {
    quint8 cdb[6] = {0x12, 0x01, page, 0x00, vpdAllocationLength, 0x00};
    quint8 data[256] = {};
    quint8 sense[32] = {};
    sg_io_hdr_t header{};
    header.interface_id = 'S';
    header.dxfer_direction = SG_DXFER_FROM_DEV;
    header.cmd_len = sizeof cdb;
    header.mx_sb_len = sizeof sense;
    header.dxfer_len = vpdAllocationLength;
    header.dxferp = data;
    header.cmdp = cdb;
    header.sbp = sense;
    header.timeout = scsiTimeoutMs;
    int result = -1;
    do {
        result = ::ioctl(device.get(), SG_IO, &header);
    } while (result < 0 && errno == EINTR);
    if (result < 0)
        return 0;
    // GOOD: no SCSI status, no transport or driver error (a sense flag alone is harmless).
    constexpr unsigned driverSense = 0x08;
    if (header.status != 0 || header.host_status != 0 || (header.driver_status & ~driverSense) != 0)
        return 0;
    if (header.resid < 0 || header.resid > vpdAllocationLength)
        return 0;
    const int count = vpdAllocationLength - header.resid;
    const int length = vpdPageLength(page, data, count);
    if (length == 0)
        return 0;
    std::memcpy(buffer.data(), data, buffer.size());
    return length;
}

std::optional<QByteArray> gatherVPDPages(const VPDRequest& request, bool sysInfoExtended) {
    if (!sysInfoExtended)
        return request(serialPage);
    const auto list = request(sysInfoListPage);
    if (!list)
        return std::nullopt;
    QByteArray plist;
    for (const char code : *list) {
        if (code == 0)
            break;
        const auto page = request(static_cast<quint8>(code));
        if (!page)
            return std::nullopt;
        plist.append(*page);
    }
    return plist;
}

std::optional<QByteArray> copyVPDPages(const USBHostDevice& service, bool sysInfoExtended) {
    const auto device = openSCSIDevice(service);
    if (!device)
        return std::nullopt;
    return gatherVPDPages(
        [&](quint8 page) -> std::optional<QByteArray> {
            std::array<quint8, vpdAllocationLength> buffer{};
            const int length = inquiryVPDPage(*device, page, buffer);
            if (length == 0)
                return std::nullopt;
            return QByteArray(reinterpret_cast<const char*>(buffer.data()) + 4, length);
        },
        sysInfoExtended);
}

std::optional<QString> serialNumberFromVPD(const QByteArray& payload) {
    qsizetype end = payload.size();
    while (end > 0 && (payload[end - 1] == '\0' || payload[end - 1] == ' '))
        --end;
    if (end == 0)
        return std::nullopt;
    const QByteArray text = payload.left(end);
    for (const char c : text) {
        if (static_cast<unsigned char>(c) > 0x7F)
            return std::nullopt;
    }
    return QString::fromLatin1(text);
}

std::optional<QString> copySCSISerialNumber(const USBHostDevice& service) {
    const auto payload = copyVPDPages(service, false);
    if (!payload)
        return std::nullopt;
    return serialNumberFromVPD(*payload);
}

std::optional<QByteArray> copySysInfoExtendedOverSCSI(const USBHostDevice& service) {
    return copyVPDPages(service, true);
}

} // namespace IPodProbe
