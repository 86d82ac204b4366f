#include "FakeUSBTestbed.h"

#include "device/IPodProbe.h"
#include "device/USBHostDevice.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(IPodProbeFakeUSB, ReadsBatteryWord) {
    if (!runsInFakeUSBEnvironment())
        return;
    FakeUSBTestbed bed;
    FakeUSBTestbed::USBDeviceSpec spec;
    spec.productID = 0x1303;
    const QString usb = bed.addUSBDevice(spec);
    bed.answerControlRequests(FakeUSBTestbed::usbNode(1, 2), [](const FakeControlRequest& r) {
        FakeReply reply;
        if (r.value == 0)
            reply.data = QByteArray("\x01\x00", 2);
        else
            reply.data = QByteArray("\x85\x64", 2);
        return reply;
    });
    const auto devices = USBHostDevice::all();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].hexAttribute("idProduct"), 0x1303);
    fprintf(stderr, "node %s\n", qPrintable(devices[0].devNode()));
    auto h = IPodProbe::openUSBDeviceInterface(devices[0]);
    fprintf(stderr, "open %d errno %d\n", h ? h->get() : -1, errno);
    if (h) { auto v = IPodProbe::usbVendorRequest(*h, 0); fprintf(stderr, "req %d errno %d\n", v ? *v : -1, errno); }
    const auto word = IPodProbe::readUSBVendorValue(devices[0]);
    ASSERT_TRUE(word);
    EXPECT_EQ(*word, 0x6485);
}
