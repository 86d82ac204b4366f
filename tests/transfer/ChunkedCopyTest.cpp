// The chunked copy on real file systems: limits, exclusive create, progress, cancellation, a
// full disk, a read-only volume and a volume that goes away during the copy.

#include "MountHelpers.h"

#include "library/IPodDatabaseError.h"
#include "platform/Task.h"
#include "transfer/ChunkedCopy.h"
#include "transfer/ImportError.h"
#include "transfer/ImportProgress.h"
#include "transfer/PosixError.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <sys/stat.h>

namespace {

class ChunkedCopyTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }
    QString makeFile(const QString& name, qint64 size) {
        QByteArray bytes(size, '\0');
        for (qint64 i = 0; i < size; ++i)
            bytes[i] = char((i * 131 + 7) % 251);
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path(name);
    }
    QString sparseFile(const QString& name, qint64 size) {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        EXPECT_TRUE(f.resize(size));
        return path(name);
    }
    static QByteArray readAll(const QString& p) {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir dir;
};

TEST_F(ChunkedCopyTest, WritesPrefixThenTheTailWithMode0644AndReportsInSteps) {
    const QString src = makeFile(QStringLiteral("src"), 5 * 1048576 + 123);
    ::chmod(src.toLocal8Bit().constData(), 0600);
    std::vector<double> reports;
    int identityChecks = 0;
    const QString dst = path(QStringLiteral("dst"));
    copyFileWithProgress(
        src, dst, [&] { ++identityChecks; }, QByteArray("TAG!"), 10,
        [&](double f) { reports.push_back(f); });
    EXPECT_EQ(readAll(dst), QByteArray("TAG!") + readAll(src).mid(10));
    EXPECT_EQ(identityChecks, 2); // before the create and after the file is complete
    struct stat st {};
    ASSERT_EQ(::stat(dst.toLocal8Bit().constData(), &st), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0644u & ~mask);
    ASSERT_FALSE(reports.empty());
    EXPECT_LE(reports.size(), 50u);
    for (size_t i = 1; i < reports.size(); ++i)
        EXPECT_GE(reports[i] - reports[i - 1], 0.02 - 1e-12);
}

TEST_F(ChunkedCopyTest, OneChunkAfterALargeOffsetGivesOneReportOfTheWhole) {
    const QString src = makeFile(QStringLiteral("src"), 100000);
    std::vector<double> reports;
    copyFileWithProgress(src, path(QStringLiteral("dst")), {}, {}, 1000,
                         [&](double f) { reports.push_back(f); });
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_DOUBLE_EQ(reports[0], 1.0);

    // The import form maps F onto the file's share after the conversion.
    std::vector<std::pair<QString, double>> shares;
    copyFileWithProgress(
        src, path(QStringLiteral("dst2")), {},
        [&](const QString& stage, double share) { shares.emplace_back(stage, share); }, 0.75);
    ASSERT_EQ(shares.size(), 1u);
    EXPECT_EQ(shares[0].first, ImportStage::copying);
    EXPECT_DOUBLE_EQ(shares[0].second, 1.0);
}

TEST_F(ChunkedCopyTest, SizesOutsideThirtyTwoBitsAndBadOffsetsAreRefusedBeforeAnyFile) {
    const QString empty = sparseFile(QStringLiteral("empty"), 0);
    const QString small = makeFile(QStringLiteral("small"), 100);
    const QString huge = sparseFile(QStringLiteral("huge"), 0x100000000LL);
    const QString largest = sparseFile(QStringLiteral("largest"), 0xFFFFFFFFLL);
    const QString dst = path(QStringLiteral("dst"));
    EXPECT_THROW(copyFileWithProgress(empty, dst, {}, {}, 0, {}), IPodDatabaseError);
    EXPECT_THROW(copyFileWithProgress(small, dst, {}, {}, 100, {}), IPodDatabaseError);
    EXPECT_THROW(copyFileWithProgress(huge, dst, {}, {}, 0, {}), IPodDatabaseError);
    EXPECT_THROW(copyFileWithProgress(largest, dst, {}, QByteArray(1, 'x'), 0, {}),
                 IPodDatabaseError);
    EXPECT_FALSE(QFile::exists(dst));
    EXPECT_THROW(copyFileWithProgress(path(QStringLiteral("missing")), dst, {}, {}, 0, {}),
                 PosixError);
}

TEST_F(ChunkedCopyTest, NeverOverwritesOrFollowsALink) {
    const QString src = makeFile(QStringLiteral("src"), 1000);
    const QString existing = makeFile(QStringLiteral("existing"), 10);
    try {
        copyFileWithProgress(src, existing, {}, {}, 0, {});
        FAIL();
    } catch (const PosixError& e) {
        EXPECT_EQ(e.code(), EEXIST);
    }
    EXPECT_EQ(readAll(existing).size(), 10);
    const QString target = path(QStringLiteral("target"));
    const QString link = path(QStringLiteral("link"));
    ASSERT_EQ(::symlink(target.toLocal8Bit().constData(), link.toLocal8Bit().constData()), 0);
    EXPECT_THROW(copyFileWithProgress(src, link, {}, {}, 0, {}), PosixError);
    EXPECT_FALSE(QFile::exists(target)); // the dangling link was not followed
    EXPECT_EQ(QFile::symLinkTarget(link), target);
}

TEST_F(ChunkedCopyTest, CancellationRemovesThePartialFile) {
    const QString src = makeFile(QStringLiteral("src"), 4 * 1048576);
    const QString dst = path(QStringLiteral("dst"));
    std::exception_ptr error;
    bool done = false;
    Task task = Task::run(TaskPriority::userInitiated, [&] {
        try {
            copyFileWithProgress(src, dst, {}, {}, 0,
                                 [&](double) { Task::currentState()->cancel(); });
        } catch (...) {
            error = std::current_exception();
        }
        done = true;
    });
    while (!task.isFinished())
        QThread::msleep(5);
    ASSERT_TRUE(done);
    ASSERT_TRUE(error);
    EXPECT_THROW(std::rethrow_exception(error), CancellationError);
    EXPECT_FALSE(QFile::exists(dst));
}

TEST_F(ChunkedCopyTest, AFullDiskAndAReadOnlyVolumeLeaveNoFile) {
    TmpfsMount volume(path(QStringLiteral("ipod")), 2 * 1048576);
    if (!volume.isMounted())
        GTEST_SKIP() << "needs root to mount a tmpfs";
    const QString src = makeFile(QStringLiteral("big"), 3 * 1048576);
    const QString dst = volume.path() + QStringLiteral("/big");
    try {
        copyFileWithProgress(src, dst, {}, {}, 0, {});
        FAIL() << "3 MiB fitted on a 2 MiB volume";
    } catch (const PosixError& e) {
        EXPECT_EQ(e.code(), ENOSPC);
    }
    EXPECT_FALSE(QFile::exists(dst));
    // The next, smaller file still fits.
    copyFileWithProgress(makeFile(QStringLiteral("small"), 1000),
                         volume.path() + QStringLiteral("/small"), {}, {}, 0, {});

    ASSERT_TRUE(volume.remountReadOnly());
    try {
        copyFileWithProgress(src, volume.path() + QStringLiteral("/ro"), {}, {}, 0, {});
        FAIL();
    } catch (const PosixError& e) {
        EXPECT_EQ(e.code(), EROFS);
    }
}

// The identity of a volume the way the device layer checks it: the mount point's numbers.
IdentityCheck identityOf(const QString& mountPoint) {
    struct stat first {};
    ::lstat(mountPoint.toLocal8Bit().constData(), &first);
    return [mountPoint, first] {
        struct stat now {};
        if (::lstat(mountPoint.toLocal8Bit().constData(), &now) != 0 ||
            now.st_dev != first.st_dev || now.st_ino != first.st_ino)
            throw ImportError::disconnected();
    };
}

TEST_F(ChunkedCopyTest, AVolumeThatGoesAwayKeepsThePartialFileAndTheFirstError) {
    TmpfsMount volume(path(QStringLiteral("ipod")), 16 * 1048576);
    if (!volume.isMounted())
        GTEST_SKIP() << "needs root to mount a tmpfs";
    // A second view of the same volume, to see what the copy left behind.
    const QString view = path(QStringLiteral("view"));
    QDir().mkpath(view);
    ASSERT_EQ(::mount(volume.path().toLocal8Bit().constData(), view.toLocal8Bit().constData(),
                      nullptr, MS_BIND, nullptr),
              0);
    const QString src = makeFile(QStringLiteral("src"), 4 * 1048576);
    const IdentityCheck identity = identityOf(volume.path());
    std::exception_ptr error;
    Task task = Task::run(TaskPriority::userInitiated, [&] {
        try {
            copyFileWithProgress(src, volume.path() + QStringLiteral("/track"), identity, {}, 0,
                                 [&](double) {
                                     // Unplugged, then cancelled: the cleanup must not touch
                                     // a path that is no longer on the iPod.
                                     volume.detach();
                                     Task::currentState()->cancel();
                                 });
        } catch (...) {
            error = std::current_exception();
        }
    });
    while (!task.isFinished())
        QThread::msleep(5);
    ASSERT_TRUE(error);
    EXPECT_THROW(std::rethrow_exception(error), CancellationError);
    EXPECT_TRUE(QFile::exists(view + QStringLiteral("/track")));
    ::umount2(view.toLocal8Bit().constData(), MNT_DETACH);

    // A copy that completes on a volume that then changed reports the disconnection.
    TmpfsMount second(path(QStringLiteral("ipod2")), 16 * 1048576);
    ASSERT_TRUE(second.isMounted());
    const IdentityCheck secondIdentity = identityOf(second.path());
    EXPECT_THROW(copyFileWithProgress(src, second.path() + QStringLiteral("/t"), secondIdentity, {},
                                      0,
                                      [&](double f) {
                                          if (f == 1.0)
                                              second.detach();
                                      }),
                 ImportError);
}

} // namespace
