#pragma once

// The common start of the store tests: a machine, a store on it, and iPod volumes made by
// libgpod and copied where the test wants them (folders, or real mounts).

#include "StoreHarness.h"

#include "appmodel/MediaPreviewPlayer.h"
#include "support/EventLoop.h"
#include "support/IPodVolume.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(work.isValid());
        root = QFileInfo(work.path()).canonicalFilePath();
    }

    void TearDown() override {
        machine->openLoadGate();
        store.reset();
        // Reads still running hold the machine; let them end before the folders go.
        TestSupport::waitUntil(
            [this] { return machine->loadsStarted() == machine->loadsFinished(); });
    }

    IPodStore& makeStore() {
        // Previews play through Qt Multimedia, as in the application.
        IPodPreviewPlayer::setFactory([] { return std::make_unique<MediaPreviewPlayer>(); });
        store = std::make_unique<IPodStore>(machine->sources(), quickPeriods());
        return *store;
    }

    // A second-generation nano named name with these tracks, laid out at root/folder.
    QString makeVolume(const QString& folder, const QString& name,
                       const QList<TestSupport::TrackSpec>& tracks = {{}}, QString at = {}) {
        if (at.isEmpty())
            at = root + QLatin1Char('/') + folder;
        QDir().mkpath(at);
        TestSupport::IPodVolume volume(QStringLiteral("MA477"), {.name = name});
        for (const auto& track : tracks)
            volume.addTrack(track);
        volume.write();
        for (int i = 0; i < volume.trackCount(); ++i)
            trackIDs[name].append(volume.trackID(i));
        EXPECT_TRUE(copyTree(volume.mountPoint(), at));
        return at;
    }

    // Runs one refresh to its end.
    void refresh(std::optional<quint64> ejected = std::nullopt) {
        bool done = false;
        store->refreshDevices(ejected, std::nullopt, [&done] { done = true; });
        ASSERT_TRUE(TestSupport::waitUntil([&done] { return done; }));
    }

    // Waits until the selected device's load has ended either way.
    void waitForLoad() {
        ASSERT_TRUE(
            TestSupport::waitUntil([this] { return store->library() || store->loadError(); }));
    }

    IPodDevice deviceAt(const QString& path) const {
        for (const IPodDevice& device : store->devices()) {
            if (device.mountPoint == QFileInfo(path).canonicalFilePath())
                return device;
        }
        ADD_FAILURE() << "no device at " << qPrintable(path);
        return {};
    }

    std::optional<QString> loadedName() const {
        return store->library() ? store->library()->deviceName : std::nullopt;
    }

    QTemporaryDir work;
    QString root;
    std::shared_ptr<TestMachine> machine = std::make_shared<TestMachine>();
    std::unique_ptr<IPodStore> store;
    QHash<QString, QList<quint64>> trackIDs; // by volume name
};
