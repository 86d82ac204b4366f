#pragma once

// A fake USB iPod in sysfs and udev (umockdev), with scripted answers to the usbfs control
// requests and SG_IO INQUIRY commands the probes send. A test that uses it runs in a child
// process started under umockdev's preload library (see runsInFakeUSBEnvironment).

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

struct FakeControlRequest {
    uint8_t requestType = 0;
    uint8_t request = 0;
    uint16_t value = 0;
    uint16_t index = 0;
    uint16_t length = 0;
};

// What the device answers: the bytes sent and the ioctl result; errorNumber set means the
// ioctl fails with it (EPIPE for a stall, ETIMEDOUT for a time-out).
struct FakeReply {
    QByteArray data;
    int errorNumber = 0;
    // The count the ioctl reports when it differs from data.size() (an oversized answer).
    std::optional<int> reportedCount;
};

inline FakeReply replyWith(QByteArray data) {
    FakeReply reply;
    reply.data = std::move(data);
    return reply;
}

inline FakeReply replyFailing(int errorNumber) {
    FakeReply reply;
    reply.errorNumber = errorNumber;
    return reply;
}

struct FakeInquiry {
    uint8_t cdb[6] = {};
    unsigned allocationLength = 0;
};

struct FakeSCSIReply {
    QByteArray data;     // the bytes transferred
    int status = 0;      // SCSI status (0x02 = CHECK CONDITION)
    int errorNumber = 0; // the ioctl itself fails
};

class FakeUSBTestbed {
public:
    FakeUSBTestbed();
    ~FakeUSBTestbed();
    FakeUSBTestbed(const FakeUSBTestbed&) = delete;
    FakeUSBTestbed& operator=(const FakeUSBTestbed&) = delete;

    struct USBDeviceSpec {
        QString name = QStringLiteral("1-1");
        QString parent; // syspath of a parent device, empty for a top-level one
        int vendorID = 0x05AC;
        int productID = 0x1261;
        int busNumber = 1;
        int deviceNumber = 2;
        QString portPath = QStringLiteral("1");
        QString serial;
    };
    // Returns the syspath; the usbfs node is /dev/bus/usb/BBB/DDD.
    QString addUSBDevice(const USBDeviceSpec& spec);
    // A whole-disk block device below parent with this device number ("7:0") and node.
    QString addBlockDevice(const QString& parent, const QString& name, const QString& number);
    // A generic SCSI node below parent.
    QString addSCSIGeneric(const QString& parent, const QString& name, const QString& number);
    void removeDevice(const QString& syspath);

    static QString usbNode(int busNumber, int deviceNumber);

    using ControlHandler = std::function<FakeReply(const FakeControlRequest&)>;
    using InquiryHandler = std::function<FakeSCSIReply(const FakeInquiry&)>;
    void answerControlRequests(const QString& node, ControlHandler handler);
    void answerInquiries(const QString& node, InquiryHandler handler);

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

// True when the calling test should go on in this process (it is the child under umockdev).
// Otherwise the test is run again in a child under umockdev-wrapper, its outcome is reported
// here, and the caller returns. Skips when umockdev is not installed.
bool runsInFakeUSBEnvironment();
