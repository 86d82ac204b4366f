// libgpod reads a device description only once it is plain: one that is not (libgpod's reader
// crashes on some) is left out of what libgpod sees, in the helper and in the application, and
// the iPod opens read-only naming it, with its tracks, writing nothing.

#include "library/DeviceDescription.h"
#include "library/DatabasePreflight.h"
#include "library/IPodDatabase.h"
#include "support/DeviceDescriptions.h"
#include "support/IPodVolume.h"

#include <gtest/gtest.h>

using TestSupport::IPodVolume;

namespace {

std::string reasonOf(const std::optional<IPodDatabaseError>& blocker) {
    return blocker ? blocker->description(AppLanguage::english).toStdString() : "editable";
}

// The volume read by the helper, then opened in this process as after it; overUSB is a
// classic's description read over USB.
void expectReadOnly(const IPodVolume& volume, const std::optional<QByteArray>& overUSB,
                    const IPodDatabaseError& reason) {
    const auto before = TestSupport::snapshotTree(volume.mountPoint());
    const DatabasePreflight::Request request{
        volume.mountPoint(), overUSB, overUSB ? std::optional(0x1261) : std::nullopt, "volume"};
    DatabasePreflight::forgetReadDatabases();
    const std::optional<LibrarySnapshot> read = DatabasePreflight::read(request);
    ASSERT_TRUE(read);
    EXPECT_EQ(reasonOf(read->writeBlocker), reasonOf(reason));
    EXPECT_EQ(read->tracks.size(), 2);
    const auto database = IPodDatabase::open(
        request.mountPoint, request.sysInfoExtended, [&] { return request.productID; }, {}, true);
    EXPECT_EQ(reasonOf(database->writeBlocker()), reasonOf(reason));
    EXPECT_EQ(database->loadTracks().size(), 2);
    EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume.mountPoint())),
              QStringList());
}

} // namespace

TEST(DeviceDescription, OneThatIsNotPlainOpensReadOnlyNamingIt) {
    const QString file = QStringLiteral("iPod_Control/Device/SysInfoExtended");
    const IPodDatabaseError onVolume = IPodDatabaseError::unreadableDeviceDescription(file);
    const IPodDatabaseError overUSB = IPodDatabaseError::unreadableDeviceDescription(std::nullopt);
    EXPECT_TRUE(onVolume.description(AppLanguage::english).contains(file));
    EXPECT_TRUE(onVolume.description(AppLanguage::simplifiedChinese).contains(file));
    EXPECT_TRUE(overUSB.description(AppLanguage::english).contains(QStringLiteral("over USB")));
    EXPECT_TRUE(
        overUSB.description(AppLanguage::simplifiedChinese).contains(QStringLiteral("USB")));

    IPodVolume nano(QStringLiteral("MA477"));
    IPodVolume classic(QStringLiteral("MB029")); // described by its SysInfo alone
    for (IPodVolume* volume : {&nano, &classic}) {
        volume->addTrack({.title = QStringLiteral("One"), .artwork = true});
        volume->addTrack({.title = QStringLiteral("Two")});
        volume->write();
    }
    for (const auto& [name, description] : TestSupport::unplainDescriptions()) {
        SCOPED_TRACE(name);
        nano.writeSysInfoExtended(description);
        expectReadOnly(nano, std::nullopt, onVolume);
        expectReadOnly(classic, description, overUSB);
    }
}

// libplist takes ever longer per key the more keys a description holds, and libgpod's reader gives
// up on a node over libxml2's limit (then falls back on its model table while our checks read the
// file): a description larger than any iPod's is refused unread, and none within the bound can
// hold such a node.
TEST(DeviceDescription, OneLargerThanAnyIPodsOpensReadOnlyNamingIt) {
    IPodVolume nano(QStringLiteral("MA477"));
    IPodVolume classic(QStringLiteral("MB029"));
    for (IPodVolume* volume : {&nano, &classic}) {
        volume->addTrack({.title = QStringLiteral("One"), .artwork = true});
        volume->addTrack({.title = QStringLiteral("Two")});
        volume->write();
    }
    nano.writeSysInfoExtended(TestSupport::descriptionOfSize(DeviceDescription::maxBytes));
    EXPECT_FALSE(DeviceDescription::read(nano.mountPoint()).refused());

    const qint64 overLimit = DeviceDescription::libxml2TextLimit + 1;
    const std::pair<const char*, QByteArray> cases[] = {
        {"one byte too large", TestSupport::descriptionOfSize(DeviceDescription::maxBytes + 1)},
        {"a text node over libxml2's limit",
         TestSupport::descriptionOfSize(overLimit + 1024, overLimit)},
    };
    for (const auto& [name, description] : cases) {
        SCOPED_TRACE(name);
        nano.writeSysInfoExtended(description);
        expectReadOnly(nano, std::nullopt,
                       IPodDatabaseError::unreadableDeviceDescription(
                           QStringLiteral("iPod_Control/Device/SysInfoExtended")));
        expectReadOnly(classic, description,
                       IPodDatabaseError::unreadableDeviceDescription(std::nullopt));
    }
}
