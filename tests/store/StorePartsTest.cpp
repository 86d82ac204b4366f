// The store's parts on their own: the library loader's one read at a time, an operation's
// reports and ending, the registry's selection repair, and a preview with no player; and the
// store's refusal of a set of sources with one left out.

#include "device/DeviceRegistry.h"
#include "device/IPodDeviceError.h"
#include "device/LibraryLoader.h"
#include "device/PreviewController.h"
#include "device/StoreOperation.h"
#include "library/IPodDatabaseError.h"
#include "platform/LocalizedError.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

IPodDevice deviceNamed(const QString& path) {
    IPodDevice device;
    device.id.path = path;
    device.mountPoint = path;
    return device;
}

// A read that waits until the test lets each device's read go, and counts reads at once.
struct GatedReads {
    std::mutex mutex;
    std::condition_variable changed;
    QSet<QString> released;
    int running = 0;
    int maxRunning = 0;
    int started = 0;

    IPodLibrary read(const IPodDevice& device) {
        std::unique_lock lock(mutex);
        ++started;
        maxRunning = std::max(maxRunning, ++running);
        changed.wait(lock, [&] { return released.contains(device.mountPoint); });
        --running;
        if (device.mountPoint.endsWith(QLatin1String("broken")))
            throw IPodDatabaseError::missingMainPlaylist();
        IPodLibrary library;
        library.deviceName = device.mountPoint;
        return library;
    }
    void release(const QString& path) {
        {
            std::lock_guard lock(mutex);
            released.insert(path);
        }
        changed.notify_all();
    }
    int startedCount() {
        std::lock_guard lock(mutex);
        return started;
    }
};

TEST(LibraryLoader, ReadsOneLibraryAtATimeAndShowsOnlyTheNewest) {
    auto reads = std::make_shared<GatedReads>();
    LibraryLoader loader([reads](const IPodDevice& d) { return reads->read(d); },
                         [](const IPodDevice::ID&) { return true; });
    QSignalSpy read(&loader, &LibraryLoader::libraryRead);
    loader.load(deviceNamed(QStringLiteral("/a")));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return reads->startedCount() == 1; }));
    loader.clear();
    loader.load(deviceNamed(QStringLiteral("/b")));
    TestSupport::drainEvents();
    EXPECT_EQ(reads->startedCount(), 1); // /b waits for /a's read to end

    reads->release(QStringLiteral("/b"));
    reads->release(QStringLiteral("/a"));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return loader.library().has_value(); }));
    EXPECT_EQ(loader.library()->deviceName, QStringLiteral("/b"));
    EXPECT_EQ(read.count(), 1);
    EXPECT_EQ(reads->maxRunning, 1);
}

TEST(LibraryLoader, KeepsTheErrorOfAFailedReadAndDropsAnUnwantedOne) {
    auto reads = std::make_shared<GatedReads>();
    bool wanted = true;
    LibraryLoader loader([reads](const IPodDevice& d) { return reads->read(d); },
                         [&wanted](const IPodDevice::ID&) { return wanted; });
    reads->release(QStringLiteral("/broken"));
    loader.load(deviceNamed(QStringLiteral("/broken")));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return loader.loadError() != nullptr; }));
    EXPECT_EQ(localizedDescription(loader.loadError(), AppLanguage::english),
              QStringLiteral("The iPod database is missing its main playlist."));
    EXPECT_FALSE(loader.library());

    loader.clear();
    EXPECT_FALSE(loader.loadError());
    wanted = false;
    reads->release(QStringLiteral("/gone"));
    loader.load(deviceNamed(QStringLiteral("/gone")));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return reads->startedCount() == 2; }));
    TestSupport::waitUntil([] { return false; }, 200);
    EXPECT_FALSE(loader.library());
    EXPECT_FALSE(loader.loadError());
}

TEST(StoreOperation, ReportsArriveInOrderBeforeTheEnd) {
    std::unique_ptr<StoreOperation> operation =
        StoreOperation::start([](const OperationReporter& report) {
            for (int i = 1; i <= 3; ++i)
                report.progress(ImportProgress{QStringLiteral("f"), QString(), i, 3, i / 3.0});
            Track track;
            track.title = QStringLiteral("staged");
            report.stagedTrack(track);
            return QStringList{QStringLiteral("one failure")};
        });
    QList<int> order;
    QStringList lines;
    bool completed = false;
    QObject::connect(operation.get(), &StoreOperation::progressed,
                     [&](const ImportProgress& p) { order.append(*p.fileIndex); });
    QObject::connect(operation.get(), &StoreOperation::trackStaged,
                     [&](const Track&) { order.append(0); });
    QObject::connect(operation.get(), &StoreOperation::finished, [&](const QStringList& l, bool c) {
        lines = l;
        completed = c;
    });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !lines.isEmpty(); }));
    EXPECT_EQ(order, (QList<int>{1, 2, 3, 0}));
    EXPECT_EQ(lines, QStringList{QStringLiteral("one failure")});
    EXPECT_TRUE(completed);
}

TEST(StoreOperation, ACancelledRunEndsAsADisconnectionAndAnErrorWithItsText) {
    std::atomic<bool> started{false};
    std::unique_ptr<StoreOperation> cancelled =
        StoreOperation::start([&started](const OperationReporter&) -> QStringList {
            started = true;
            for (;;)
                Task::sleep(std::chrono::milliseconds(5));
        });
    std::optional<std::pair<QStringList, bool>> end;
    QObject::connect(cancelled.get(), &StoreOperation::finished,
                     [&](const QStringList& l, bool c) { end.emplace(l, c); });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return started.load(); }));
    cancelled->cancel();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return end.has_value(); }));
    EXPECT_EQ(end->first, QStringList{localizedDescription(IPodDeviceError())});
    EXPECT_FALSE(end->second);

    std::unique_ptr<StoreOperation> failing = StoreOperation::start(
        [](const OperationReporter&) -> QStringList { throw IPodDatabaseError::readOnlyVolume(); });
    end.reset();
    QObject::connect(failing.get(), &StoreOperation::finished,
                     [&](const QStringList& l, bool c) { end.emplace(l, c); });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return end.has_value(); }));
    EXPECT_EQ(end->first, QStringList{IPodDatabaseError::readOnlyVolume().description()});
}

TEST(StoreOperation, NothingArrivesOnceTheOperationIsGone) {
    std::atomic<bool> release{false};
    std::atomic<bool> done{false};
    std::unique_ptr<StoreOperation> operation =
        StoreOperation::start([&](const OperationReporter& report) {
            while (!release)
                std::this_thread::yield();
            report.progress(ImportProgress{});
            done = true;
            return QStringList();
        });
    int received = 0;
    QObject::connect(operation.get(), &StoreOperation::finished, [&] { ++received; });
    QObject::connect(operation.get(), &StoreOperation::progressed, [&] { ++received; });
    operation.reset();
    release = true;
    ASSERT_TRUE(TestSupport::waitUntil([&] { return done.load(); }));
    TestSupport::waitUntil([] { return false; }, 100);
    EXPECT_EQ(received, 0);
}

// A machine with nothing mounted: only USB entries and iPod touch devices.
struct QuietMachine {
    std::mutex mutex;
    IPodStore::USBScan usb;
    QList<MobileDevice> mobile;

    IPodStore::Sources sources(const std::shared_ptr<QuietMachine>& self) {
        IPodStore::Sources s;
        s.mountedVolumes = [] { return QStringList(); };
        s.scanUSB = [self] {
            std::lock_guard lock(self->mutex);
            return self->usb;
        };
        s.usbRegistryEntryID = [](const IPodDevice&) { return std::optional<quint64>(); };
        s.mobileDevices = [self] {
            std::lock_guard lock(self->mutex);
            return std::optional<QList<MobileDevice>>(self->mobile);
        };
        return s;
    }
};

TEST(DeviceRegistry, RepairKeepsAnExistingSelectionAndOtherwisePicksTheFirstDevice) {
    auto machine = std::make_shared<QuietMachine>();
    machine->usb = {{0x20, 0x1260}, {0x10, 0x1209}};
    using namespace std::chrono_literals;
    DeviceRegistry registry(machine->sources(machine), IPodStore::Periods{10ms, 10ms, 10ms});
    QSignalSpy assigned(&registry, &DeviceRegistry::selectionAssigned);
    auto refresh = [&] {
        bool done = false;
        registry.refresh(std::nullopt, std::nullopt, [&done] { done = true; });
        ASSERT_TRUE(TestSupport::waitUntil([&done] { return done; }));
    };
    refresh();
    EXPECT_EQ(registry.selection(), IPodStore::Selection::unmounted(0x10));

    {
        std::lock_guard lock(machine->mutex);
        machine->mobile = {*MobileDevice::make(QStringLiteral("udid"), QStringLiteral("iPod9,1"),
                                               QStringLiteral("Touch"), std::nullopt,
                                               std::nullopt)};
    }
    IPodStore::ViewTask loop = registry.mobileDeviceWatchLoop();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return registry.mobileDevices().size() == 1; }));
    EXPECT_EQ(registry.selection(), IPodStore::Selection::unmounted(0x10));

    {
        std::lock_guard lock(machine->mutex);
        machine->usb.clear();
    }
    refresh();
    EXPECT_EQ(registry.selection(), IPodStore::Selection::mobile(QStringLiteral("udid")));
    EXPECT_TRUE(registry.unmountedIPods().empty());
    EXPECT_GE(assigned.count(), 2);
}

TEST(StoreSources, AStoreMadeForATestRefusesSourcesLeftOut) {
    auto machine = std::make_shared<QuietMachine>();
    IPodStore::Sources partial = machine->sources(machine); // no library load, no battery read
    try {
        IPodStore store(partial, IPodStore::Periods{});
        ADD_FAILURE() << "a store was made with sources missing";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ(error.what(), "IPodStore::Sources lacks loadLibrary, readBattery");
    }
    EXPECT_EQ(IPodStore::Sources().missing().size(), 6);
    EXPECT_TRUE(IPodStore::Sources::system().missing().isEmpty());

    partial.loadLibrary = [](const IPodDevice& device) { return IPodStore::loadLibrary(device); };
    partial.readBattery = [](const IPodDevice&) { return IPodStore::BatteryReading(); };
    EXPECT_NO_THROW(IPodStore(partial, IPodStore::Periods{}));
}

TEST(PreviewController, WithoutAPlayerEveryPreviewFailsOnceAndStops) {
    IPodPreviewPlayer::setFactory({});
    PreviewController preview;
    QSignalSpy failed(&preview, &PreviewController::failed);
    preview.toggle(deviceNamed(QStringLiteral("/nowhere")), 7);
    EXPECT_EQ(preview.trackID(), 7u);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return failed.count() == 1; }));
    EXPECT_FALSE(preview.trackID());
    EXPECT_FALSE(preview.isPlaying());
    EXPECT_FALSE(preview.times());
}

} // namespace
