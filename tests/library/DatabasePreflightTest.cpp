// The helper process that reads a database first: its verdicts come back as the opening's own
// errors, its limits stop it, and a database it read cleanly is not read again until one of its
// files changes.

#include "library/DatabasePreflight.h"
#include "HelperScriptFixture.h"
#include "library/IPodDatabase.h"
#include "support/DamagedDatabases.h"
#include "support/IPodVolume.h"
#include "support/LibgpodLeaks.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gpod/itdb.h>

#include <chrono>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace std::chrono_literals;
using TestSupport::IPodVolume;

namespace {

const QString iTunesDB = QStringLiteral("iPod_Control/iTunes/iTunesDB");

class DatabasePreflightTest : public HelperScriptFixture {
protected:
    DatabasePreflight::Request request() const {
        return {volume.mountPoint(), std::nullopt, std::nullopt, "test volume"};
    }

    // The English text of the check's failure; empty when the database may be opened.
    std::string failure(const DatabasePreflight::Limits& limits = {}) const {
        try {
            DatabasePreflight::check(request(), limits);
            return {};
        } catch (const IPodDatabaseError& error) {
            return error.description(AppLanguage::english).toStdString();
        }
    }
};

} // namespace

TEST_F(DatabasePreflightTest, AReadDatabaseIsNotReadAgainUntilAFileChanges) {
    EXPECT_EQ(failure(), "");
    // The helper is gone: the unchanged files need none.
    useHelperScript("exit 9");
    EXPECT_EQ(failure(), "");
    // Another volume at the same path is another database.
    DatabasePreflight::Request other = request();
    other.volumeIdentity = "another volume";
    EXPECT_THROW(DatabasePreflight::check(other), IPodDatabaseError);
    // A touched database is read again.
    const QByteArray path = QFile::encodeName(volume.path(iTunesDB));
    const utimbuf times{1000000000, 1000000000};
    ASSERT_EQ(::utime(path.constData(), &times), 0);
    EXPECT_EQ(failure(), "Read library failed: The library database is damaged and could not be "
                         "read.");
}

TEST_F(DatabasePreflightTest, TheOpeningsOwnRefusalComesBackAsItWas) {
    QByteArray damaged = volume.readFile(iTunesDB);
    TestSupport::writeUInt32(damaged, 4, 0xFFFFFFFFu);
    volume.writeFile(iTunesDB, damaged);
    EXPECT_EQ(failure(), "Read library failed: The iTunesDB file is damaged.");
    volume.removeFile(iTunesDB);
    try {
        IPodDatabase opened(volume.mountPoint());
        ADD_FAILURE() << "opened without a database";
    } catch (const IPodDatabaseError& inProcess) {
        EXPECT_EQ(failure(), inProcess.description(AppLanguage::english).toStdString());
    }
}

TEST_F(DatabasePreflightTest, AHelperThatCrashesOrAbortsReportsADamagedDatabase) {
    for (const QByteArray& body : {QByteArray("kill -SEGV $$"), QByteArray("kill -ABRT $$"),
                                   QByteArray("exit 1"), QByteArray("exit 2")}) {
        useHelperScript(body);
        EXPECT_EQ(failure(),
                  "Read library failed: The library database is damaged and could not be read.")
            << body.constData();
    }
    qputenv("LORVANEL_OPEN_HELPER", QFile::encodeName(scripts.filePath(QStringLiteral("none"))));
    EXPECT_EQ(
        failure(),
        "Read library failed: The library reader of Lorvanel is missing. Reinstall Lorvanel.");
}

// A helper that could not be set up says so, not that the database is damaged.
TEST_F(DatabasePreflightTest, AHelperThatCannotBeSetUpSaysSo) {
    const std::string notStarted =
        "Read library failed: The library reader of Lorvanel could not be started.";
    // The real helper, handed an argument it does not know.
    useHelperScript("exec '" + QFile::encodeName(realHelper) + "' \"$@\" --unknown");
    EXPECT_EQ(failure(), notStarted);
    // A helper file that cannot be run.
    QFile helper(qEnvironmentVariable("LORVANEL_OPEN_HELPER"));
    ASSERT_TRUE(helper.open(QIODevice::WriteOnly | QIODevice::Truncate));
    helper.write("\x7f\x01");
    helper.close();
    EXPECT_EQ(failure(), notStarted);

    // An application started with its standard error closed: the helper prints to /dev/null.
    qputenv("LORVANEL_OPEN_HELPER", realHelper.toUtf8());
    const int standardError = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ASSERT_GE(standardError, 0);
    ::close(STDERR_FILENO);
    const std::string withoutStandardError = failure();
    ::dup2(standardError, STDERR_FILENO);
    ::close(standardError);
    EXPECT_EQ(withoutStandardError, "");
}

TEST_F(DatabasePreflightTest, AHelperPastItsTimeLimitIsStopped) {
    const std::string tooLong =
        "Read library failed: Reading the library took too long. Its database may be damaged.";
    QElapsedTimer elapsed;
    elapsed.start();
    // One that hangs, and one that spins on the processor.
    useHelperScript("sleep 30");
    EXPECT_EQ(failure({.wallClock = 300ms}), tooLong);
    useHelperScript("while :; do :; done");
    EXPECT_EQ(failure({.wallClock = 20s, .cpuSeconds = 1}), tooLong);
    EXPECT_LT(elapsed.elapsed(), 10000);
}

TEST_F(DatabasePreflightTest, AHelperPastItsMemoryLimitIsStopped) {
    // A sanitizer build's allocator stops the process where the system's returns no memory;
    // the helper of such a build is told to behave like the system's (a plain build ignores it).
    const QByteArray sanitizerOptions = qgetenv("ASAN_OPTIONS");
    qputenv("ASAN_OPTIONS", sanitizerOptions + ":allocator_may_return_null=1");
    const auto restore = qScopeGuard([&] { qputenv("ASAN_OPTIONS", sanitizerOptions); });
    constexpr qint64 budget = qint64(64) << 20;
    EXPECT_NO_THROW(DatabasePreflight::check(request(), {.memoryBytes = budget}));
    // A database file larger than the helper may take (holes on the disk, so it costs nothing).
    IPodVolume huge(QStringLiteral("MA477"));
    huge.write();
    QFile file(huge.path(iTunesDB));
    ASSERT_TRUE(file.resize(2 * budget));
    const DatabasePreflight::Request request{huge.mountPoint(), std::nullopt, std::nullopt, "big"};
    try {
        DatabasePreflight::check(request, {.memoryBytes = budget});
        ADD_FAILURE() << "read past the limit";
    } catch (const IPodDatabaseError& error) {
        EXPECT_EQ(error.description(AppLanguage::english).toStdString(),
                  "Read library failed: Reading the library needed too much memory. Its database "
                  "may be damaged.");
    }
}

// The device's own description reaches the helper, which opens the database as the application
// will: a classic without SysInfo is read only through it.
TEST_F(DatabasePreflightTest, TheHelperOpensWithTheDevicesDescription) {
    IPodVolume classic(QStringLiteral("MB029"));
    classic.addTrack({.title = QStringLiteral("One")});
    classic.write();
    classic.removeFile(QStringLiteral("iPod_Control/Device/SysInfo"));
    const QByteArray xml = TestSupport::sysInfoExtendedXML({
        {QStringLiteral("SerialNumber"), QStringLiteral("8K0000ABYMX")},
        {QStringLiteral("FireWireGUID"), QStringLiteral("000A2700138B0D2E")},
    });
    DatabasePreflight::Request request{classic.mountPoint(), xml, 0x1261, "classic"};
    EXPECT_NO_THROW(DatabasePreflight::check(request));
    // Cut short, the helper's refusal names the damage.
    classic.writeFile(iTunesDB, classic.readFile(iTunesDB).left(600));
    try {
        DatabasePreflight::check(request);
        ADD_FAILURE() << "read a cut database";
    } catch (const IPodDatabaseError& error) {
        EXPECT_EQ(error.description(AppLanguage::english).toStdString(),
                  "Read library failed: The iTunesDB file is damaged.");
    }
}

// What the helper sends back is taken only when it is one whole library.
TEST_F(DatabasePreflightTest, ALibraryThatComesBackDamagedOrTooLargeIsRefused) {
    const std::optional<LibrarySnapshot> sent = DatabasePreflight::read(request());
    ASSERT_TRUE(sent);
    ASSERT_EQ(sent->tracks.size(), 1);
    EXPECT_EQ(sent->tracks[0].title, QStringLiteral("Song"));

    const QByteArray bytes = sent->encoded();
    const QString saved = scripts.filePath(QStringLiteral("library.bin"));
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes.left(bytes.size() - 1)), bytes.size() - 1);
    file.close();
    const auto readFailure = [&](const DatabasePreflight::Limits& limits) -> std::string {
        DatabasePreflight::forgetReadDatabases();
        try {
            DatabasePreflight::read(request(), limits);
            return {};
        } catch (const IPodDatabaseError& error) {
            return error.description(AppLanguage::english).toStdString();
        }
    };
    useHelperScript("cat '" + QFile::encodeName(saved) + "'");
    EXPECT_EQ(readFailure({}),
              "Read library failed: The library database is damaged and could not be read.");
    // One that sends on and on is stopped.
    useHelperScript("exec cat /dev/zero");
    EXPECT_EQ(readFailure({.snapshotBytes = 1 << 20}),
              "Read library failed: Reading the library needed too much memory. Its database "
              "may be damaged.");
}

// A FIFO (or any other file that is not a regular one) where the opening reads would hold a
// read forever: the database's is refused at once, a device description's or the ArtworkDB's
// left out of what libgpod reads (the iPod opens read-only naming it), here and in the helper,
// and reading it never starts.
TEST_F(DatabasePreflightTest, ANonRegularFileInTheDatabasesPlaceIsRefusedWithoutWaiting) {
    const QString sysInfo = QStringLiteral("iPod_Control/Device/SysInfo");
    const QString artworkDB = QStringLiteral("iPod_Control/Artwork/ArtworkDB");
    for (const QString& relative : {iTunesDB, sysInfo, artworkDB}) {
        SCOPED_TRACE(relative.toStdString());
        const QByteArray original = volume.readFile(relative);
        volume.removeFile(relative);
        const QByteArray fifo = QFile::encodeName(volume.path(relative));
        ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
        const auto restore = qScopeGuard([&] {
            ::unlink(fifo.constData());
            volume.writeFile(relative, original);
        });
        const bool isDatabase = relative == iTunesDB;
        const std::string expected =
            isDatabase ? "Read library failed: The iTunesDB file is damaged." : "";
        QElapsedTimer elapsed;
        elapsed.start();
        DatabasePreflight::forgetReadDatabases();
        EXPECT_EQ(failure({.wallClock = 60s}), expected);
        try {
            // libgpod leaks the path of the ArtworkDB it finds missing.
            const TestSupport::IgnoredLibgpodLeaks ignored;
            IPodDatabase opened(volume.mountPoint());
            EXPECT_FALSE(isDatabase) << "opened a FIFO";
            EXPECT_EQ(opened.writeBlocker(),
                      relative == sysInfo ? IPodDatabaseError::unreadableDeviceDescription(relative)
                                          : IPodDatabaseError::storedCoversUnreadable(relative));
        } catch (const IPodDatabaseError& error) {
            EXPECT_EQ(error.description(AppLanguage::english).toStdString(), expected);
        }
        EXPECT_LT(elapsed.elapsed(), 20000);
    }
}

// libgpod prints a line on standard output for each cover whose track is gone (it leaves such
// covers behind itself); the library still comes back whole.
TEST_F(DatabasePreflightTest, WhatLibgpodPrintsDoesNotMixWithTheLibrary) {
    IPodVolume covers(QStringLiteral("MA477"));
    covers.addTrack({.title = QStringLiteral("Kept"), .artwork = true});
    covers.addTrack({.title = QStringLiteral("Gone"), .artwork = true, .artworkColor = 0xCC3333});
    covers.write();
    const QString artworkFolder = QStringLiteral("iPod_Control/Artwork/");
    QMap<QString, QByteArray> artwork;
    for (const QString& name : QDir(covers.path(artworkFolder)).entryList(QDir::Files))
        artwork.insert(name, covers.readFile(artworkFolder + name));
    ASSERT_TRUE(artwork.contains(QStringLiteral("ArtworkDB")));
    {
        const TestSupport::IgnoredLibgpodLeaks ignored;
        Itdb_iTunesDB* database =
            itdb_parse(QFile::encodeName(covers.mountPoint()).constData(), nullptr);
        ASSERT_TRUE(database);
        Itdb_Track* gone = nullptr;
        for (GList* link = database->tracks; link; link = link->next) {
            auto* track = static_cast<Itdb_Track*>(link->data);
            if (QByteArray(track->title) == "Gone")
                gone = track;
        }
        ASSERT_TRUE(gone);
        itdb_playlist_remove_track(itdb_playlist_mpl(database), gone);
        itdb_track_remove(gone);
        ASSERT_TRUE(itdb_write(database, nullptr));
        itdb_free(database);
    }
    // The covers as they were: one of them now belongs to no track.
    for (auto file = artwork.cbegin(); file != artwork.cend(); ++file)
        covers.writeFile(artworkFolder + file.key(), file.value());

    const DatabasePreflight::Request request{covers.mountPoint(), std::nullopt, std::nullopt,
                                             "covers"};
    const std::optional<LibrarySnapshot> sent = DatabasePreflight::read(request);
    ASSERT_TRUE(sent);
    ASSERT_EQ(sent->tracks.size(), 1);
    EXPECT_EQ(sent->tracks[0].title, QStringLiteral("Kept"));
}

// A library long enough to be made in several threads (one track listed over and over), whose
// last tracks carry long titles: at some budgets only the thread making those runs out of
// memory. That ends with the memory status, never as a damaged database, at every budget.
TEST_F(DatabasePreflightTest, AHelperThreadOutOfMemoryEndsWithTheMemoryStatus) {
    const QByteArray sanitizerOptions = qgetenv("ASAN_OPTIONS");
    qputenv("ASAN_OPTIONS", sanitizerOptions + ":allocator_may_return_null=1");
    const auto restore = qScopeGuard([&] { qputenv("ASAN_OPTIONS", sanitizerOptions); });
    IPodVolume large(QStringLiteral("MA477"));
    large.addTracksWithoutFiles(1, 1'000'000, {.title = QStringLiteral("Short")});
    for (int i = 0; i < 16384; ++i)
        large.appendToMainPlaylist(0);
    large.addTracksWithoutFiles(6, 2'000'000, {.title = QString(1 << 20, u'x')});
    large.write();
    const DatabasePreflight::Request request{large.mountPoint(), std::nullopt, std::nullopt,
                                             "large"};
    const std::string tooMuch = "Read library failed: Reading the library needed too much "
                                "memory. Its database may be damaged.";
    const auto outcome = [&](qint64 budget) -> std::string {
        DatabasePreflight::forgetReadDatabases();
        try {
            DatabasePreflight::check(request, {.memoryBytes = budget});
            return {};
        } catch (const IPodDatabaseError& error) {
            return error.description(AppLanguage::english).toStdString();
        }
    };
    // The least budget that reads it, to a megabyte.
    constexpr qint64 megabyte = qint64(1) << 20;
    qint64 tooSmall = megabyte;
    qint64 enough = 256 * megabyte;
    ASSERT_EQ(outcome(tooSmall), tooMuch);
    ASSERT_EQ(outcome(enough), "");
    while (enough - tooSmall > megabyte) {
        const qint64 budget = (tooSmall + enough) / 2;
        const std::string result = outcome(budget);
        ASSERT_TRUE(result.empty() || result == tooMuch) << budget << ": " << result;
        (result.empty() ? enough : tooSmall) = budget;
    }
    // Just below it the long titles (2 MB each in memory) no longer fit.
    for (const qint64 less : {1, 3, 5})
        EXPECT_EQ(outcome(enough - less * megabyte), tooMuch) << enough - less * megabyte;
}

// An installation keeps the helper under libexec, not beside the application: this test's own
// folder stands for the installation's bin.
TEST_F(DatabasePreflightTest, TheInstalledHelperIsFoundUnderLibexec) {
    const QString folder = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                           QStringLiteral("/" LORVANEL_HELPER_FROM_BINDIR));
    const QString installed = folder + QStringLiteral("/lorvanel-open-helper");
    ASSERT_TRUE(QDir().mkpath(folder));
    const auto remove = qScopeGuard([&] {
        QFile::remove(installed);
        QDir().rmpath(folder);
    });
    QFile::remove(installed);
    ASSERT_TRUE(QFile::link(realHelper, installed));
    qunsetenv("LORVANEL_OPEN_HELPER");
    EXPECT_EQ(DatabasePreflight::helperPath().toStdString(), installed.toStdString());
    EXPECT_EQ(failure(), "");
}
