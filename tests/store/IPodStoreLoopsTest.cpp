// The watch loops and detail loaders, the main thread's freedom while device reads are slow,
// and the preview's play, pause and teardown on real audio where this machine can play.

#include "StoreFixture.h"

#include "library/IPodDatabase.h"
#include "support/AudioFixtures.h"
#include "support/AudioPlayback.h"

#include <QFile>
#include <QSignalSpy>
#include <QTimer>

using Selection = IPodStore::Selection;
using namespace std::chrono_literals;

namespace {

IPodStore::BatteryReading batteryOf(bool supported, std::optional<int> percent) {
    std::optional<IPodBattery> state;
    if (percent)
        state = IPodBattery{.percent = percent, .isCharging = false, .isFullyCharged = false};
    return std::make_pair(supported, state);
}

// True when some descriptor of this process is open on path.
bool fileIsOpen(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : fds.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (QFileInfo(fds.filePath(fd)).symLinkTarget() == target)
            return true;
    }
    return false;
}

class StoreLoops : public StoreTest {
protected:
    // Two volumes, the first selected and loaded.
    void startWithTwo() {
        first = makeVolume(QStringLiteral("First"), QStringLiteral("First"));
        second = makeVolume(QStringLiteral("Second"), QStringLiteral("Second"));
        machine->setVolumes({first, second});
        makeStore();
        refresh();
        waitForLoad();
    }

    // Lets the USB loop (a clock of its own) turn a few times.
    void letLoopsTurn(IPodStore& s) {
        IPodStore::ViewTask clock = s.usbWatchLoop();
        const int start = machine->usbScans();
        ASSERT_TRUE(TestSupport::waitUntil([&] { return machine->usbScans() >= start + 5; }));
    }

    QString first;
    QString second;
};

} // namespace

TEST_F(StoreLoops, AProductWithoutABatteryWordIsReadOnce) {
    startWithTwo();
    machine->setBattery(batteryOf(false, std::nullopt));
    IPodStore::ViewTask loop = store->deviceInfoLoop(deviceAt(first));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return loop.isFinished(); }));
    letLoopsTurn(*store);
    EXPECT_EQ(machine->batteryReads(), 1);
    EXPECT_FALSE(store->battery());
}

TEST_F(StoreLoops, TheBatteryIsPolledButNotReadWhileTheDeviceIsBusy) {
    startWithTwo();
    IPodStore& s = *store;
    machine->setBattery(batteryOf(true, 80));
    IPodStore::ViewTask loop = s.deviceInfoLoop(deviceAt(first));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return s.battery() && s.battery()->percent == 80; }));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return machine->batteryReads() >= 2; }));

    IPodStoreTestAccess::setActiveDeviceID(s, deviceAt(first).id);
    TestSupport::drainEvents();
    const int reads = machine->batteryReads();
    machine->setBattery(batteryOf(true, 50));
    letLoopsTurn(s);
    EXPECT_LE(machine->batteryReads(), reads + 1); // at most the read already under way
    const int whileBusy = machine->batteryReads();
    letLoopsTurn(s);
    EXPECT_EQ(machine->batteryReads(), whileBusy);
    EXPECT_FALSE(loop.isFinished());

    IPodStoreTestAccess::setActiveDeviceID(s, std::nullopt);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return s.battery() && s.battery()->percent == 50; }));

    // Selecting another device clears the battery and ends the loop.
    s.setSelection(Selection::disk(deviceAt(second).id));
    EXPECT_FALSE(s.battery());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return loop.isFinished(); }));
}

TEST_F(StoreLoops, TheUSBLoopRefreshesOnlyWhenTheScanChanged) {
    startWithTwo();
    IPodStore& s = *store;
    IPodStore::ViewTask loop = s.usbWatchLoop();
    machine->setUSB({{0x91, 0x1261}});
    ASSERT_TRUE(TestSupport::waitUntil([&] { return s.unmountedIPods().size() == 1; }));
    const int listings = machine->volumeListings();
    const int scans = machine->usbScans();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return machine->usbScans() >= scans + 5; }));
    EXPECT_EQ(machine->volumeListings(), listings);

    loop.cancel();
    EXPECT_TRUE(loop.isFinished());
}

TEST_F(StoreLoops, NamesAndModelsAreLoadedForRowsButNeverReadForTheSelectedDevice) {
    startWithTwo();
    IPodStore& s = *store;
    // The selected device's name and model came with its library: nothing left to read.
    IPodStore::ViewTask selected = s.loadDeviceNameAndModel(deviceAt(first));
    EXPECT_TRUE(selected.isFinished());

    const IPodDevice other = deviceAt(second);
    ASSERT_FALSE(s.storedDeviceName(other.id));
    IPodStore::ViewTask row = s.loadDeviceNameAndModel(other);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return row.isFinished(); }));
    EXPECT_EQ(s.storedDeviceName(other.id), QStringLiteral("Second"));
    ASSERT_TRUE(s.deviceModels().contains(other.id));
    EXPECT_EQ(s.deviceModels()[other.id].family, IPodModel::Family::nano);
    EXPECT_EQ(machine->loadsStarted(), 1);
}

TEST_F(StoreLoops, TheSoftwareVersionIsPublishedOnlyForTheSelectedDevice) {
    first = makeVolume(QStringLiteral("First"), QStringLiteral("First"));
    second = makeVolume(QStringLiteral("Second"), QStringLiteral("Second"));
    for (const QString& path : {first, second}) {
        QFile sysInfo(path + QStringLiteral("/iPod_Control/Device/SysInfo"));
        ASSERT_TRUE(sysInfo.open(QIODevice::Append));
        sysInfo.write("\nvisibleBuildID: 0x13008000 (1.3)\n");
    }
    machine->setVolumes({first, second});
    IPodStore& s = makeStore();
    refresh();
    IPodStore::ViewTask other = s.loadSoftwareVersion(deviceAt(second));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return other.isFinished(); }));
    EXPECT_FALSE(s.softwareVersion());
    IPodStore::ViewTask mine = s.loadSoftwareVersion(deviceAt(first));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return mine.isFinished(); }));
    EXPECT_EQ(s.softwareVersion(), QStringLiteral("1.3"));
    s.setSelection(Selection::disk(deviceAt(second).id));
    EXPECT_FALSE(s.softwareVersion());
}

TEST_F(StoreLoops, TheMainThreadKeepsAnsweringWhileEveryDeviceReadIsSlow) {
    startWithTwo();
    IPodStore& s = *store;
    machine->setBattery(batteryOf(true, 10));
    const int listings = machine->volumeListings();
    const int loads = machine->loadsFinished();
    machine->setDelay(2s);

    IPodStore::ViewTask usb = s.usbWatchLoop();
    IPodStore::ViewTask mobile = s.mobileDeviceWatchLoop();
    IPodStore::ViewTask battery = s.deviceInfoLoop(deviceAt(first));
    IPodStore::ViewTask names = s.loadDeviceNameAndModel(deviceAt(second));
    s.refreshDevices();
    s.retryLibraryLoad();
    s.setSelection(Selection::disk(deviceAt(second).id));

    // Waiting runs this thread's event loop: it turns while the slow reads sleep.
    ASSERT_TRUE(TestSupport::waitUntil([&] { return machine->slowReadsStarted() >= 4; }));
    bool answered = false;
    QTimer::singleShot(0, [&] { answered = true; });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return answered; }));
    // Every slow read is still under way, and none of it held the main thread.
    EXPECT_EQ(machine->volumeListings(), listings);
    EXPECT_EQ(machine->loadsFinished(), loads);
    EXPECT_EQ(machine->batteryReads(), 0);

    machine->setDelay(0ms);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return loadedName() == QStringLiteral("Second"); }));
}

TEST_F(StoreLoops, APreviewPlaysPausesAndLetsGoOfItsFileWhenAnOperationStarts) {
    if (!TestSupport::hasFFmpegTool())
        GTEST_SKIP() << "ffmpeg is not installed";
    const QString tone = work.path() + QStringLiteral("/tone.mp3");
    TestSupport::ToneSpec sine;
    sine.seconds = 3.0;
    ASSERT_TRUE(TestSupport::makeTone(tone, sine));
    if (const auto why = TestSupport::audioPlaybackUnavailable(tone))
        GTEST_SKIP() << "this machine cannot play audio: " << qPrintable(*why);
    const QString path = makeVolume(QStringLiteral("Audio"), QStringLiteral("Audio"),
                                    {{.title = QStringLiteral("Missing")},
                                     {.title = QStringLiteral("Tone"), .sourceFile = tone}});
    // The first track's file goes away.
    machine->setVolumes({path});
    IPodStore& s = makeStore();
    refresh();
    waitForLoad();
    const quint64 missing = trackIDs[QStringLiteral("Audio")][0];
    const quint64 playable = trackIDs[QStringLiteral("Audio")][1];
    {
        const auto database = deviceAt(path).openDatabase();
        QFile::remove(database->fileURL(missing));
    }

    // The first load is replaced before it can fail: its failure must never show.
    s.togglePreview(missing);
    s.togglePreview(playable);
    EXPECT_EQ(s.previewTrackID(), playable);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return s.isPreviewPlaying() || s.alert(); }));
    ASSERT_FALSE(s.alert()) << qPrintable(*s.alert());

    const QString file = [&] {
        const auto database = deviceAt(path).openDatabase();
        return database->fileURL(playable);
    }();
    s.togglePreview(playable);
    EXPECT_FALSE(s.isPreviewPlaying());
    EXPECT_EQ(s.previewTrackID(), playable);
    s.seekPreview(playable, 1e6);
    ASSERT_TRUE(s.previewTimes());
    EXPECT_LE(s.previewTimes()->first, s.previewTimes()->second);
    s.playPreview(playable);
    EXPECT_TRUE(s.isPreviewPlaying());

    IPodStoreTestAccess::setActiveDeviceID(s, deviceAt(path).id);
    EXPECT_FALSE(s.previewTrackID());
    EXPECT_FALSE(s.isPreviewPlaying());
    EXPECT_FALSE(s.previewTimes());
    EXPECT_FALSE(fileIsOpen(file));
    EXPECT_FALSE(s.alert());
}
