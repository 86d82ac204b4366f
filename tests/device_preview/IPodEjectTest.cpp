// Ejects real volumes (tmpfs and a loop-mounted ext4 image) by the unmount path this machine
// takes without udisks2; needs root to mount, and skips otherwise.

#include "device/IPodEject.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/mount.h>
#include <unistd.h>

namespace {

bool isMounted(const QString& mountPoint) {
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray escaped = QFile::encodeName(mountPoint);
    escaped.replace(" ", "\\040");
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 4 && fields[4] == escaped)
            return true;
    }
    return false;
}

bool run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

class IPodEjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "mounting volumes needs root";
        ASSERT_TRUE(work.isValid());
        // A space in the name, as iPod names have, exercises the mount table's escapes.
        volume = work.path() + QStringLiteral("/My iPod");
        ASSERT_TRUE(QDir().mkpath(volume));
    }

    void TearDown() override {
        ::close(heldFd);
        while (!volume.isEmpty() && isMounted(volume))
            ::umount2(QFile::encodeName(volume).constData(), MNT_DETACH);
    }

    void mountTmpfs() {
        ASSERT_EQ(
            ::mount("lorvanel-test", QFile::encodeName(volume).constData(), "tmpfs", 0, "size=4m"),
            0)
            << std::strerror(errno);
        ASSERT_TRUE(isMounted(volume));
    }

    void writeFile(const QString& name, const QByteArray& bytes) {
        QFile file(volume + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QTemporaryDir work;
    QString volume;
    int heldFd = -1;
};

TEST_F(IPodEjectTest, UnmountsAVolumeWhosePathHasSpaces) {
    mountTmpfs();
    writeFile(QStringLiteral("iTunesDB"), "db");
    int checks = 0;
    IPodEject::eject(volume, [&checks] { ++checks; });
    EXPECT_EQ(checks, 1);
    EXPECT_FALSE(isMounted(volume));
}

TEST_F(IPodEjectTest, LoopExt4VolumeKeepsWhatWasWrittenBeforeTheEject) {
    const QString mkfs =
        QStandardPaths::findExecutable(QStringLiteral("mkfs.ext4"), {"/usr/sbin", "/sbin"});
    if (mkfs.isEmpty())
        GTEST_SKIP() << "mkfs.ext4 is not installed";
    const QString image = work.path() + QStringLiteral("/ipod.img");
    {
        QFile file(image);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(8 * 1024 * 1024));
    }
    ASSERT_TRUE(run(mkfs, {QStringLiteral("-q"), QStringLiteral("-F"), image}));
    if (!run(QStringLiteral("mount"),
             {QStringLiteral("-o"), QStringLiteral("loop"), image, volume}))
        GTEST_SKIP() << "no loop device can be set up here";
    writeFile(QStringLiteral("iTunesDB"), QByteArray(100000, 'x'));

    IPodEject::eject(volume, {});
    EXPECT_FALSE(isMounted(volume));

    ASSERT_TRUE(run(QStringLiteral("mount"),
                    {QStringLiteral("-o"), QStringLiteral("loop,ro"), image, volume}));
    EXPECT_EQ(QFileInfo(volume + QStringLiteral("/iTunesDB")).size(), 100000);
}

TEST_F(IPodEjectTest, AVolumeWithAnOpenFileStaysMountedAndSaysWhy) {
    mountTmpfs();
    writeFile(QStringLiteral("song.mp3"), "audio");
    heldFd = ::open(QFile::encodeName(volume + QStringLiteral("/song.mp3")).constData(), O_RDONLY);
    ASSERT_GE(heldFd, 0);

    try {
        IPodEject::eject(volume, {});
        FAIL() << "a busy volume was ejected";
    } catch (const IPodEjectError& error) {
        EXPECT_EQ(error.kind(), IPodEjectError::Kind::busy);
        EXPECT_EQ(IPodEject::failureMessage(QStringLiteral("Anna's iPod"),
                                            error.description(AppLanguage::english),
                                            AppLanguage::english),
                  QStringLiteral("Could not eject Anna's iPod.\nThe volume is in use. Close the "
                                 "files open on it and try again."));
        const QString chinese = IPodEject::failureMessage(
            QStringLiteral("Anna's iPod"), error.description(AppLanguage::simplifiedChinese),
            AppLanguage::simplifiedChinese);
        EXPECT_TRUE(chinese.contains(QStringLiteral("Anna's iPod"))) << chinese.toStdString();
        EXPECT_FALSE(chinese.contains(QStringLiteral("Could not eject")));
        EXPECT_EQ(chinese.count(QLatin1Char('\n')), 1);
    }
    EXPECT_TRUE(isMounted(volume));

    // Once the file is closed the same volume ejects.
    ::close(heldFd);
    heldFd = -1;
    IPodEject::eject(volume, {});
    EXPECT_FALSE(isMounted(volume));
}

TEST_F(IPodEjectTest, AnUnmountedOrMissingPathIsNotMounted) {
    for (const QString& path : {volume, work.path() + QStringLiteral("/gone")}) {
        try {
            IPodEject::eject(path, {});
            FAIL() << "ejecting " << path.toStdString() << " succeeded";
        } catch (const IPodEjectError& error) {
            EXPECT_EQ(error.kind(), IPodEjectError::Kind::notMounted);
            EXPECT_EQ(error.description(AppLanguage::english),
                      QStringLiteral("The volume is no longer mounted."));
        }
    }
    // The folder a volume is mounted inside is not that volume.
    mountTmpfs();
    EXPECT_THROW(IPodEject::eject(work.path(), {}), IPodEjectError);
    EXPECT_TRUE(isMounted(volume));

    IPodEject::eject(volume, {});
    EXPECT_THROW(IPodEject::eject(volume, {}), IPodEjectError);
}

TEST_F(IPodEjectTest, AFailedIdentityCheckPassesThroughAndUnmountsNothing) {
    mountTmpfs();
    struct Disconnected : std::runtime_error {
        Disconnected()
            : std::runtime_error("disconnected") {}
    };
    EXPECT_THROW(IPodEject::eject(volume, [] { throw Disconnected(); }), Disconnected);
    EXPECT_TRUE(isMounted(volume));
}

} // namespace
