// The write lock of an iPod volume: shared by the holds of one process, exclusive against every
// other process (here util-linux's flock, which takes the same lock on the same folder), and
// free again when a holder is killed. Writing sessions take it before they read; reading
// sessions never do and write nothing.

#include "../transfer/MountHelpers.h"
#include "WriteTestSupport.h"
#include "support/FatStick.h"
#include "support/IPodVolume.h"
#include "support/VolumeLockHolder.h"

#include "library/VolumeWriteLock.h"

#include <QTemporaryDir>

#include <memory>
#include <stdexcept>

using TestSupport::IPodVolume;
using WriteTests::failureOf;
using Case = IPodDatabaseError::Case;

namespace {

bool isRefusedAsInUse(const QString& root) {
    try {
        const VolumeWriteLock lock(root);
    } catch (const IPodDatabaseError& error) {
        return error.errorCase() == Case::deviceInUse;
    }
    return false;
}

} // namespace

TEST(VolumeWriteLock, KeepsOtherProcessesOutOnEachKindOfVolume) {
    const QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    TmpfsMount tmpfs(work.filePath(QStringLiteral("tmpfs")), 1 << 20);
    TestSupport::FatStick fat(work.filePath(QStringLiteral("fat")), 8);
    const struct {
        const char* kind;
        QString root;
        bool available;
    } volumes[] = {
        {"folder", work.path(), true},
        {"tmpfs", tmpfs.path(), tmpfs.isMounted()},
        {"FAT", fat.mountPoint(), fat.mounted()},
    };
    QStringList unavailable;
    for (const auto& volume : volumes) {
        SCOPED_TRACE(volume.kind);
        if (!volume.available) {
            unavailable.append(QString::fromLatin1(volume.kind));
            continue;
        }
        {
            auto first = std::make_unique<VolumeWriteLock>(volume.root);
            EXPECT_TRUE(VolumeWriteLock::isHeld(volume.root));
            // Another path to the same folder is the same volume.
            const VolumeWriteLock second(volume.root + QStringLiteral("/."));
            EXPECT_FALSE(TestSupport::isVolumeLockFreeElsewhere(volume.root));
            first.reset();
            EXPECT_FALSE(TestSupport::isVolumeLockFreeElsewhere(volume.root))
                << "the second hold lets go";
        }
        EXPECT_FALSE(VolumeWriteLock::isHeld(volume.root));
        EXPECT_TRUE(TestSupport::isVolumeLockFreeElsewhere(volume.root));

        const std::unique_ptr<QProcess> holder = TestSupport::holdVolumeLockElsewhere(volume.root);
        ASSERT_TRUE(holder);
        EXPECT_TRUE(isRefusedAsInUse(volume.root));
        holder->kill();
        holder->waitForFinished();
        EXPECT_FALSE(isRefusedAsInUse(volume.root)) << "a killed holder keeps it";
    }
    if (!unavailable.isEmpty())
        GTEST_SKIP() << "no " << unavailable.join(QStringLiteral(" or ")).toStdString()
                     << " mount here";
}

TEST(VolumeWriteLock, WritingSessionsOfOneProcessShareItAndHoldItWhileTheyLive) {
    IPodVolume volume(QStringLiteral("MA477"));
    const int song = volume.addTrack({.title = QStringLiteral("Song")});
    volume.write();
    {
        const IPodDatabase first(volume.mountPoint());
        EXPECT_FALSE(TestSupport::isVolumeLockFreeElsewhere(volume.mountPoint()));
        IPodDatabase second(volume.mountPoint());
        ASSERT_TRUE(second.updateTrackMetadata(volume.trackID(song),
                                               {QStringLiteral("Saved"), {}, {}, {}, {}}));
        second.saveLibrary();
    }
    EXPECT_TRUE(TestSupport::isVolumeLockFreeElsewhere(volume.mountPoint()));
    const IPodDatabase reopened(volume.mountPoint(), std::nullopt, {}, {}, false,
                                SessionAccess::reading);
    EXPECT_EQ(reopened.loadTracks().value(0).title, QStringLiteral("Saved"));
}

TEST(VolumeWriteLock, WhileAnotherProcessHoldsItNothingIsWrittenAndReadingStillWorks) {
    IPodVolume volume(QStringLiteral("MA477"));
    const int song = volume.addTrack({.title = QStringLiteral("Song")});
    volume.write();
    // Left by an earlier operation: a writing session would settle it.
    volume.writeFile(QStringLiteral("iPod_Control/Music/F00/LEFT.mp3"), "audio");
    volume.writeFile(QStringLiteral("iPod_Control/iTunes/") + IPodDatabase::pendingFilesRecord,
                     "Lorvanel pending audio 1\niPod_Control/Music/F00/LEFT.mp3\n");
    const auto before = TestSupport::snapshotTree(volume.mountPoint());
    const std::unique_ptr<QProcess> holder =
        TestSupport::holdVolumeLockElsewhere(volume.mountPoint());
    ASSERT_TRUE(holder);

    EXPECT_EQ(failureOf([&] { IPodDatabase session(volume.mountPoint()); }), Case::deviceInUse);
    IPodDatabase reading(volume.mountPoint(), std::nullopt, {}, {}, false, SessionAccess::reading);
    EXPECT_EQ(reading.loadTracks().size(), 1);
    reading.settlePendingFiles();
    ASSERT_TRUE(reading.updateTrackMetadata(volume.trackID(song),
                                            {QStringLiteral("Lost"), {}, {}, {}, {}}));
    EXPECT_THROW(reading.saveLibrary(), std::logic_error);
    EXPECT_EQ(TestSupport::differences(before, TestSupport::snapshotTree(volume.mountPoint())),
              QStringList());
    holder->closeWriteChannel();
    EXPECT_TRUE(holder->waitForFinished());
}
