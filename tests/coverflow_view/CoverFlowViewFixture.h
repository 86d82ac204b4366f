#pragma once

// The cover-flow view on the real store, fed by iPod volumes that libgpod lays out with real
// cover artwork in their databases (and, where a test asks, tracks whose files carry pictures).

#include "coverflow/CoverFlowView.h"
#include "device/CoverArtworkLoader.h"
#include "device/IPodStore.h"
#include "platform/AppLanguage.h"
#include "platform/Settings.h"
#include "platform/Task.h"
#include "support/EventLoop.h"
#include "support/IPodVolume.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

class CoverFlowViewFixture : public ::testing::Test {
protected:
    struct Machine {
        std::mutex mutex;
        QStringList volumes;
    };
    std::shared_ptr<Machine> machine = std::make_shared<Machine>();
    std::vector<std::unique_ptr<TestSupport::IPodVolume>> volumes;
    std::unique_ptr<IPodStore> store;
    std::unique_ptr<CoverFlowView> view;

    void SetUp() override {
        Settings::shared().setValue(AppLanguages::storageKey(),
                                    AppLanguages::rawValue(AppLanguage::english));
    }

    void TearDown() override {
        gate->open();
        view.reset();
        store.reset();
        // A cover read still parsing must end before its volume is deleted under it.
        Task::cancelAllAndWait(std::chrono::seconds(30));
        TestSupport::drainEvents();
    }

    static QColor albumColour(int i) { return QColor::fromHsv(i * 47 % 360, 210, 230); }
    static quint64 firstTrackID(int album) { return 5000 + 2 * quint64(album); }

    // Albums "Album 0" ... of two file-less tracks each ("Artist i"), both with a cover of the
    // album's colour stored through libgpod, ids from firstTrackID.
    static QList<TestSupport::TrackSpec> albums(int count, int colourShift = 0) {
        QList<TestSupport::TrackSpec> tracks;
        for (int i = 0; i < count; ++i)
            for (int t = 0; t < 2; ++t) {
                TestSupport::TrackSpec spec;
                spec.title = QStringLiteral("Song %1.%2").arg(i).arg(t + 1);
                spec.artist = QStringLiteral("Artist %1").arg(i);
                spec.album = QStringLiteral("Album %1").arg(i);
                spec.withoutFile = true;
                spec.artwork = true;
                spec.artworkColor = albumColour(i + colourShift).rgb() & 0xFFFFFF;
                spec.dbid = firstTrackID(i) + quint64(t);
                tracks.append(spec);
            }
        return tracks;
    }

    // A second-generation nano volume with the tracks; its mount point.
    QString addVolume(const QList<TestSupport::TrackSpec>& tracks,
                      const QString& name = QStringLiteral("Test iPod")) {
        auto volume = std::make_unique<TestSupport::IPodVolume>(
            QStringLiteral("MA477"), TestSupport::IPodVolume::Options{.name = name});
        for (const auto& spec : tracks)
            volume->addTrack(spec);
        volume->write();
        const QString path = QFileInfo(volume->mountPoint()).canonicalFilePath();
        volumes.push_back(std::move(volume));
        std::lock_guard lock(machine->mutex);
        machine->volumes.append(path);
        return path;
    }

    TestSupport::IPodVolume& volumeAt(const QString& path) {
        for (auto& volume : volumes)
            if (QFileInfo(volume->mountPoint()).canonicalFilePath() == path)
                return *volume;
        throw std::runtime_error("no such volume");
    }

    void startStore() {
        IPodStore::Sources sources;
        std::shared_ptr<Machine> m = machine;
        sources.mountedVolumes = [m] {
            std::lock_guard lock(m->mutex);
            return m->volumes;
        };
        sources.scanUSB = [] { return IPodStore::USBScan(); };
        sources.usbRegistryEntryID = [](const IPodDevice&) { return std::optional<quint64>(); };
        sources.mobileDevices = [] {
            return std::optional<QList<MobileDevice>>(QList<MobileDevice>());
        };
        sources.readBattery = [](const IPodDevice&) { return IPodStore::BatteryReading(); };
        sources.loadLibrary = [](const IPodDevice& device) {
            return IPodStore::loadLibrary(device);
        };
        const IPodStore::Periods periods{std::chrono::hours(1), std::chrono::hours(1),
                                         std::chrono::hours(1)};
        store = std::make_unique<IPodStore>(std::move(sources), periods);
        bool done = false;
        store->refreshDevices(std::nullopt, std::nullopt, [&done] { done = true; });
        ASSERT_TRUE(TestSupport::waitUntil([&done] { return done; }));
    }

    IPodDevice deviceAt(const QString& path) const {
        for (const IPodDevice& device : store->devices())
            if (device.mountPoint == path)
                return device;
        ADD_FAILURE() << "no device at " << qPrintable(path);
        return {};
    }

    // Selects the volume and waits for its library.
    IPodDevice select(const QString& path) {
        const IPodDevice device = deviceAt(path);
        store->setSelection(IPodStore::Selection::disk(device.id));
        EXPECT_TRUE(TestSupport::waitUntil([this, &device] {
            return store->library() && store->selectedDiskID() == device.id &&
                   !store->library()->tracks.isEmpty();
        }));
        return device;
    }

    QList<CoverFlowGroup> albumGroups() const {
        return CoverFlowGroup::groups(store->library()->tracks, CoverFlowGroup::Grouping::albums);
    }

    // A shown view of the selected device's albums.
    CoverFlowView& makeView(const IPodDevice& device,
                            CoverFlowView::AddPlaylistAction addPlaylist = {},
                            CoverFlowView::TrackTableBuilder table = {}) {
        view = std::make_unique<CoverFlowView>(*store, device, albumGroups(),
                                               QStringLiteral("Unknown Album"),
                                               std::move(addPlaylist), std::move(table));
        view->setArtworkReader([gate = gate](const IPodDevice& on, const QSet<quint64>& ids) {
            gate->pass();
            return CoverArtworkLoader::loadArtwork(on, ids);
        });
        view->resize(1000, 460);
        view->show();
        return *view;
    }

    // The keys of the albums first ... last (inclusive).
    static QSet<quint64> keysOf(int first, int last) {
        QSet<quint64> keys;
        for (int i = first; i <= last; ++i)
            keys.insert(firstTrackID(i));
        return keys;
    }

    // Holds the view's cover reads before they open the database, until release().
    struct Gate {
        std::mutex mutex;
        std::condition_variable changed;
        bool closed = false;
        bool held = false; // a read has come and waits

        void pass() {
            std::unique_lock lock(mutex);
            held = closed;
            changed.notify_all();
            changed.wait(lock, [this] { return !closed; });
        }
        void open() {
            const std::lock_guard lock(mutex);
            closed = false;
            changed.notify_all();
        }
    };
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();

    void blockReads() {
        const std::lock_guard lock(gate->mutex);
        gate->closed = true;
    }
    // Lets the held reads go once one has come; false when none came within 20 s.
    bool release() {
        bool came = false;
        {
            std::unique_lock lock(gate->mutex);
            came = gate->changed.wait_for(lock, std::chrono::seconds(20),
                                          [this] { return gate->held; });
        }
        gate->open();
        return came;
    }
};
