// The media-library copy runs through a local stand-in for AFC that can fail at any read; the
// query runs on real WAL-mode SQLite databases laid out like a device's.

#include "device/MobileDeviceMediaLibrary.h"

#include "MediaLibraryFixture.h"
#include "platform/Task.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <cmath>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>

using MediaLibraryFixture::LocalAFC;
using MediaLibraryFixture::Row;
using MediaLibraryFixture::writeDeviceLibrary;
namespace Library = MobileDeviceMediaLibrary;

namespace {

class MediaLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(work.isValid());
        device = work.path() + QStringLiteral("/device");
        temp = work.path() + QStringLiteral("/tmp");
        ASSERT_TRUE(QDir().mkpath(device));
        ASSERT_TRUE(QDir().mkpath(temp));
        savedTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(temp));
    }
    void TearDown() override { qputenv("TMPDIR", savedTemp); }

    // Loads through the stand-in, as loadSongs does for a device.
    std::optional<QList<MobileDevice::Song>> load(LocalAFC& afc) {
        return Library::loadSongs([&afc](const QString& databasePath, const QString& logPath) {
            return Library::copyMediaLibrary(afc, databasePath, logPath);
        });
    }

    QStringList leftInTemp() const {
        return QDir(temp).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QString deviceFile(const char* name) const {
        return device + QStringLiteral("/iTunes_Control/iTunes/") + QLatin1String(name);
    }

    QTemporaryDir work;
    QString device;
    QString temp;
    QByteArray savedTemp;
};

QStringList titles(const QList<MobileDevice::Song>& songs) {
    QStringList out;
    for (const auto& song : songs)
        out << song.title;
    return out;
}

} // namespace

TEST_F(MediaLibraryTest, ReadsDatabaseAndLogWithNullsAndEdgeRows) {
    Row plain{.itemPid = 7,
              .title = "Banana",
              .artist = "Band",
              .album = "Fruit",
              .genre = "  Rock \n",
              .location = "F00/ABCD.m4a",
              .fileSize = 4096,
              .totalTimeMs = 185250};
    Row nulls{.itemPid = 3, .totalTimeMs = std::nullopt};
    Row negative{.itemPid = 9, .title = "apple", .location = "F01/NOEXT", .totalTimeMs = -5};
    Row huge{.itemPid = 2, .title = "banana", .location = "F02/a.b/c.Mp3", .totalTimeMs = 3e12};
    Row video{.itemPid = 4, .title = "Clip", .mediaKind = 2};
    Row removed{.itemPid = 5, .title = "Gone", .inMyLibrary = 0};
    Row logged{.itemPid = 11,
               .title = "Cherry",
               .location = "F03/x.mp3",
               .fileSize = 77,
               .totalTimeMs = 1000};
    writeDeviceLibrary(device, {plain, nulls, negative, huge, video, removed}, {logged});
    ASSERT_TRUE(QFile::exists(deviceFile("MediaLibrary.sqlitedb-wal")));

    LocalAFC afc(device);
    const auto songs = load(afc);
    ASSERT_TRUE(songs);
    // NOCASE title order, then item_pid; NULL titles sort first; excluded kinds are absent.
    EXPECT_EQ(titles(*songs), (QStringList{"", "apple", "banana", "Banana", "Cherry"}));

    const MobileDevice::Song& first = songs->at(0);
    EXPECT_EQ(first.id, 3);
    EXPECT_TRUE(first.artist.isEmpty() && first.album.isEmpty() && first.genre.isEmpty());
    EXPECT_TRUE(first.format.isEmpty());
    EXPECT_EQ(first.duration, 0);

    EXPECT_EQ(songs->at(1).duration, 0);        // negative
    EXPECT_TRUE(songs->at(1).format.isEmpty()); // no extension
    EXPECT_EQ(songs->at(2).id, 2);
    EXPECT_EQ(songs->at(2).duration, 0); // above Int32 seconds
    EXPECT_EQ(songs->at(2).format, QStringLiteral("MP3"));

    const MobileDevice::Song& banana = songs->at(3);
    EXPECT_EQ(banana.id, 7);
    EXPECT_EQ(banana.artist, QStringLiteral("Band"));
    EXPECT_EQ(banana.album, QStringLiteral("Fruit"));
    EXPECT_EQ(banana.genre, QStringLiteral("Rock"));
    EXPECT_EQ(banana.format, QStringLiteral("M4A"));
    EXPECT_EQ(banana.sizeBytes, 4096);
    EXPECT_DOUBLE_EQ(banana.duration, 185.25);

    EXPECT_EQ(songs->at(4).id, 11); // only in the log
    EXPECT_EQ(afc.openFiles(), 0);
    EXPECT_TRUE(leftInTemp().isEmpty());
}

TEST_F(MediaLibraryTest, DeviceWithoutLogIsReadFromTheDatabaseAlone) {
    writeDeviceLibrary(device, {Row{.itemPid = 1, .title = "Only"}}, {});
    ASSERT_FALSE(QFile::exists(deviceFile("MediaLibrary.sqlitedb-wal")));
    LocalAFC afc(device);
    const auto songs = load(afc);
    ASSERT_TRUE(songs);
    EXPECT_EQ(titles(*songs), QStringList{"Only"});
    EXPECT_TRUE(leftInTemp().isEmpty());
}

TEST_F(MediaLibraryTest, EmptyLibraryIsAnEmptyListButAMissingDatabaseIsNothing) {
    writeDeviceLibrary(device, {}, {});
    LocalAFC afc(device);
    const auto songs = load(afc);
    ASSERT_TRUE(songs);
    EXPECT_TRUE(songs->isEmpty());

    ASSERT_TRUE(QFile::remove(deviceFile("MediaLibrary.sqlitedb")));
    EXPECT_FALSE(load(afc));
    EXPECT_TRUE(leftInTemp().isEmpty());
}

TEST_F(MediaLibraryTest, FailureAtAnyReadGivesNothingAndLeavesNoFiles) {
    writeDeviceLibrary(device, {Row{.itemPid = 1, .title = "A"}}, {Row{.itemPid = 2, .title = "B"}},
                       200);
    LocalAFC counting(device);
    ASSERT_TRUE(load(counting));
    const int reads = counting.reads;
    ASSERT_GE(reads, 6); // several 64 KiB reads of each file, and the end of each

    for (int failing = 1; failing <= reads; ++failing) {
        SCOPED_TRACE(failing);
        LocalAFC afc(device);
        afc.beforeRead = [failing](int read) {
            return read == failing ? MobileDeviceAFC::ioError : MobileDeviceAFC::success;
        };
        EXPECT_FALSE(load(afc));
        EXPECT_EQ(afc.openFiles(), 0);
        EXPECT_TRUE(leftInTemp().isEmpty());
    }
}

TEST_F(MediaLibraryTest, LocalOrLookupFailuresGiveNothing) {
    writeDeviceLibrary(device, {Row{.itemPid = 1, .title = "A"}}, {});
    LocalAFC afc(device);
    EXPECT_FALSE(Library::copyAFCFile(afc, Library::databaseDevicePath,
                                      work.path() + QStringLiteral("/missing/copy")));
    EXPECT_EQ(afc.openFiles(), 0);

    // A log lookup that fails with anything but "not found" does not count as no log.
    const QString log = deviceFile("MediaLibrary.sqlitedb-wal");
    ASSERT_TRUE(QFile::link(log, log));
    EXPECT_FALSE(load(afc));
    EXPECT_TRUE(leftInTemp().isEmpty());
}

TEST_F(MediaLibraryTest, FilesThatEndEarlyOrChangeDuringTheCopyAreRefused) {
    writeDeviceLibrary(device, {Row{.itemPid = 1, .title = "A"}}, {Row{.itemPid = 2, .title = "B"}},
                       200);
    {
        SCOPED_TRACE("a read that ends the file before its size");
        LocalAFC afc(device);
        afc.endEarlyAtRead = 2;
        EXPECT_FALSE(load(afc));
    }
    {
        SCOPED_TRACE("the database touched while being copied");
        LocalAFC afc(device);
        const QByteArray path = QFile::encodeName(deviceFile("MediaLibrary.sqlitedb"));
        afc.beforeRead = [&path](int read) {
            if (read == 2) {
                const timespec times[2] = {{0, UTIME_OMIT}, {1234567, 0}};
                utimensat(AT_FDCWD, path.constData(), times, 0);
            }
            return 0;
        };
        EXPECT_FALSE(load(afc));
    }
    {
        SCOPED_TRACE("the log growing while being copied");
        LocalAFC afc(device);
        const QString log = deviceFile("MediaLibrary.sqlitedb-wal");
        afc.beforeRead = [&log](int read) {
            if (read == 1) {
                QFile file(log);
                EXPECT_TRUE(file.open(QIODevice::Append));
                file.write("more");
            }
            return 0;
        };
        EXPECT_FALSE(load(afc));
    }
    EXPECT_TRUE(leftInTemp().isEmpty());
}

TEST_F(MediaLibraryTest, LogThatAppearsDuringTheCopyIsRefused) {
    writeDeviceLibrary(device, {Row{.itemPid = 1, .title = "A"}}, {});
    LocalAFC afc(device);
    const QString log = deviceFile("MediaLibrary.sqlitedb-wal");
    afc.beforeRead = [&log](int read) {
        if (read == 1) {
            QFile file(log);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        }
        return 0;
    };
    EXPECT_FALSE(load(afc));
    EXPECT_TRUE(leftInTemp().isEmpty());
}

TEST_F(MediaLibraryTest, CancellingTheTaskStopsTheCopy) {
    writeDeviceLibrary(device, {Row{.itemPid = 1, .title = "A"}}, {}, 200);
    LocalAFC afc(device);
    std::atomic<bool> gotResult = false;
    std::atomic<int> readsWhenCancelled = 0;
    std::optional<QList<MobileDevice::Song>> result;
    afc.beforeRead = [&](int read) {
        if (read == 2) {
            Task::currentState()->cancel();
            readsWhenCancelled = read;
        }
        return 0;
    };
    QObject receiver;
    Task::run(
        TaskPriority::utility, &receiver, [&] { return load(afc); },
        [&](std::optional<std::optional<QList<MobileDevice::Song>>> value, std::exception_ptr) {
            if (value)
                result = *value;
            gotResult = true;
        });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return gotResult.load(); }));
    EXPECT_FALSE(result);
    EXPECT_EQ(afc.reads, readsWhenCancelled.load()); // no read after the cancellation
    EXPECT_TRUE(leftInTemp().isEmpty());
}

TEST_F(MediaLibraryTest, TemporaryFolderIsPrivateAndItsFailureIsThrown) {
    QString seenFolder;
    mode_t seenMode = 0;
    const auto songs = Library::loadSongs([&](const QString& databasePath, const QString& logPath) {
        seenFolder = QFileInfo(databasePath).path();
        EXPECT_EQ(QFileInfo(logPath).path(), seenFolder);
        EXPECT_EQ(QFileInfo(databasePath).fileName(), QStringLiteral("MediaLibrary.sqlitedb"));
        EXPECT_EQ(QFileInfo(logPath).fileName(), QStringLiteral("MediaLibrary.sqlitedb-wal"));
        struct stat st {};
        EXPECT_EQ(::stat(QFile::encodeName(seenFolder).constData(), &st), 0);
        seenMode = st.st_mode & 07777;
        QFile junk(logPath);
        EXPECT_TRUE(junk.open(QIODevice::WriteOnly));
        return false;
    });
    EXPECT_FALSE(songs);
    EXPECT_EQ(QFileInfo(seenFolder).path(), temp);
    EXPECT_EQ(seenMode, 0700u);
    EXPECT_TRUE(leftInTemp().isEmpty());

    qputenv("TMPDIR", QFile::encodeName(temp + QStringLiteral("/missing/deeper")));
    bool copied = false;
    EXPECT_THROW(Library::loadSongs([&](const QString&, const QString&) { return copied = true; }),
                 std::system_error);
    EXPECT_FALSE(copied);
}

TEST_F(MediaLibraryTest, QueryIsReadOnlyAndFailsWholeOnABrokenDatabase) {
    writeDeviceLibrary(device, {Row{.itemPid = 1, .title = "A"}}, {}, 50);
    const QString path = deviceFile("MediaLibrary.sqlitedb");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    ASSERT_TRUE(Library::querySongs(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    file.close();

    EXPECT_FALSE(Library::querySongs(work.path() + QStringLiteral("/absent.sqlitedb")));

    // A database without the media tables.
    const QString other = work.path() + QStringLiteral("/other.sqlitedb");
    {
        QFile text(other);
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("not a database at all, just some text that is long enough to look like one");
    }
    EXPECT_FALSE(Library::querySongs(other));

    // Damaged pages in the middle of the tables.
    QByteArray damaged = before;
    for (qsizetype i = 4096 * 2; i < damaged.size() - 4096; ++i)
        damaged[i] = static_cast<char>(0xA5);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(damaged);
    file.close();
    EXPECT_FALSE(Library::querySongs(path));
}
