// The record of audio files written before a save listed them: settling it removes only the
// recorded regular files that no track lists, whatever else the record or the folders hold.

#include "support/IPodVolume.h"

#include "library/IPodDatabase.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

using TestSupport::IPodVolume;

namespace {

const QString record = QStringLiteral("iPod_Control/iTunes/") + IPodDatabase::pendingFilesRecord;
const QByteArray header = QByteArrayLiteral("Lorvanel pending audio 1\n");

struct Case {
    const char* what;
    // Lays out the files and returns the record's bytes.
    std::function<QByteArray(IPodVolume&, const QString& outside)> setUp;
    QString watched; // relative to the mount point, or absolute; empty: the outside file
    bool removed;
    bool recordStays = false; // else every entry is settled and the record goes
};

// Whether the path itself is there (a link as the link).
bool present(const QString& path) {
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0;
}

QString listedFile(IPodVolume& volume) {
    return volume.trackFile(0);
}

} // namespace

TEST(PendingFiles, OnlyRecordedUnlistedRegularFilesInTheMusicFoldersAreRemoved) {
    const QString stray = QStringLiteral("iPod_Control/Music/F01/libgpod900001.mp3");
    const Case cases[] = {
        {"a recorded file no track lists",
         [&](IPodVolume& v, const QString&) {
             v.writeFile(stray, "partial");
             return header + stray.toUtf8() + '\n';
         },
         stray, true},
        {"a recorded file a track lists",
         [&](IPodVolume& v, const QString&) { return header + listedFile(v).toUtf8() + '\n'; },
         QString(), false},
        {"a file that is not recorded",
         [&](IPodVolume& v, const QString&) {
             v.writeFile(stray, "someone's");
             return header + "iPod_Control/Music/F01/libgpod900002.mp3\n";
         },
         stray, false},
        {"a path with ..",
         [&](IPodVolume& v, const QString&) {
             v.writeFile(QStringLiteral("iPod_Control/Music/x.mp3"), "user's");
             return header + "iPod_Control/Music/F01/../x.mp3\n";
         },
         QStringLiteral("iPod_Control/Music/x.mp3"), false},
        {"an absolute path",
         [&](IPodVolume&, const QString& outside) {
             return header + QFile::encodeName(outside) + '\n';
         },
         QString(), false},
        {"a symbolic link to a file",
         [&](IPodVolume& v, const QString& outside) {
             EXPECT_TRUE(QFile::link(outside, v.path(stray)));
             return header + stray.toUtf8() + '\n';
         },
         stray, false},
        {"a music folder that is a link",
         [&](IPodVolume& v, const QString& outside) {
             const QString folder = QFileInfo(outside).path();
             QFile::copy(outside, folder + QStringLiteral("/libgpod900003.mp3"));
             EXPECT_TRUE(QFile::link(folder, v.path(QStringLiteral("iPod_Control/Music/F42"))));
             return header + "iPod_Control/Music/F42/libgpod900003.mp3\n";
         },
         QStringLiteral("iPod_Control/Music/F42/libgpod900003.mp3"), false},
        {"a damaged record",
         [&](IPodVolume& v, const QString&) {
             v.writeFile(stray, "partial");
             return "Lorvanel pending audio 2\n" + stray.toUtf8() + '\n';
         },
         stray, false, true},
        {"a line whose append was cut short",
         [&](IPodVolume& v, const QString&) {
             v.writeFile(stray, "not ours yet");
             return header + stray.toUtf8();
         },
         stray, false},
        {"a recorded file a track reaches through a link",
         [&](IPodVolume& v, const QString&) {
             const QString listed = listedFile(v);
             EXPECT_TRUE(QFile::rename(v.path(listed), v.path(stray)));
             EXPECT_TRUE(QFile::link(v.path(stray), v.path(listed)));
             return header + stray.toUtf8() + '\n';
         },
         stray, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IPodVolume volume(QStringLiteral("MA477"));
        volume.addTrack({.title = QStringLiteral("Listed")});
        volume.write();
        QTemporaryDir outsideDir;
        const QString outside = outsideDir.filePath(QStringLiteral("outside.mp3"));
        {
            QFile file(outside);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("the user's own");
        }
        const QByteArray bytes = c.setUp(volume, outside);
        volume.writeFile(record, bytes);
        const QString watched = c.watched.isEmpty()          ? outside
                                : c.watched.startsWith(u'/') ? c.watched
                                                             : volume.path(c.watched);
        ASSERT_TRUE(QFileInfo(watched).isFile());

        IPodDatabase session(volume.mountPoint(), std::nullopt, {}, [] {});
        session.settlePendingFiles();
        EXPECT_EQ(present(watched), !c.removed);
        EXPECT_TRUE(QFileInfo(outside).isFile());
        EXPECT_TRUE(QFileInfo(volume.path(listedFile(volume))).isFile());
        EXPECT_EQ(session.loadTracks().size(), 1);
        EXPECT_EQ(volume.exists(record), c.recordStays);
        if (c.recordStays) {
            EXPECT_EQ(volume.readFile(record), bytes);
        }
    }
}
