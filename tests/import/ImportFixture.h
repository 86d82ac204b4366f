#pragma once

// An iPod made by libgpod on a real mounted file system (tmpfs or a loop-mounted ext4 image),
// and a way to run an import in a task the way the store runs it.

#include "../device/TestVolumes.h"

#include "support/AudioFixtures.h"
#include "support/EventLoop.h"
#include "support/IPodVolume.h"

#include "device/DeviceImportTarget.h"
#include "device/IPodDevice.h"
#include "library/IPodDatabase.h"
#include "platform/Task.h"
#include "transfer/AudioImport.h"

#include <QDir>
#include <QMutex>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace ImportTest {

enum class FileSystem { tmpfs, ext4 };

// A mounted volume holding a copy of a libgpod-made iPod tree.
class MountedIPod {
public:
    // Empty unless mounting worked.
    static std::unique_ptr<MountedIPod>
    make(FileSystem kind, const TestSupport::IPodVolume& tree,
         const QString& tmpfsOptions = QStringLiteral("size=64m,mode=0755"));
    // Another volume mounted at the same path in place of this one (the old one detached).
    bool swapFor(const TestSupport::IPodVolume& tree);
    bool remountReadOnly() { return mount->remount(QStringLiteral("ro")); }
    // Takes the volume away from its path at once, as pulling the iPod does.
    bool unplug();

    QString mountPoint() const { return path; }
    const IPodDevice& device() const { return *ipod; }
    TestSupport::TreeSnapshot
    snapshot(TestSupport::FolderTimes times = TestSupport::FolderTimes::recorded) const {
        return TestSupport::snapshotTree(path, times);
    }

private:
    static bool copyTree(const QString& from, const QString& to);
    QTemporaryDir dir;
    QString path;
    std::unique_ptr<TestVolumes::Mount> mount;
    std::unique_ptr<TestVolumes::Mount> replacement;
    std::optional<IPodDevice> ipod;
};

struct Outcome {
    std::optional<QStringList> failures;
    int skippedIdentical = 0;
    std::exception_ptr error;
    QList<ImportProgress> progress;
    QList<Track> added;

    // The text of the thrown error; empty when none was thrown.
    QString errorText() const;
    bool wasCancelled() const;
};

// Runs importAudio in a task and waits for its result. onProgress runs on the import's thread
// after each report is recorded (a test cancels or swaps volumes from there).
Outcome runImport(const QStringList& urls, const IPodDevice& device,
                  const TransferSettings& settings = TransferSettings::defaults(),
                  std::function<void(const ImportProgress&)> onProgress = {});
// The same into a target of the test's making.
Outcome runImport(const QStringList& urls, const IPodTransfer::ImportTarget& target,
                  const TransferSettings& settings = TransferSettings::defaults(),
                  std::function<void(const ImportProgress&)> onProgress = {});

// Why imports cannot be run here (no ffmpeg tool for the audio, no mounts); empty when they can.
QString whyImportsCannotRun();

// The tracks of the volume's database as libgpod reads it now.
QList<Track> tracksOn(const QString& mountPoint);

} // namespace ImportTest
