// The record of audio files written before a save listed them: settling it removes only the
// recorded regular files that no track lists, whatever else the record or the folders hold.

#include "support/IPodVolume.h"

#include "library/IPodDatabase.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <QDir>

#include <algorithm>
#include <functional>

#include <dirent.h>
#include <sys/resource.h>
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
         // The link makes the iPod read-only: the record too stays as it is.
         QStringLiteral("iPod_Control/Music/F42/libgpod900003.mp3"), false, true},
        {"a recorded file of another kind",
         [&](IPodVolume& v, const QString&) {
             v.writeFile(QStringLiteral("iPod_Control/Music/F01/cover.jpg"), "the user's");
             return header + "iPod_Control/Music/F01/cover.jpg\n";
         },
         QStringLiteral("iPod_Control/Music/F01/cover.jpg"), false},
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

// A record that cannot be used (a link, a FIFO, a folder, too large, another header) holds
// nothing up: the library opens, settling removes nothing, and the next entry sets the record
// aside as it is and begins a new one.
TEST(PendingFiles, AnUnusableRecordIsSetAsideAndHoldsNothingUp) {
    const QString stray = QStringLiteral("iPod_Control/Music/F01/libgpod900001.mp3");
    const QByteArray entry = stray.toUtf8() + '\n';
    const struct {
        const char* what;
        std::function<void(IPodVolume&, const QString& path)> make;
    } cases[] = {
        {"a link to a record",
         [&](IPodVolume& v, const QString& path) {
             v.writeFile(QStringLiteral("iPod_Control/elsewhere"), header + entry);
             ASSERT_TRUE(QFile::link(v.path(QStringLiteral("iPod_Control/elsewhere")), path));
         }},
        {"a FIFO",
         [](IPodVolume&, const QString& path) {
             ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
         }},
        {"a folder", [](IPodVolume&, const QString& path) { ASSERT_TRUE(QDir().mkdir(path)); }},
        {"too large",
         [&](IPodVolume& v, const QString&) {
             v.writeFile(record, header + entry.repeated((8 << 20) / entry.size() + 1));
         }},
        {"another header",
         [&](IPodVolume& v, const QString&) {
             v.writeFile(record, "Lorvanel pending audio 2\n" + entry);
         }},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        IPodVolume volume(QStringLiteral("MA477"));
        volume.addTrack({.title = QStringLiteral("Listed")});
        volume.write();
        volume.writeFile(stray, "partial");
        ASSERT_NO_FATAL_FAILURE(test.make(volume, volume.path(record)));
        const TestSupport::TreeSnapshot before = TestSupport::snapshotTree(volume.mountPoint());
        ASSERT_TRUE(before.contains(record));

        IPodDatabase session(volume.mountPoint(), std::nullopt, {}, [] {});
        session.settlePendingFiles();
        EXPECT_TRUE(volume.exists(stray));
        EXPECT_EQ(TestSupport::snapshotTree(volume.mountPoint()).value(record),
                  before.value(record));

        const QString next = QStringLiteral("iPod_Control/Music/F02/libgpod900002.mp3");
        try {
            session.recordPendingFile(volume.path(next));
        } catch (const std::exception& error) {
            ADD_FAILURE() << error.what();
        }
        struct stat status {};
        ASSERT_EQ(::lstat(QFile::encodeName(volume.path(record)).constData(), &status), 0);
        ASSERT_TRUE(S_ISREG(status.st_mode)); // never read otherwise: it may be the FIFO
        EXPECT_EQ(volume.readFile(record), header + next.toUtf8() + '\n');
        EXPECT_EQ(TestSupport::snapshotTree(volume.mountPoint())
                      .value(record + QStringLiteral(".set-aside-1")),
                  before.value(record));
    }
}

// Each unusable record is set aside under a name of its own: a second one never takes the
// place of the first.
TEST(PendingFiles, EachUnusableRecordIsSetAsideUnderANameOfItsOwn) {
    IPodVolume volume(QStringLiteral("MA477"));
    volume.addTrack({.title = QStringLiteral("Listed")});
    volume.write();
    IPodDatabase session(volume.mountPoint(), std::nullopt, {}, [] {});
    const QByteArray unusable[] = {"Lorvanel pending audio 2\nfirst\n",
                                   "Lorvanel pending audio 3\nsecond\n"};
    for (int i = 0; i < 2; ++i) {
        volume.writeFile(record, unusable[i]);
        const QString next = QStringLiteral("iPod_Control/Music/F02/libgpod90000%1.mp3").arg(i);
        ASSERT_NO_THROW(session.recordPendingFile(volume.path(next)));
        EXPECT_EQ(volume.readFile(record), header + next.toUtf8() + '\n');
    }
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(volume.readFile(record + QStringLiteral(".set-aside-%1").arg(i + 1)),
                  unusable[i]);
}

namespace {

// Lowers the number of files the process may hold open to those it holds now and a few more,
// until destroyed.
class FewDescriptors {
public:
    explicit FewDescriptors(rlim_t more) {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        rlim_t open = 0;
        if (DIR* dir = ::opendir("/proc/self/fd")) {
            while (::readdir(dir))
                ++open;
            ::closedir(dir);
        }
        rlimit lowered = saved_;
        lowered.rlim_cur = std::min(saved_.rlim_cur, open + more);
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~FewDescriptors() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    FewDescriptors(const FewDescriptors&) = delete;
    FewDescriptors& operator=(const FewDescriptors&) = delete;

private:
    rlimit saved_{};
};

} // namespace

// However many entries the record holds and however few files the process may keep open, one
// settling removes every recorded file no track lists.
TEST(PendingFiles, ALargeRecordIsSettledAtOnce) {
    IPodVolume volume(QStringLiteral("MA477"));
    volume.addTrack({.title = QStringLiteral("Listed")});
    volume.write();
    QStringList files;
    QByteArray bytes = header;
    for (int i = 0; i < 1200; ++i) {
        const QString file = QStringLiteral("iPod_Control/Music/F%1/libgpod%2.m4a")
                                 .arg(i % 10, 2, 10, QLatin1Char('0'))
                                 .arg(900000 + i);
        volume.writeFile(file, "cut short");
        files << file;
        bytes += file.toUtf8() + '\n';
    }
    volume.writeFile(record, bytes + bytes); // each entry twice, as a damaged record may hold
    IPodDatabase session(volume.mountPoint(), std::nullopt, {}, [] {});
    {
        const FewDescriptors limit(200);
        session.settlePendingFiles();
    }
    const qsizetype left = std::count_if(files.cbegin(), files.cend(),
                                         [&](const QString& f) { return volume.exists(f); });
    EXPECT_EQ(left, 0);
    EXPECT_FALSE(volume.exists(record));
    EXPECT_TRUE(QFileInfo(volume.path(listedFile(volume))).isFile());
}
