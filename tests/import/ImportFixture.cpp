#include "ImportFixture.h"

#include "platform/LocalizedError.h"
#include "transfer/IPodTransfer.h"

#include <QObject>

#include <sys/mount.h>

namespace ImportTest {

bool MountedIPod::copyTree(const QString& from, const QString& to) {
    return TestVolumes::run(QStringLiteral("cp"),
                            {QStringLiteral("-a"), from + QStringLiteral("/."), to});
}

std::unique_ptr<MountedIPod> MountedIPod::make(FileSystem kind, const TestSupport::IPodVolume& tree,
                                               const QString& tmpfsOptions) {
    if (!TestVolumes::whyMountsAreUnavailable().isEmpty())
        return nullptr;
    auto made = std::unique_ptr<MountedIPod>(new MountedIPod);
    if (!made->dir.isValid())
        return nullptr;
    made->path = made->dir.filePath(QStringLiteral("iPod"));
    if (kind == FileSystem::tmpfs) {
        made->mount = TestVolumes::Mount::tmpfs(made->path, tmpfsOptions);
    } else {
        const QString image = made->dir.filePath(QStringLiteral("ipod.img"));
        if (!TestVolumes::makeExt4Image(image))
            return nullptr;
        made->mount = TestVolumes::Mount::image(image, made->path);
    }
    if (!made->mount || !copyTree(tree.mountPoint(), made->path))
        return nullptr;
    made->ipod = IPodDevice::fromMountPoint(made->path);
    if (!made->ipod)
        return nullptr;
    return made;
}

bool MountedIPod::swapFor(const TestSupport::IPodVolume& tree) {
    if (::umount2(QFile::encodeName(path).constData(), MNT_DETACH) != 0)
        return false;
    replacement = TestVolumes::Mount::tmpfs(path, QStringLiteral("size=64m,mode=0755"));
    return replacement && copyTree(tree.mountPoint(), path);
}

bool MountedIPod::unplug() {
    return ::umount2(QFile::encodeName(path).constData(), MNT_DETACH) == 0;
}

QString Outcome::errorText() const {
    return localizedDescription(error);
}

bool Outcome::wasCancelled() const {
    if (!error)
        return false;
    try {
        std::rethrow_exception(error);
    } catch (const CancellationError&) {
        return true;
    } catch (...) {
        return false;
    }
}

Outcome runImport(const QStringList& urls, const IPodDevice& device,
                  const TransferSettings& settings,
                  std::function<void(const ImportProgress&)> onProgress) {
    return runImport(urls, importTarget(device), settings, std::move(onProgress));
}

Outcome runImport(const QStringList& urls, const IPodTransfer::ImportTarget& target,
                  const TransferSettings& settings,
                  std::function<void(const ImportProgress&)> onProgress) {
    auto outcome = std::make_shared<Outcome>();
    auto mutex = std::make_shared<QMutex>();
    bool done = false;
    QObject receiver;
    Task::run(
        TaskPriority::userInitiated, &receiver,
        [=] {
            return IPodTransfer::importAudio(
                urls, target, settings,
                [&](const ImportProgress& value) {
                    {
                        QMutexLocker lock(mutex.get());
                        outcome->progress.append(value);
                    }
                    if (onProgress)
                        onProgress(value);
                },
                [&](const Track& track) {
                    QMutexLocker lock(mutex.get());
                    outcome->added.append(track);
                });
        },
        [&](std::optional<IPodTransfer::ImportResult> result, std::exception_ptr error) {
            if (result) {
                outcome->failures = result->failures;
                outcome->skippedIdentical = result->skippedIdentical;
            }
            outcome->error = error;
            done = true;
        });
    EXPECT_TRUE(TestSupport::waitUntil([&] { return done; }, 240000));
    return *outcome;
}

QString whyImportsCannotRun() {
    if (!TestSupport::hasFFmpegTool())
        return QStringLiteral("the ffmpeg tool is needed for the audio");
    return TestVolumes::whyMountsAreUnavailable();
}

QList<Track> tracksOn(const QString& mountPoint) {
    return IPodDatabase(mountPoint).loadTracks();
}

} // namespace ImportTest
