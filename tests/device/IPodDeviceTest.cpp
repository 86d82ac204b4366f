#include "FakeUSBTestbed.h"
#include "TestVolumes.h"

#include "device/IPodDevice.h"
#include "device/IPodDeviceError.h"
#include "device/IPodProbe.h"
#include "library/DatabasePreflight.h"
#include "library/LibrarySnapshot.h"
#include "support/DeviceDescriptions.h"
#include "support/IPodVolume.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <sys/sysmacros.h>

using TestVolumes::Mount;

namespace {

class IPodDeviceMounts : public ::testing::Test {
protected:
    void SetUp() override {
        const QString why = TestVolumes::whyMountsAreUnavailable();
        if (!why.isEmpty())
            GTEST_SKIP() << qPrintable(why);
        ASSERT_TRUE(scratch.isValid());
    }

    QString disconnectedText(const IPodDevice& device) {
        try {
            device.verifyIdentity();
        } catch (const IPodDeviceError& error) {
            return error.description(AppLanguage::english);
        }
        return {};
    }

    QTemporaryDir scratch;
};

} // namespace

TEST_F(IPodDeviceMounts, IdentifiesATmpfsVolumeWithSpacesAndNoticesAnotherAtTheSamePath) {
    const QString path = scratch.path() + QStringLiteral("/Jo's iPod  classic");
    auto first = Mount::tmpfs(path, QStringLiteral("size=4m"));
    ASSERT_TRUE(first);
    ASSERT_TRUE(TestVolumes::makeIPodTree(path));

    const auto device = IPodDevice::fromMountPoint(path);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->mountPoint, QFileInfo(path).canonicalFilePath());
    EXPECT_EQ(device->id.path, device->mountPoint);
    EXPECT_GT(device->totalBytes, 3 * 1024 * 1024);
    EXPECT_GT(device->freeBytes, 0);
    EXPECT_LE(device->freeBytes, device->totalBytes);
    EXPECT_NO_THROW(device->verifyIdentity());
    EXPECT_EQ(volumeIdentity(path), device->id);

    // Linux hands the new tmpfs the same device number and root inode.
    ASSERT_TRUE(first->unmount());
    EXPECT_EQ(disconnectedText(*device), QStringLiteral("The iPod was disconnected."));
    auto second = Mount::tmpfs(path, QStringLiteral("size=4m"));
    ASSERT_TRUE(second);
    ASSERT_TRUE(TestVolumes::makeIPodTree(path));
    const auto other = volumeIdentity(path);
    ASSERT_TRUE(other);
    EXPECT_EQ(other->inode, device->id.inode);
    EXPECT_EQ(disconnectedText(*device), QStringLiteral("The iPod was disconnected."));
    const auto replacement = IPodDevice::fromMountPoint(path);
    ASSERT_TRUE(replacement);
    EXPECT_FALSE(replacement->id == device->id);
}

TEST_F(IPodDeviceMounts, TellsTwoImagesOnOneLoopDeviceApart) {
    if (const QString why = TestVolumes::whyLoopImagesAreUnavailable(); !why.isEmpty())
        GTEST_SKIP() << qPrintable(why);
    const QString imageA = scratch.path() + QStringLiteral("/a.img");
    const QString imageB = scratch.path() + QStringLiteral("/b.img");
    ASSERT_TRUE(TestVolumes::makeExt4Image(imageA));
    ASSERT_TRUE(TestVolumes::makeExt4Image(imageB));
    const QString path = scratch.path() + QStringLiteral("/IPOD");

    auto first = Mount::image(imageA, path);
    ASSERT_TRUE(first);
    ASSERT_TRUE(TestVolumes::makeIPodTree(path));
    const auto device = IPodDevice::fromMountPoint(path);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->id.inode, 2u); // the root of every ext4 volume
    EXPECT_NE(device->id.diskSequence, 0u);
    EXPECT_NO_THROW(device->verifyIdentity());
    const QString loop = first->loopDevice();
    ASSERT_TRUE(first->unmount());

    // The second image goes onto the same loop device when it is still free.
    auto second = Mount::image(imageB, path, loop);
    if (!second)
        second = Mount::image(imageB, path);
    ASSERT_TRUE(second);
    ASSERT_TRUE(TestVolumes::makeIPodTree(path));
    const auto now = volumeIdentity(path);
    ASSERT_TRUE(now);
    EXPECT_EQ(now->path, device->id.path);
    EXPECT_EQ(now->inode, device->id.inode);
    EXPECT_EQ(disconnectedText(*device), QStringLiteral("The iPod was disconnected."));
    if (second->loopDevice() == loop) {
        EXPECT_EQ(now->filesystem, device->id.filesystem);
        EXPECT_NE(now->diskSequence, device->id.diskSequence);
    }
}

TEST_F(IPodDeviceMounts, KeepsTheIdentityAcrossAReadOnlyRemount) {
    const QString path = scratch.path() + QStringLiteral("/ro");
    auto mount = Mount::tmpfs(path, QStringLiteral("size=2m"));
    ASSERT_TRUE(mount);
    ASSERT_TRUE(TestVolumes::makeIPodTree(path));
    const auto device = IPodDevice::fromMountPoint(path);
    ASSERT_TRUE(device);
    EXPECT_EQ(volumeCapacity(path)->isReadOnly, false);

    ASSERT_TRUE(mount->remount(QStringLiteral("ro")));
    const auto capacity = volumeCapacity(path);
    ASSERT_TRUE(capacity);
    EXPECT_TRUE(capacity->isReadOnly);
    EXPECT_NO_THROW(device->verifyIdentity());
    const auto again = IPodDevice::fromMountPoint(path);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->id, device->id);
}

TEST_F(IPodDeviceMounts, AnswersNothingOverUSBForAVolumeWithoutAUSBDevice) {
    if (const QString why = TestVolumes::whyLoopImagesAreUnavailable(); !why.isEmpty())
        GTEST_SKIP() << qPrintable(why);
    const QString image = scratch.path() + QStringLiteral("/plain.img");
    ASSERT_TRUE(TestVolumes::makeExt4Image(image));
    const QString path = scratch.path() + QStringLiteral("/plain");
    auto mount = Mount::image(image, path);
    ASSERT_TRUE(mount);
    ASSERT_TRUE(TestVolumes::makeIPodTree(path));
    const auto device = IPodDevice::fromMountPoint(path);
    ASSERT_TRUE(device);

    EXPECT_FALSE(device->withUSBDevice([](const USBHostDevice&, int) { return 1; }));
    EXPECT_FALSE(device->usbRegistryEntryID());
    EXPECT_FALSE(device->readBattery());
    EXPECT_FALSE(device->usbSerialNumber());
    EXPECT_FALSE(device->firmwareVersionOverUSB());
}

TEST(IPodDevice, RequiresAniPodControlFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = dir.path();
    EXPECT_FALSE(IPodDevice::fromMountPoint(root + QStringLiteral("/missing")));
    EXPECT_FALSE(IPodDevice::fromMountPoint(root));

    // A plain file of that name is no iPod, and neither is a link to a folder.
    QFile file(root + QStringLiteral("/iPod_Control"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(IPodDevice::fromMountPoint(root));
    ASSERT_TRUE(QFile::remove(file.fileName()));
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/elsewhere")));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/elsewhere"), file.fileName()));
    EXPECT_FALSE(IPodDevice::fromMountPoint(root));
    ASSERT_TRUE(QFile::remove(file.fileName()));

    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/iPod_Control")));
    EXPECT_TRUE(IPodDevice::fromMountPoint(root));
}

TEST(IPodDevice, ResolvesAMountPointGivenThroughALink) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString real = dir.path() + QStringLiteral("/real");
    ASSERT_TRUE(QDir().mkpath(real + QStringLiteral("/iPod_Control")));
    const QString link = dir.path() + QStringLiteral("/link");
    ASSERT_TRUE(QFile::link(real, link));

    const auto device = IPodDevice::fromMountPoint(link);
    ASSERT_TRUE(device);
    const QString resolved = QFileInfo(real).canonicalFilePath();
    EXPECT_EQ(device->mountPoint, resolved);
    EXPECT_EQ(device->id.path, resolved);
    // The link itself has an identity of its own (lstat does not follow it).
    EXPECT_NE(volumeIdentity(link)->inode, device->id.inode);
}

TEST(IPodDevice, FailsTheIdentityWhenTheFolderIsReplaced) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.path() + QStringLiteral("/pod");
    ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("/iPod_Control")));
    const auto device = IPodDevice::fromMountPoint(path);
    ASSERT_TRUE(device);
    ASSERT_TRUE(QDir(path).removeRecursively());
    EXPECT_THROW(device->verifyIdentity(), IPodDeviceError);
}

// The whole walk from a real mount through udev to a fake USB iPod.
namespace {

struct FakeIPodVolume {
    QTemporaryDir scratch;
    std::unique_ptr<Mount> mount;
    std::optional<IPodDevice> device;
    QString number; // "7:3"

    bool setUp() {
        const QString image = scratch.path() + QStringLiteral("/pod.img");
        if (!TestVolumes::makeExt4Image(image))
            return false;
        const QString path = scratch.path() + QStringLiteral("/Fake iPod");
        mount = Mount::image(image, path);
        if (!mount || !TestVolumes::makeIPodTree(path))
            return false;
        struct stat info {};
        if (::stat(QFile::encodeName(path).constData(), &info) != 0)
            return false;
        number = QStringLiteral("%1:%2").arg(major(info.st_dev)).arg(minor(info.st_dev));
        return true;
    }

    // Once the fake devices exist: the identity reads udev, which umockdev now answers.
    bool identify() {
        device = IPodDevice::fromMountPoint(mount->path());
        return device.has_value();
    }
};

// A classic's answer to an inquiry for its description: in pages of what one inquiry carries,
// listed on page 0xC0.
FakeSCSIReply descriptionPage(const FakeInquiry& inquiry, const QByteArray& description) {
    constexpr int pageBytes = IPodProbe::vpdAllocationLength - 4;
    const quint8 page = inquiry.cdb[2];
    const int pages = int((description.size() + pageBytes - 1) / pageBytes);
    QByteArray payload;
    if (page == 0xC0) {
        for (int i = 0; i < pages; ++i)
            payload += char(0xC2 + i);
    } else if (page >= 0xC2 && page < 0xC2 + pages) {
        payload = description.mid((page - 0xC2) * pageBytes, pageBytes);
    }
    QByteArray answer(4, '\0');
    answer[1] = char(page);
    answer[3] = char(payload.size());
    return FakeSCSIReply{answer + payload, 0, 0};
}

} // namespace

TEST(IPodDeviceFakeUSB, WalksFromTheMountedVolumeToItsAppleUSBDevice) {
    if (!TestVolumes::whyLoopImagesAreUnavailable().isEmpty())
        GTEST_SKIP() << qPrintable(TestVolumes::whyLoopImagesAreUnavailable());
    if (!runsInFakeUSBEnvironment())
        return;
    FakeIPodVolume volume;
    ASSERT_TRUE(volume.setUp());
    FakeUSBTestbed bed;
    FakeUSBTestbed::USBDeviceSpec spec;
    spec.productID = 0x1303;
    const QString usb = bed.addUSBDevice(spec);
    bed.addBlockDevice(usb, QStringLiteral("sdb"), volume.number);
    ASSERT_TRUE(volume.identify());
    int requests = 0;
    bed.answerControlRequests(FakeUSBTestbed::usbNode(1, 2), [&](const FakeControlRequest& r) {
        ++requests;
        return replyWith(r.value == 0 ? QByteArray("\x01\x00", 2) : QByteArray("\x86\x37", 2));
    });

    const auto found =
        volume.device->withUSBDevice([](const USBHostDevice& service, int productID) {
            return std::make_pair(service.sysPath(), productID);
        });
    ASSERT_TRUE(found);
    EXPECT_EQ(found->second, 0x1303);
    EXPECT_TRUE(found->first.endsWith(QStringLiteral("/1-1")));
    EXPECT_TRUE(volume.device->usbRegistryEntryID());

    const auto battery = volume.device->readBattery();
    ASSERT_TRUE(battery);
    EXPECT_TRUE(battery->first);
    ASSERT_TRUE(battery->second);
    EXPECT_EQ(battery->second->percent, 55);
    EXPECT_TRUE(battery->second->isFullyCharged);
    EXPECT_EQ(requests, 2);
}

TEST(IPodDeviceFakeUSB, ReportsABatteryProductEvenWhenTheWordCannotBeRead) {
    if (!TestVolumes::whyLoopImagesAreUnavailable().isEmpty())
        GTEST_SKIP() << qPrintable(TestVolumes::whyLoopImagesAreUnavailable());
    if (!runsInFakeUSBEnvironment())
        return;
    FakeIPodVolume volume;
    ASSERT_TRUE(volume.setUp());
    FakeUSBTestbed bed;
    FakeUSBTestbed::USBDeviceSpec spec;
    spec.productID = 0x1303;
    const QString usb = bed.addUSBDevice(spec);
    bed.addBlockDevice(usb, QStringLiteral("sdb"), volume.number);
    ASSERT_TRUE(volume.identify());
    bed.answerControlRequests(FakeUSBTestbed::usbNode(1, 2), [](const FakeControlRequest&) {
        return replyFailing(EPIPE); // stalled
    });
    const auto battery = volume.device->readBattery();
    ASSERT_TRUE(battery);
    EXPECT_TRUE(battery->first);
    EXPECT_FALSE(battery->second);
}

TEST(IPodDeviceFakeUSB, StopsAtTheFirstUSBDeviceEvenWhenItIsNotApple) {
    if (!TestVolumes::whyLoopImagesAreUnavailable().isEmpty())
        GTEST_SKIP() << qPrintable(TestVolumes::whyLoopImagesAreUnavailable());
    if (!runsInFakeUSBEnvironment())
        return;
    FakeIPodVolume volume;
    ASSERT_TRUE(volume.setUp());
    FakeUSBTestbed bed;
    FakeUSBTestbed::USBDeviceSpec apple;
    apple.productID = 0x1261;
    const QString hub = bed.addUSBDevice(apple);
    FakeUSBTestbed::USBDeviceSpec reader;
    reader.name = QStringLiteral("1-1.1");
    reader.parent = hub;
    reader.vendorID = 0x0BDA;
    reader.productID = 0x1261;
    reader.deviceNumber = 3;
    reader.portPath = QStringLiteral("1.1");
    const QString card = bed.addUSBDevice(reader);
    bed.addBlockDevice(card, QStringLiteral("sdc"), volume.number);
    ASSERT_TRUE(volume.identify());

    EXPECT_FALSE(volume.device->withUSBDevice([](const USBHostDevice&, int id) { return id; }));
    const auto battery = volume.device->readBattery();
    EXPECT_FALSE(battery);
}

TEST(IPodDeviceFakeUSB, AClassicReportsNoBatteryAndReadsItsSerialOverSCSI) {
    if (!TestVolumes::whyLoopImagesAreUnavailable().isEmpty())
        GTEST_SKIP() << qPrintable(TestVolumes::whyLoopImagesAreUnavailable());
    if (!runsInFakeUSBEnvironment())
        return;
    FakeIPodVolume volume;
    ASSERT_TRUE(volume.setUp());
    FakeUSBTestbed bed;
    FakeUSBTestbed::USBDeviceSpec spec;
    spec.productID = 0x1261;
    const QString usb = bed.addUSBDevice(spec);
    bed.addBlockDevice(usb, QStringLiteral("sdb"), volume.number);
    bed.addSCSIGeneric(usb, QStringLiteral("sg1"), QStringLiteral("21:1"));
    ASSERT_TRUE(volume.identify());
    const QByteArray plist =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>SerialNumber</key><string>8K1234YMX</string>"
        "<key>VisibleBuildID</key><string>0x02218000 (2.0.4)</string></dict></plist>\n";
    int inquiries = 0;
    bed.answerInquiries(QStringLiteral("/dev/sg1"), [&](const FakeInquiry& q) {
        ++inquiries;
        const quint8 page = q.cdb[2];
        QByteArray payload;
        if (page == 0xC0) {
            payload = QByteArray("\xC2\xC3", 2);
        } else if (page == 0xC2) {
            payload = plist.left(100);
        } else if (page == 0xC3) {
            payload = plist.mid(100);
        }
        QByteArray answer(4, '\0');
        answer[1] = char(page);
        answer[2] = char(payload.size() >> 8);
        answer[3] = char(payload.size() & 0xFF);
        return FakeSCSIReply{answer + payload, 0, 0};
    });

    const auto battery = volume.device->readBattery();
    ASSERT_TRUE(battery);
    EXPECT_FALSE(battery->first);
    EXPECT_FALSE(battery->second);
    EXPECT_EQ(inquiries, 0);

    EXPECT_EQ(volume.device->firmwareVersionOverUSB(), QStringLiteral("2.0.4"));
    const auto serial = volume.device->withUSBDevice(
        [](const USBHostDevice& s, int id) { return readSerialNumber(s, id); });
    ASSERT_TRUE(serial);
    EXPECT_EQ(*serial, QStringLiteral("8K1234YMX"));
    // The classic's serial is not what the database's shuffle lookup asks for.
    EXPECT_FALSE(volume.device->usbSerialNumber());

    // Without the file on the volume the open gets the SCSI copy; with it, nothing is read.
    inquiries = 0;
    const auto open = volume.device->withUSBDevice([&](const USBHostDevice& s, int id) {
        return volume.device->sysInfoExtendedForOpen(s, id);
    });
    ASSERT_TRUE(open);
    EXPECT_EQ(open->first, 0x1261);
    EXPECT_EQ(open->second, plist);
    EXPECT_EQ(inquiries, 3);
    QFile file(volume.device->mountPoint + QStringLiteral("/iPod_Control/Device/SysInfoExtended"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(plist);
    file.close();
    inquiries = 0;
    const auto withFile = volume.device->withUSBDevice([&](const USBHostDevice& s, int id) {
        return volume.device->sysInfoExtendedForOpen(s, id);
    });
    ASSERT_TRUE(withFile);
    EXPECT_FALSE(withFile->second);
    EXPECT_EQ(inquiries, 0);
}

TEST(IPodDeviceFakeUSB, AClassicsDescriptionOverSCSIThatIsNotPlainIsLeftOutOfTheOpen) {
    if (!TestVolumes::whyLoopImagesAreUnavailable().isEmpty())
        GTEST_SKIP() << qPrintable(TestVolumes::whyLoopImagesAreUnavailable());
    if (!runsInFakeUSBEnvironment())
        return;
    FakeIPodVolume volume;
    ASSERT_TRUE(volume.setUp());
    {
        TestSupport::IPodVolume classic(QStringLiteral("MB029"));
        classic.addTrack({.title = QStringLiteral("One"), .artwork = true});
        classic.addTrack({.title = QStringLiteral("Two")});
        classic.write();
        ASSERT_EQ(
            QProcess::execute(QStringLiteral("cp"),
                              {QStringLiteral("-a"), classic.mountPoint() + QStringLiteral("/."),
                               volume.mount->path()}),
            0);
    }
    FakeUSBTestbed bed;
    FakeUSBTestbed::USBDeviceSpec spec;
    spec.productID = 0x1261;
    const QString usb = bed.addUSBDevice(spec);
    bed.addBlockDevice(usb, QStringLiteral("sdb"), volume.number);
    bed.addSCSIGeneric(usb, QStringLiteral("sg1"), QStringLiteral("21:1"));
    ASSERT_TRUE(volume.identify());
    QByteArray description;
    bed.answerInquiries(QStringLiteral("/dev/sg1"), [&](const FakeInquiry& inquiry) {
        return descriptionPage(inquiry, description);
    });
    const IPodDatabaseError reason = IPodDatabaseError::unreadableDeviceDescription(std::nullopt);
    for (const auto& form : TestSupport::unplainDescriptions()) {
        SCOPED_TRACE(form.name);
        description = form.bytes;
        const auto before = TestSupport::snapshotTree(volume.mount->path());
        DatabasePreflight::forgetReadDatabases();
        const LibrarySnapshot library = volume.device->readLibrary();
        EXPECT_EQ(library.writeBlocker, reason);
        EXPECT_EQ(library.tracks.size(), 2);
        const auto database = volume.device->openDatabase();
        EXPECT_EQ(database->writeBlocker(), reason);
        EXPECT_EQ(database->loadTracks().size(), 2);
        EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume.mount->path())),
                  QStringList());
    }
}

TEST(IPodDeviceFakeUSB, AThirdGenerationShuffleGetsItsSerialFromTheUSBSysInfoExtended) {
    if (!TestVolumes::whyLoopImagesAreUnavailable().isEmpty())
        GTEST_SKIP() << qPrintable(TestVolumes::whyLoopImagesAreUnavailable());
    if (!runsInFakeUSBEnvironment())
        return;
    FakeIPodVolume volume;
    ASSERT_TRUE(volume.setUp());
    FakeUSBTestbed bed;
    FakeUSBTestbed::USBDeviceSpec spec;
    spec.productID = 0x1302;
    const QString usb = bed.addUSBDevice(spec);
    bed.addBlockDevice(usb, QStringLiteral("sdb"), volume.number);
    ASSERT_TRUE(volume.identify());
    const QByteArray plist = "<plist version=\"1.0\"><dict><key>SerialNumber</key>"
                             "<string>CC0001ALB</string><key>VisibleBuildID</key>"
                             "<string>1.1</string></dict></plist>";
    bed.answerControlRequests(FakeUSBTestbed::usbNode(1, 2), [&](const FakeControlRequest& r) {
        if (r.value != 2 || r.index != 0)
            return replyFailing(EPIPE);
        return replyWith(plist);
    });
    EXPECT_EQ(volume.device->usbSerialNumber(), QStringLiteral("CC0001ALB"));
    // No SCSI node: the firmware comes from the USB copy for this product.
    EXPECT_EQ(volume.device->firmwareVersionOverUSB(), QStringLiteral("1.1"));
    const auto battery = volume.device->readBattery();
    ASSERT_TRUE(battery);
    EXPECT_FALSE(battery->first);
}
