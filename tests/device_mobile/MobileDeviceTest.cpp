// Listing and the media-library road against our own usbmuxd on a private socket, through the
// real libusbmuxd, libimobiledevice and libplist.

#include "device/MobileDevice.h"

#include "FakeUsbmuxd.h"
#include "MediaLibraryFixture.h"
#include "device/MobileDeviceProbe.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>

namespace {

using Device = FakeUsbmuxd::Device;

class MobileDeviceListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(work.isValid());
        savedAddress = qgetenv("USBMUXD_SOCKET_ADDRESS");
        savedTemp = qgetenv("TMPDIR");
        temp = work.path() + QStringLiteral("/tmp");
        ASSERT_TRUE(QDir().mkpath(temp));
        qputenv("TMPDIR", QFile::encodeName(temp));
    }
    void TearDown() override {
        daemon.reset();
        qputenv("USBMUXD_SOCKET_ADDRESS", savedAddress);
        qputenv("TMPDIR", savedTemp);
    }

    FakeUsbmuxd& startDaemon() {
        daemon = std::make_unique<FakeUsbmuxd>(work.path() + QStringLiteral("/usbmuxd"));
        return *daemon;
    }

    bool logged(const std::string& line) const {
        const auto all = daemon->requests();
        return std::find(all.begin(), all.end(), line) != all.end();
    }
    bool loggedStartingWith(const std::string& prefix) const {
        const auto all = daemon->requests();
        return std::any_of(all.begin(), all.end(),
                           [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
    }

    QTemporaryDir work;
    QString temp;
    std::unique_ptr<FakeUsbmuxd> daemon;
    QByteArray savedAddress;
    QByteArray savedTemp;
};

Device touch(const char* udid, const char* productType) {
    Device device;
    device.udid = udid;
    if (productType)
        device.set("ProductType", plist_new_string(productType));
    device.set("ProductVersion", plist_new_string("15.7"));
    return device;
}

const MobileDevice* byID(const QList<MobileDevice>& devices, const char* id) {
    for (const auto& device : devices) {
        if (device.id == QLatin1String(id))
            return &device;
    }
    return nullptr;
}

} // namespace

TEST_F(MobileDeviceListTest, NoDaemonGivesNothingQuietly) {
    qputenv("USBMUXD_SOCKET_ADDRESS",
            "UNIX:" + QFile::encodeName(work.path() + QStringLiteral("/no-such-socket")));
    EXPECT_FALSE(MobileDeviceProbe::copyMobileDeviceList());
    EXPECT_FALSE(MobileDevice::connectedDevices());

    const auto device = MobileDevice::make("0000", "iPod9,1", {}, {}, {});
    ASSERT_TRUE(device);
    EXPECT_FALSE(device->loadSongs());
    EXPECT_TRUE(QDir(temp).isEmpty());
}

TEST_F(MobileDeviceListTest, DaemonWithoutDevicesGivesAnEmptyList) {
    startDaemon();
    const auto devices = MobileDevice::connectedDevices();
    ASSERT_TRUE(devices);
    EXPECT_TRUE(devices->isEmpty());
}

TEST_F(MobileDeviceListTest, ListsNamesFamiliesAndDetailsOfPairedDevicesOnly) {
    FakeUsbmuxd& usbmuxd = startDaemon();

    Device paired = touch("PAIRED", "iPod9,1");
    paired.pairRecordHostID = "HOST-1";
    paired.set("DeviceName", plist_new_string("iPod 10"))
        .set("MarketingName", plist_new_string("iPod touch"))
        .set("InternationalMobileEquipmentIdentity", plist_new_string("490154203237518"))
        .set("IntegratedCircuitCardIdentity", plist_new_string(""))
        .set("com.apple.disk_usage", "TotalDataCapacity", plist_new_uint(31989469184ULL))
        .set("com.apple.disk_usage", "TotalDataAvailable", plist_new_uint(12000000000ULL))
        .set("com.apple.mobile.battery", "BatteryCurrentCapacity", plist_new_uint(87))
        .set("com.apple.mobile.battery", "BatteryIsCharging", plist_new_bool(1))
        .set("com.apple.mobile.battery", "FullyCharged", plist_new_bool(0));
    usbmuxd.addDevice(std::move(paired));

    // Identity and names only: there is no pair record to start a session with.
    Device unpaired = touch("UNPAIRED", "iPod7,1");
    unpaired.set("DeviceName", plist_new_string("iPod 2"))
        .set("com.apple.mobile.battery", "BatteryCurrentCapacity", plist_new_uint(50));
    usbmuxd.addDevice(std::move(unpaired));

    // A pair record without a HostID does not start a session either.
    Device noHost = touch("NOHOST", "iPad4,2");
    noHost.pairRecordHostID = "";
    noHost.set("DeviceName", plist_new_string("iPod 2"));
    usbmuxd.addDevice(std::move(noHost));

    // Numbers of the wrong type or range and an empty name are left out.
    Device odd = touch("ODD", "iPhone14,2");
    odd.pairRecordHostID = "HOST-2";
    odd.set("DeviceName", plist_new_string(""))
        .set("MarketingName", plist_new_string("iPhone 13 Pro"))
        .set("com.apple.disk_usage", "TotalDataCapacity", plist_new_uint(~0ULL))
        .set("com.apple.disk_usage", "TotalDataAvailable", plist_new_string("12"))
        .set("com.apple.mobile.battery", "BatteryCurrentCapacity", plist_new_real(87.5))
        .set("com.apple.mobile.battery", "BatteryIsCharging", plist_new_uint(1));
    usbmuxd.addDevice(std::move(odd));

    usbmuxd.addDevice(touch("BARE", "iPod5,1"));
    usbmuxd.addDevice(touch("WATCH", "Watch6,1"));
    usbmuxd.addDevice(touch("NOTYPE", nullptr));

    const auto devices = MobileDevice::connectedDevices();
    ASSERT_TRUE(devices);
    QStringList order;
    for (const auto& device : *devices)
        order << device.name + u'/' + device.id;
    EXPECT_EQ(order, (QStringList{"iPhone 13 Pro/ODD", "iPod 2/NOHOST", "iPod 2/UNPAIRED",
                                  "iPod 10/PAIRED", "iPod touch/BARE"}));

    const MobileDevice* first = byID(*devices, "PAIRED");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->family, MobileDevice::Family::touch);
    EXPECT_EQ(first->productType, QStringLiteral("iPod9,1"));
    EXPECT_EQ(first->marketingName, QStringLiteral("iPod touch"));
    EXPECT_EQ(first->displayName(AppLanguage::english),
              QStringLiteral("iPod touch (7th generation)"));
    ASSERT_TRUE(first->details);
    EXPECT_EQ(first->details->capacity, 31989469184LL);
    EXPECT_EQ(first->details->available, 12000000000LL);
    EXPECT_EQ(first->details->batteryPercent, 87);
    EXPECT_EQ(first->details->charging, true);
    EXPECT_EQ(first->details->fullyCharged, false);
    EXPECT_EQ(first->details->imei, QStringLiteral("490154203237518"));
    EXPECT_FALSE(first->details->iccid);
    EXPECT_TRUE(logged("PAIRED StartSession HOST-1"));

    for (const char* id : {"UNPAIRED", "NOHOST", "BARE"}) {
        SCOPED_TRACE(id);
        const MobileDevice* device = byID(*devices, id);
        ASSERT_TRUE(device);
        EXPECT_EQ(device->details, MobileDevice::Details{});
        EXPECT_FALSE(loggedStartingWith(std::string(id) + " StartSession"));
        EXPECT_FALSE(loggedStartingWith(std::string(id) + " GetValue com.apple"));
        EXPECT_FALSE(loggedStartingWith(std::string(id) + " GetValue /International"));
    }
    EXPECT_EQ(byID(*devices, "NOHOST")->family, MobileDevice::Family::pad);
    EXPECT_EQ(byID(*devices, "NOHOST")->displayName(AppLanguage::english),
              QStringLiteral("iPad Air (1st generation)"));
    EXPECT_EQ(byID(*devices, "BARE")->displayName(AppLanguage::english),
              QStringLiteral("iPod touch (5th generation)"));

    const MobileDevice* phone = byID(*devices, "ODD");
    ASSERT_TRUE(phone && phone->details);
    EXPECT_EQ(phone->family, MobileDevice::Family::phone);
    EXPECT_EQ(phone->displayName(AppLanguage::english), QStringLiteral("iPhone 13 Pro"));
    EXPECT_EQ(phone->symbolName(), QStringLiteral("iphone"));
    EXPECT_EQ(phone->details, MobileDevice::Details{});
}

TEST_F(MobileDeviceListTest, LoadsSongsOverAFCOnlyFromAPairedDevice) {
    FakeUsbmuxd& usbmuxd = startDaemon();
    const QString library = work.path() + QStringLiteral("/library");
    MediaLibraryFixture::writeDeviceLibrary(
        library, {MediaLibraryFixture::Row{.itemPid = 5, .title = "Song", .location = "a.mp3"}},
        {MediaLibraryFixture::Row{.itemPid = 6, .title = "Later", .location = "b.m4a"}}, 100);

    Device paired = touch("PAIRED", "iPod9,1");
    paired.pairRecordHostID = "HOST-1";
    paired.afcRoot = library;
    usbmuxd.addDevice(std::move(paired));
    Device unpaired = touch("UNPAIRED", "iPod9,1");
    unpaired.afcRoot = library;
    usbmuxd.addDevice(std::move(unpaired));

    const auto devices = MobileDevice::connectedDevices();
    ASSERT_TRUE(devices && devices->size() == 2);

    const auto songs = byID(*devices, "PAIRED")->loadSongs();
    ASSERT_TRUE(songs);
    ASSERT_EQ(songs->size(), 2);
    EXPECT_EQ(songs->at(0).title, QStringLiteral("Later"));
    EXPECT_EQ(songs->at(0).format, QStringLiteral("M4A"));
    EXPECT_EQ(songs->at(1).id, 5);
    EXPECT_TRUE(logged("PAIRED StartService com.apple.afc"));

    EXPECT_FALSE(byID(*devices, "UNPAIRED")->loadSongs());
    EXPECT_FALSE(loggedStartingWith("UNPAIRED StartService"));
    EXPECT_TRUE(QDir(temp).isEmpty());
}

TEST(MobileDeviceValueTest, FamilyAndModelLineFollowTheProductType) {
    struct Case {
        const char* productType;
        std::optional<MobileDevice::Family> family;
        const char* name;
        const char* model;
        const char* symbol;
    };
    const Case cases[] = {
        {"iPod1,1", MobileDevice::Family::touch, "iPod touch", "iPod touch (1st generation)",
         "ipodtouch"},
        {"iPod7,1", MobileDevice::Family::touch, "iPod touch", "iPod touch (6th generation)",
         "ipodtouch"},
        {"iPod8,1", MobileDevice::Family::touch, "iPod touch", "iPod touch", "ipodtouch"},
        {"iPad4,3", MobileDevice::Family::pad, "iPad", "iPad Air (1st generation)", "ipad"},
        {"iPad13,1", MobileDevice::Family::pad, "iPad", "iPad", "ipad"},
        {"iPhone1,1", MobileDevice::Family::phone, "iPhone", "iPhone", "iphone"},
        {"iphone1,1", std::nullopt, "", "", ""},
        {"AppleTV5,3", std::nullopt, "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.productType);
        const auto device = MobileDevice::make("id", c.productType, {}, {}, {});
        ASSERT_EQ(device.has_value(), c.family.has_value());
        if (!device)
            continue;
        EXPECT_EQ(device->family, *c.family);
        EXPECT_EQ(device->name, QLatin1String(c.name));
        EXPECT_EQ(device->displayName(AppLanguage::english), QLatin1String(c.model));
        EXPECT_EQ(device->symbolName(), QLatin1String(c.symbol));
    }
    const auto named = MobileDevice::make("id", "iPod9,1", QStringLiteral("Mine"), {}, {});
    EXPECT_EQ(named->displayName(AppLanguage::simplifiedChinese),
              QStringLiteral("iPod touch（第 7 代）"));
}

TEST(MobileDeviceValueTest, DictionariesNeedStringIdentityAndTypedDetails) {
    const QList<QVariantMap> dictionaries = {
        {{"ID", 42}, {"ProductType", "iPod9,1"}},
        {{"ID", "a"}},
        {{"ID", "b"},
         {"ProductType", "iPod9,1"},
         {"DeviceName", 7},
         {"Capacity", "100"},
         {"Charging", 1},
         {"BatteryPercent", qint64(20)},
         {"IMEI", QStringLiteral("1")}},
    };
    const auto devices = MobileDevice::fromDictionaries(dictionaries);
    ASSERT_EQ(devices.size(), 1);
    EXPECT_EQ(devices[0].name, QStringLiteral("iPod touch"));
    ASSERT_TRUE(devices[0].details);
    EXPECT_FALSE(devices[0].details->capacity);
    EXPECT_FALSE(devices[0].details->charging);
    EXPECT_EQ(devices[0].details->batteryPercent, 20);
    EXPECT_EQ(devices[0].details->imei, QStringLiteral("1"));
}
