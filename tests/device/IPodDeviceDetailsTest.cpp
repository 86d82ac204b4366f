#include "device/IPodDevice.h"
#include "device/IPodDeviceError.h"
#include "library/DatabasePreflight.h"
#include "library/DeviceDescription.h"
#include "library/GLibHandles.h"
#include "library/IPodDatabase.h"
#include "library/IPodModel.h"
#include "library/LibrarySnapshot.h"
#include "support/DeviceDescriptions.h"
#include "support/IPodVolume.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gpod/itdb.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A real iPod tree laid out by libgpod in a plain folder.
// A classic's database is hashed: libgpod needs its FireWire GUID in SysInfo first.
bool makeIPod(const QString& path, const char* modelNumber, const char* name) {
    QDir().mkpath(path + QStringLiteral("/iPod_Control/Device"));
    QFile sysInfo(path + QStringLiteral("/iPod_Control/Device/SysInfo"));
    if (!sysInfo.open(QIODevice::WriteOnly))
        return false;
    sysInfo.write(QByteArray("ModelNumStr: ") + modelNumber +
                  "\nFirewireGuid: 0x000A2700138B0D2E\n");
    sysInfo.close();
    GLibHandles::ErrorSlot error;
    return itdb_init_ipod(QFile::encodeName(path).constData(), nullptr, name, error.out());
}

} // namespace

TEST(IPodDeviceDetails, OpensTheDatabaseOfAVolumeWithoutUSBAndTellsItsModel) {
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString path = scratch.path() + QStringLiteral("/Classic");
    ASSERT_TRUE(makeIPod(path, "MB029", "Jo's classic"));
    const auto device = IPodDevice::fromMountPoint(path);
    ASSERT_TRUE(device);

    const auto database = device->openDatabase();
    ASSERT_TRUE(database);
    EXPECT_EQ(database->mainPlaylistName(), QStringLiteral("Jo's classic"));
    EXPECT_FALSE(database->productID()); // no USB device answered

    const auto model = device->identifyModel();
    ASSERT_TRUE(model);
    EXPECT_EQ(model->family, IPodModel::Family::classic);
    EXPECT_FALSE(device->modelFromUSB(QStringLiteral("8K1234YMX")));
}

TEST(IPodDeviceDetails, ReadsTheFirmwareFromTheVolumeWhenUSBHasNone) {
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString path = scratch.path() + QStringLiteral("/Nano");
    ASSERT_TRUE(makeIPod(path, "MA477", "Nano"));
    const auto device = IPodDevice::fromMountPoint(path);
    ASSERT_TRUE(device);
    EXPECT_FALSE(device->firmwareVersion());

    QFile sysInfo(path + QStringLiteral("/iPod_Control/Device/SysInfo"));
    ASSERT_TRUE(sysInfo.open(QIODevice::Append));
    sysInfo.write("\nvisibleBuildID: 0x02218000 (1.3)\n");
    sysInfo.close();
    EXPECT_EQ(device->firmwareVersion(), QStringLiteral("1.3"));
}

TEST(IPodDeviceDetails, RefusesToOpenAVolumeThatIsGone) {
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString path = scratch.path() + QStringLiteral("/Gone");
    ASSERT_TRUE(makeIPod(path, "MB029", "Gone"));
    const auto device = IPodDevice::fromMountPoint(path);
    ASSERT_TRUE(device);
    ASSERT_TRUE(QDir(path).removeRecursively());
    EXPECT_THROW(device->openDatabase(), IPodDeviceError);
    EXPECT_FALSE(device->identifyModel());
    EXPECT_FALSE(device->firmwareVersion());
}

namespace {

// A second-generation nano with two songs, the first with a cover, as a device.
std::optional<IPodDevice> twoSongs(TestSupport::IPodVolume& volume) {
    volume.addTrack({.title = QStringLiteral("One"), .artwork = true});
    volume.addTrack({.title = QStringLiteral("Two")});
    volume.write();
    return IPodDevice::fromMountPoint(volume.mountPoint());
}

// Read by the helper, then opened here: read-only for the reason, both songs listed.
void expectReadOnlyWithBothSongs(const IPodDevice& device, const IPodDatabaseError& reason) {
    DatabasePreflight::forgetReadDatabases();
    const LibrarySnapshot library = device.readLibrary();
    EXPECT_EQ(library.writeBlocker, reason);
    EXPECT_EQ(library.tracks.size(), 2);
    const auto database = device.openDatabase();
    EXPECT_EQ(database->writeBlocker(), reason);
    EXPECT_EQ(database->loadTracks().size(), 2);
}

} // namespace

TEST(IPodDeviceDetails, ADescriptionThatIsNotPlainIsLeftOutOfTheModelAndTheOpen) {
    TestSupport::IPodVolume volume(QStringLiteral("MA477"));
    const auto device = twoSongs(volume);
    ASSERT_TRUE(device);
    const IPodDatabaseError reason = IPodDatabaseError::unreadableDeviceDescription(
        QStringLiteral("iPod_Control/Device/SysInfoExtended"));
    for (const auto& [name, description] : TestSupport::unplainDescriptions()) {
        SCOPED_TRACE(name);
        volume.writeSysInfoExtended(description);
        const auto before = TestSupport::snapshotTree(volume.mountPoint());
        // Known from its SysInfo alone.
        const auto model = device->identifyModel();
        ASSERT_TRUE(model);
        EXPECT_EQ(model->family, IPodModel::Family::nano);
        EXPECT_EQ(model->generationNumber, 2);
        expectReadOnlyWithBothSongs(*device, reason);
        EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume.mountPoint())),
                  QStringList());
    }
}

// A FIFO, socket or device in place of a device description would hold libgpod's read of it
// forever, and a huge one costs every process that asks libgpod about the device hundreds of
// MB: libgpod reads neither, for the model or in the open, and the iPod opens read-only naming
// the file, with its tracks.
TEST(IPodDeviceDetails, ADescriptionThatIsNoRegularFileOrTooLargeIsLeftOutNamingIt) {
    TestSupport::IPodVolume volume(QStringLiteral("MA477"));
    const auto device = twoSongs(volume);
    ASSERT_TRUE(device);
    const QString sysInfo = QStringLiteral("iPod_Control/Device/SysInfo");
    const QString extended = QStringLiteral("iPod_Control/Device/SysInfoExtended");
    const QByteArray sysInfoText = volume.readFile(sysInfo);
    const std::pair<QString, QByteArray> oversized[] = {
        {sysInfo, sysInfoText + QByteArray(DeviceDescription::maxSysInfoBytes, '\n')},
        {extended, TestSupport::descriptionOfSize(DeviceDescription::maxBytes + 1)}};
    for (const auto& [relative, large] : oversized) {
        for (const char* kind : {"FIFO", "socket", "device", "oversized"}) {
            SCOPED_TRACE(relative.toStdString() + ", " + kind);
            const QByteArray path = QFile::encodeName(volume.path(relative));
            ::unlink(path.constData());
            int socket = -1;
            if (kind == std::string_view("FIFO")) {
                ASSERT_EQ(::mkfifo(path.constData(), 0600), 0);
            } else if (kind == std::string_view("socket")) {
                socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
                sockaddr_un address{};
                address.sun_family = AF_UNIX;
                ASSERT_LT(path.size(), qsizetype(sizeof address.sun_path));
                std::memcpy(address.sun_path, path.constData(), path.size());
                ASSERT_EQ(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
            } else if (kind == std::string_view("device")) {
                ASSERT_EQ(::mknod(path.constData(), S_IFCHR | 0600, ::makedev(1, 5)), 0)
                    << std::strerror(errno); // one that reads zeros forever
            } else {
                volume.writeFile(relative, large);
            }
            const auto before = TestSupport::snapshotTree(volume.mountPoint());
            const auto model = device->identifyModel();
            if (relative == extended) {
                ASSERT_TRUE(model); // from its SysInfo
                EXPECT_EQ(model->generationNumber, 2);
            }
            device->firmwareVersion();
            const IPodDatabaseError reason =
                IPodDatabaseError::unreadableDeviceDescription(relative);
            expectReadOnlyWithBothSongs(*device, reason);
            EXPECT_EQ(
                TestSupport::differences(before, TestSupport::snapshotTree(volume.mountPoint())),
                QStringList());
            if (socket >= 0)
                ::close(socket);
            ::unlink(path.constData());
            if (relative == sysInfo)
                volume.writeFile(sysInfo, sysInfoText);
        }
    }
}
