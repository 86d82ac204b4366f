#include "FakeUSBTestbed.h"

#include "device/USBHostDevice.h"
#include "device/USBIPodScan.h"

#include <gtest/gtest.h>

#include <QDir>

#include <map>
#include <set>

using USBIPodScan::finderDeviceURLForSerial;

TEST(USBIPodScan, BuildsTheDevicePageLinkFromAHexadecimalSerial) {
    EXPECT_EQ(finderDeviceURLForSerial(QStringLiteral("000A27001A2B3C4D")),
              QUrl(QStringLiteral("x-finder-iTunes:000A27001A2B3C4D")));
    EXPECT_EQ(finderDeviceURLForSerial(QStringLiteral("+1f")),
              QUrl(QStringLiteral("x-finder-iTunes:000A27000200001F")));
    EXPECT_EQ(finderDeviceURLForSerial(QStringLiteral("000A270010203040")),
              QUrl(QStringLiteral("x-finder-iTunes:000A270012203040")));
    EXPECT_EQ(finderDeviceURLForSerial(QStringLiteral("FFFFFFFFFFFFFFFF")),
              QUrl(QStringLiteral("x-finder-iTunes:FFFFFFFFFFFFFFFF")));
    for (const char* bad : {"0", "0000", "", "+", "++1", "12G4", " 12", "-1", "10000000000000000"})
        EXPECT_FALSE(finderDeviceURLForSerial(QString::fromLatin1(bad))) << bad;
}

TEST(USBIPodScan, FindsNothingWhereThereIsNoUSBBus) {
    if (QDir(QStringLiteral("/sys/bus/usb/devices")).exists())
        GTEST_SKIP() << "this machine has a USB bus";
    EXPECT_TRUE(USBIPodScan::scanUSBIPods().empty());
    EXPECT_FALSE(USBIPodScan::finderDeviceURL(0));
}

TEST(USBIPodScanFakeUSB, ListsHandledAppleiPodsByAStableEntryID) {
    if (!runsInFakeUSBEnvironment())
        return;
    FakeUSBTestbed bed;
    int address = 2;
    const auto add = [&](int vendor, int product, const QString& port) {
        FakeUSBTestbed::USBDeviceSpec spec;
        spec.name = QStringLiteral("1-") + port;
        spec.vendorID = vendor;
        spec.productID = product;
        spec.deviceNumber = address++;
        spec.portPath = port;
        return bed.addUSBDevice(spec);
    };
    const QString classic = add(0x05AC, 0x1261, QStringLiteral("1"));
    add(0x05AC, 0x1201, QStringLiteral("2"));
    add(0x05AC, 0x1209, QStringLiteral("3"));
    add(0x05AC, 0x1205, QStringLiteral("4")); // not a handled product
    add(0x05AC, 0x12A8, QStringLiteral("5")); // an iPhone
    add(0x0BDA, 0x1261, QStringLiteral("6")); // another vendor with an iPod's product ID

    const auto scan = USBIPodScan::scanUSBIPods();
    std::multiset<int> products;
    for (const auto& [id, product] : scan)
        products.insert(product);
    EXPECT_EQ(products, (std::multiset<int>{0x1201, 0x1209, 0x1261}));
    EXPECT_EQ(USBIPodScan::scanUSBIPods(), scan);

    // Plugged in again, the same iPod gets a new address and so a new key.
    quint64 before = 0;
    for (const auto& [id, product] : scan)
        if (product == 0x1261)
            before = id;
    bed.removeDevice(classic);
    EXPECT_EQ(USBIPodScan::scanUSBIPods().size(), 2u);
    add(0x05AC, 0x1261, QStringLiteral("1"));
    const auto after = USBIPodScan::scanUSBIPods();
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after.count(before), 0u);
}

TEST(USBIPodScanFakeUSB, LinksOnlyASecondGenerationShuffleWithAUsableSerial) {
    if (!runsInFakeUSBEnvironment())
        return;
    FakeUSBTestbed bed;
    const auto add = [&](int product, const QString& serial, int address) {
        FakeUSBTestbed::USBDeviceSpec spec;
        spec.name = QStringLiteral("1-%1").arg(address);
        spec.productID = product;
        spec.serial = serial;
        spec.deviceNumber = address;
        spec.portPath = QString::number(address);
        bed.addUSBDevice(spec);
    };
    add(0x1301, QStringLiteral("000A2700113CB8F7"), 2);
    add(0x1301, QStringLiteral("0"), 3);
    add(0x1301, QStringLiteral("XYZ"), 4);
    add(0x1302, QStringLiteral("000A2700113CB8F7"), 5);

    std::map<int, std::optional<QUrl>> links;
    for (const USBHostDevice& device : USBHostDevice::all())
        links[device.attribute("devnum")->toInt()] =
            USBIPodScan::finderDeviceURL(*device.registryEntryID());
    ASSERT_EQ(links.size(), 4u);
    EXPECT_EQ(links[2], QUrl(QStringLiteral("x-finder-iTunes:000A2700133CB8F7")));
    EXPECT_FALSE(links[3]);
    EXPECT_FALSE(links[4]);
    EXPECT_FALSE(links[5]);
}
