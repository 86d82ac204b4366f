// The device list and selection repair across real mounts, unmounts, relabels and ejects
// (tmpfs volumes holding libgpod-made databases; root only), with USB answers from the test.

#include "StoreFixture.h"
#include "TestVolumes.h"

#include "device/MountWatcher.h"

#include <QSignalSpy>

#include <fcntl.h>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

using TestVolumes::Mount;
using Selection = IPodStore::Selection;

namespace {

// A transfer stand-in that runs until it is cancelled.
Task runningTransfer() {
    return Task::run(TaskPriority::userInitiated, [] {
        while (!Task::isCancelled())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
}

class StoreMounts : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        const QString why = TestVolumes::whyMountsAreUnavailable();
        if (!why.isEmpty())
            GTEST_SKIP() << qPrintable(why);
        mounts = root + QStringLiteral("/mnt");
        QDir().mkpath(mounts);
        machine->listRealMountsUnder(mounts);
    }

    void TearDown() override {
        StoreTest::TearDown();
        for (auto& m : held)
            m.reset();
    }

    // A tmpfs at mounts/name holding an iPod called ipodName.
    QString mountIPod(const QString& name, const QString& ipodName) {
        const QString path = mounts + QLatin1Char('/') + name;
        auto mount = Mount::tmpfs(path, QStringLiteral("size=8m"));
        EXPECT_TRUE(mount);
        if (!mount)
            return path;
        makeVolume({}, ipodName, {{}}, path);
        held.push_back(std::move(mount));
        return path;
    }

    Mount* mountAt(const QString& path) {
        for (auto& m : held)
            if (m && m->path() == path)
                return m.get();
        return nullptr;
    }

    QString mounts;
    std::vector<std::unique_ptr<Mount>> held;
};

} // namespace

TEST_F(StoreTest, RepairPrefersADiskThenAnIPodTouchThenTheSmallestUnmountedIPod) {
    IPodStore& s = makeStore();
    refresh();
    EXPECT_FALSE(s.selection());

    machine->setUSB({{0x30, 0x1261}, {0x20, 0x1301}});
    refresh();
    EXPECT_EQ(s.unmountedIPods().size(), 2u);
    EXPECT_EQ(s.selection(), Selection::unmounted(0x20));

    machine->setMobileDevices(
        QList<MobileDevice>{mobileDevice(QStringLiteral("udid-1"), QStringLiteral("Touch"))});
    // The unmounted iPod still exists, so it stays selected.
    IPodStore::ViewTask mobile = s.mobileDeviceWatchLoop();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return s.mobileDevices().size() == 1; }));
    EXPECT_EQ(s.selection(), Selection::unmounted(0x20));

    machine->setUSB({});
    refresh();
    EXPECT_EQ(s.selection(), Selection::mobile(QStringLiteral("udid-1")));
    ASSERT_TRUE(s.selectedMobileDevice());

    const QString disk = makeVolume(QStringLiteral("Disk"), QStringLiteral("Disk"));
    machine->setVolumes({disk});
    refresh();
    EXPECT_EQ(s.selection(), Selection::mobile(QStringLiteral("udid-1")));

    // A listing that fails keeps the devices; an empty one drops them and repairs.
    machine->setMobileDevices(std::nullopt);
    const int listed = machine->mobileListings();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return machine->mobileListings() >= listed + 2; }));
    EXPECT_EQ(s.mobileDevices().size(), 1);
    machine->setMobileDevices(QList<MobileDevice>());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return s.mobileDevices().isEmpty(); }));
    EXPECT_EQ(s.selection(), Selection::disk(deviceAt(disk).id));
}

TEST_F(StoreTest, ARefreshThatLosesTheActiveDeviceCancelsItsTransfer) {
    const QString path = makeVolume(QStringLiteral("Active"), QStringLiteral("Active"));
    machine->setVolumes({path});
    IPodStore& s = makeStore();
    refresh();
    const IPodDevice device = deviceAt(path);
    Task transfer = runningTransfer();
    IPodStoreTestAccess::setActiveDeviceID(s, device.id);
    IPodStoreTestAccess::setTransfer(s, transfer);
    refresh();
    EXPECT_FALSE(transfer.isCancellationRequested());

    machine->setVolumes({});
    refresh();
    EXPECT_TRUE(transfer.isCancellationRequested());
    // The operation's own end clears the busy device.
    EXPECT_EQ(s.activeDeviceID(), device.id);
}

TEST_F(StoreMounts, UnmountingTheSelectedIPodOnUSBSelectsItsUnmountedEntryAndBack) {
    const QString path = mountIPod(QStringLiteral("Pod"), QStringLiteral("Pod"));
    machine->linkUSB(path, 0x77);
    machine->setUSB({{0x77, 0x1260}});
    IPodStore& s = makeStore();
    refresh();
    ASSERT_EQ(s.devices().size(), 1);
    EXPECT_TRUE(s.unmountedIPods().empty());
    waitForLoad();
    EXPECT_EQ(s.deviceNames().value(Selection::unmounted(0x77)), QStringLiteral("Pod"));
    EXPECT_EQ(s.storedDeviceName(s.devices()[0].id), QStringLiteral("Pod"));

    ASSERT_TRUE(mountAt(path)->unmount());
    refresh();
    EXPECT_TRUE(s.devices().isEmpty());
    EXPECT_EQ(s.selection(), Selection::unmounted(0x77));
    EXPECT_EQ(s.unmountedIPods(), (IPodStore::USBScan{{0x77, 0x1260}}));
    EXPECT_FALSE(s.library());
    EXPECT_EQ(s.deviceNames().value(Selection::unmounted(0x77)), QStringLiteral("Pod"));

    mountIPod(QStringLiteral("Pod"), QStringLiteral("Pod"));
    refresh();
    ASSERT_EQ(s.devices().size(), 1);
    EXPECT_EQ(s.selection(), Selection::disk(s.devices()[0].id));
    EXPECT_TRUE(s.unmountedIPods().empty());
    waitForLoad();
    EXPECT_EQ(loadedName(), QStringLiteral("Pod"));
}

TEST_F(StoreMounts, ARelabelSeenByTheWatcherKeepsTheIPodSelected) {
    const QString first = mountIPod(QStringLiteral("Old Name"), QStringLiteral("Pod"));
    const QString other = mountIPod(QStringLiteral("Another"), QStringLiteral("Other"));
    machine->linkUSB(first, 0x42);
    machine->setUSB({{0x42, 0x1260}});
    IPodStore& s = makeStore();
    IPodStore::ViewTask watcher = s.watchVolumes();
    refresh();
    ASSERT_EQ(s.devices().size(), 2);
    s.setSelection(Selection::disk(deviceAt(first).id));
    waitForLoad();

    // Linux relabels by unmounting and mounting under the new name. The new mount is made
    // complete elsewhere and moved in, so the watcher sees it whole.
    ASSERT_TRUE(mountAt(first)->unmount());
    ASSERT_TRUE(
        TestSupport::waitUntil([&] { return s.selection() == Selection::unmounted(0x42); }));
    const QString staging = root + QStringLiteral("/staging");
    auto mount = Mount::tmpfs(staging, QStringLiteral("size=8m"));
    ASSERT_TRUE(mount);
    makeVolume({}, QStringLiteral("Pod"), {{}}, staging);
    const QString renamed = mounts + QStringLiteral("/New Name");
    QDir().mkpath(renamed);
    machine->linkUSB(renamed, 0x42);
    ASSERT_EQ(::mount(QFile::encodeName(staging).constData(),
                      QFile::encodeName(renamed).constData(), nullptr, MS_MOVE, nullptr),
              0);
    const bool followed = TestSupport::waitUntil(
        [&] { return s.selectedDevice() && s.selectedDevice()->mountPoint == renamed; });
    ::umount2(QFile::encodeName(renamed).constData(), MNT_DETACH);
    ASSERT_TRUE(followed) << "the selection did not follow the relabel";
    Q_UNUSED(other);
}

TEST_F(StoreMounts, AVolumeMovedToAnotherPathIsFollowedByItsFileSystemAndInode) {
    const QString first = mountIPod(QStringLiteral("Before"), QStringLiteral("Moved"));
    mountIPod(QStringLiteral("Aaa"), QStringLiteral("First in order"));
    IPodStore& s = makeStore();
    refresh();
    s.setSelection(Selection::disk(deviceAt(first).id));
    waitForLoad();

    const QString after = mounts + QStringLiteral("/After");
    QDir().mkpath(after);
    ASSERT_EQ(::mount(QFile::encodeName(first).constData(), QFile::encodeName(after).constData(),
                      nullptr, MS_MOVE, nullptr),
              0);
    refresh();
    ASSERT_TRUE(s.selectedDevice());
    EXPECT_EQ(s.selectedDevice()->mountPoint, after);
    ::umount2(QFile::encodeName(after).constData(), MNT_DETACH);
}

TEST_F(StoreMounts, ARenameNotificationForAnUnlistedVolumeStillYieldsTheDevice) {
    const QString path = mountIPod(QStringLiteral("Fresh"), QStringLiteral("Fresh"));
    machine->listRealMountsUnder(root + QStringLiteral("/nowhere"));
    IPodStore& s = makeStore();
    bool done = false;
    s.refreshDevices(std::nullopt, path, [&] { done = true; });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return done; }));
    ASSERT_EQ(s.devices().size(), 1);
    EXPECT_EQ(s.devices()[0].mountPoint, path);
}

TEST_F(StoreMounts, AnEjectedIPodStaysHiddenUntilItIsPluggedInAgain) {
    const QString path = mountIPod(QStringLiteral("Eject Me"), QStringLiteral("Ejectable"));
    machine->linkUSB(path, 0x55);
    machine->setUSB({{0x55, 0x1260}});
    IPodStore& s = makeStore();
    refresh();
    waitForLoad();
    QSignalSpy active(&s, &IPodStore::activeDeviceIDChanged);
    s.eject(deviceAt(path));
    EXPECT_EQ(s.activeDeviceID(), deviceAt(path).id);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return active.count() == 2; }));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return s.devices().isEmpty(); }));
    EXPECT_FALSE(s.alert()) << qPrintable(s.alert().value_or(QString()));
    EXPECT_TRUE(s.unmountedIPods().empty());
    EXPECT_FALSE(s.selection());

    machine->setUSB({});
    refresh();
    machine->setUSB({{0x55, 0x1260}});
    refresh();
    EXPECT_EQ(s.unmountedIPods(), (IPodStore::USBScan{{0x55, 0x1260}}));
    EXPECT_EQ(s.selection(), Selection::unmounted(0x55));
}

TEST_F(StoreMounts, AnEjectRefusedByOpenFilesNamesTheIPodAndTheReason) {
    const QString path = mountIPod(QStringLiteral("Held"), QStringLiteral("Held Pod"));
    IPodStore& s = makeStore();
    refresh();
    waitForLoad();
    const int fd = ::open(
        QFile::encodeName(path + QStringLiteral("/iPod_Control/iTunes/iTunesDB")).constData(),
        O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    QSignalSpy active(&s, &IPodStore::activeDeviceIDChanged);
    s.eject(deviceAt(path));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return s.alert().has_value(); }));
    ::close(fd);
    EXPECT_EQ(*s.alert(), QStringLiteral("Could not eject Held Pod.\nThe volume is in use. Close "
                                         "the files open on it and try again."));
    EXPECT_FALSE(s.activeDeviceID());
    EXPECT_EQ(active.count(), 2);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return s.library().has_value(); }));
    EXPECT_EQ(s.devices().size(), 1);
    EXPECT_EQ(loadedName(), QStringLiteral("Held Pod"));
}

TEST_F(StoreMounts, UnmountingTheActiveVolumeCancelsTheTransferBeforeTheRefresh) {
    const QString path = mountIPod(QStringLiteral("Transfer"), QStringLiteral("Transfer"));
    const QString other = mountIPod(QStringLiteral("Bystander"), QStringLiteral("Bystander"));
    IPodStore& s = makeStore();
    refresh();
    const IPodDevice device = deviceAt(path);
    Task transfer = runningTransfer();
    IPodStoreTestAccess::setActiveDeviceID(s, device.id);
    IPodStoreTestAccess::setTransfer(s, transfer);

    s.volumeDidUnmount(other);
    EXPECT_FALSE(transfer.isCancellationRequested());

    s.volumeDidUnmount(path);
    EXPECT_TRUE(transfer.isCancellationRequested());
    EXPECT_EQ(s.devices().size(), 2); // the refresh has not been applied yet

    // And through the watcher, from a real unmount.
    Task second = runningTransfer();
    IPodStoreTestAccess::setTransfer(s, second);
    IPodStore::ViewTask watcher = s.watchVolumes();
    ASSERT_TRUE(mountAt(path)->unmount());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return second.isCancellationRequested(); }));
}

TEST_F(StoreMounts, AReadOnlyVolumeLoadsWithItsWriteBlocker) {
    const QString path = mountIPod(QStringLiteral("Locked"), QStringLiteral("Locked"));
    ASSERT_TRUE(mountAt(path)->remount(QStringLiteral("ro")));
    IPodStore& s = makeStore();
    refresh();
    waitForLoad();
    ASSERT_TRUE(s.library()) << qPrintable(s.loadErrorDescription(AppLanguage::english));
    ASSERT_TRUE(s.library()->writeBlocker);
    EXPECT_EQ(*s.library()->writeBlocker, IPodDatabaseError::readOnlyVolume());
    EXPECT_FALSE(s.canEditLibrary());
    EXPECT_FALSE(s.canImport());
    EXPECT_FALSE(s.canCreatePlaylist());
}

TEST_F(StoreMounts, TheWatcherReportsMountsAndUnmounts) {
    MountWatcher watcher;
    ASSERT_TRUE(watcher.isWatching());
    QSignalSpy mounted(&watcher, &MountWatcher::volumesDidMount);
    QSignalSpy unmounted(&watcher, &MountWatcher::volumeDidUnmount);
    const QString path = mounts + QStringLiteral("/Watched Volume");
    auto mount = Mount::tmpfs(path, QStringLiteral("size=1m"));
    ASSERT_TRUE(mount);
    // Other suites mount and unmount beside this one: their volumes may be reported too.
    ASSERT_TRUE(TestSupport::waitUntil([&] {
        for (const auto& call : mounted)
            if (call.at(0).toStringList().contains(path))
                return true;
        return false;
    }));
    ASSERT_TRUE(mount->unmount());
    ASSERT_TRUE(TestSupport::waitUntil([&] {
        for (const auto& call : unmounted)
            if (call.at(0).toString() == path)
                return true;
        return false;
    }));
}
