#include "TestVolumes.h"

#include "device/MountInfo.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>

TEST(MountInfo, ParsesLinesWithEscapesAndOptionalFields) {
    const QByteArray text =
        "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw,errors=remount-ro\n"
        "88 22 8:17 / /media/jo/Jo\\040\\134\\011iPod\\012x ro,nosuid shared:45 master:3 - vfat "
        "/dev/sdb1 ro,uid=1000\n"
        "garbage line\n"
        "90 22 0:51 /sub /mnt/bind rw - tmpfs none rw,size=4k\n"
        "91 22 0:52 / relative rw - tmpfs none rw\n"
        "92 22 x:1 / /mnt/bad rw - tmpfs none rw\n";
    const auto entries = MountInfo::parse(text);
    ASSERT_EQ(entries.size(), 3u);

    EXPECT_EQ(entries[0].mountID, 22u);
    EXPECT_EQ(entries[0].deviceMajor, 259u);
    EXPECT_EQ(entries[0].deviceMinor, 2u);
    EXPECT_EQ(entries[0].mountPoint, QStringLiteral("/"));
    EXPECT_EQ(entries[0].fileSystemType, QStringLiteral("ext4"));
    EXPECT_FALSE(entries[0].isReadOnly());

    EXPECT_EQ(entries[1].mountPoint, QStringLiteral("/media/jo/Jo \\\tiPod\nx"));
    EXPECT_EQ(entries[1].fileSystemType, QStringLiteral("vfat"));
    EXPECT_EQ(entries[1].source, QStringLiteral("/dev/sdb1"));
    EXPECT_TRUE(entries[1].isReadOnly());

    EXPECT_EQ(entries[2].root, QStringLiteral("/sub"));
    EXPECT_EQ(entries[2].superOptions, (QStringList{"rw", "size=4k"}));
}

TEST(MountInfo, DecodesOnlyCompleteOctalEscapes) {
    EXPECT_EQ(MountInfo::decodeField("a\\040b"), QStringLiteral("a b"));
    EXPECT_EQ(MountInfo::decodeField("a\\04"), QStringLiteral("a\\04"));
    EXPECT_EQ(MountInfo::decodeField("a\\x40"), QStringLiteral("a\\x40"));
    EXPECT_EQ(MountInfo::decodeField("\\303\\251t\\303\\251"), QStringLiteral("été"));
}

TEST(MountInfo, KeepsLocalFileSystemsOnly) {
    for (const char* type : {"vfat", "exfat", "hfsplus", "ext4", "tmpfs", "fuseblk", "btrfs"})
        EXPECT_TRUE(MountInfo::isLocalFileSystem(QString::fromLatin1(type))) << type;
    for (const char* type :
         {"proc", "sysfs", "autofs", "nfs4", "cifs", "fuse.sshfs", "cgroup2", "9p", ""})
        EXPECT_FALSE(MountInfo::isLocalFileSystem(QString::fromLatin1(type))) << type;
}

TEST(MountInfo, ListsARealMountWhosePathHasSpaces) {
    const QString why = TestVolumes::whyMountsAreUnavailable();
    if (!why.isEmpty())
        GTEST_SKIP() << qPrintable(why);
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString path =
        QFileInfo(scratch.path()).canonicalFilePath() + QStringLiteral("/My iPod\tnano");
    auto mount = TestVolumes::Mount::tmpfs(path, QStringLiteral("size=1m"));
    ASSERT_TRUE(mount);
    EXPECT_TRUE(MountInfo::mountedLocalVolumePaths().contains(path));
    const auto entry = MountInfo::entryForMountPoint(path);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->fileSystemType, QStringLiteral("tmpfs"));
    EXPECT_FALSE(entry->isReadOnly());
    ASSERT_TRUE(mount->remount(QStringLiteral("ro")));
    EXPECT_TRUE(MountInfo::entryForMountPoint(path)->isReadOnly());
    ASSERT_TRUE(mount->unmount());
    EXPECT_FALSE(MountInfo::mountedLocalVolumePaths().contains(path));
}
