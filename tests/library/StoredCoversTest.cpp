// Stored covers come from the cover process as checked pixels: whatever the ArtworkDB, the
// .ithmb files or the device description carry, this process only ever sees plain images, and a
// cover whose decoding goes wrong costs that cover alone.

#include "library/StoredCovers.h"
#include "support/DamagedDatabases.h"
#include "support/IPodVolume.h"
#include "support/StoredCoverReads.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using TestSupport::IPodVolume;
using State = StoredCover::State;

namespace {

const QString artworkDB = QStringLiteral("iPod_Control/Artwork/ArtworkDB");

DatabasePreflight::Request requestFor(const IPodVolume& volume) {
    return {volume.mountPoint(), std::nullopt, std::nullopt,
            QFile::encodeName(volume.mountPoint())};
}

// The state of each cover, in the order asked; an image as its first pixel's colour.
QList<quint32> coversOf(const QHash<quint64, StoredCover>& covers, const QList<quint64>& ids) {
    QList<quint32> found;
    for (const quint64 id : ids) {
        const StoredCover& cover = covers.value(id);
        if (cover.state != State::image) {
            found.append(quint32(cover.state));
            continue;
        }
        EXPECT_EQ(cover.pixels.size(), qsizetype(cover.width) * cover.height * 3);
        const auto channel = [&](int i) { return quint32(quint8(cover.pixels[i])) & 0xF8; };
        found.append(0x1000000 | channel(0) << 16 | channel(1) << 8 | channel(2));
    }
    return found;
}

constexpr quint32 none = quint32(State::none);
constexpr quint32 damaged = quint32(State::damaged);
constexpr quint32 unknown = quint32(State::unknown);
constexpr quint32 red = 0x1C02020;  // 0xC02020 in RGB565
constexpr quint32 blue = 0x1202090; // 0x202090

// One album-art format of a SysInfoExtended (RGB 565).
QByteArray format(int width, int height, const QByteArray& more = {}) {
    return "<dict><key>FormatId</key><integer>1055</integer><key>RenderWidth</key><integer>" +
           QByteArray::number(width) + "</integer><key>RenderHeight</key><integer>" +
           QByteArray::number(height) +
           "</integer><key>PixelFormat</key><string>4C353635</string>" + more + "</dict>";
}

QByteArray description(const QByteArray& formats) {
    return TestSupport::sysInfoExtendedXML(
        {{QStringLiteral("FireWireGUID"), IPodVolume::defaultFirewireGuid()},
         {QStringLiteral("AlbumArt"), "<array>" + formats + "</array>"}});
}

// The cover processes this process started that are still there.
QList<int> coverProcessIDs() {
    QList<int> found;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        QFile command(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (!stat.open(QIODevice::ReadOnly) || !command.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> fields = stat.readAll().split(')').value(1).split(' ');
        if (fields.value(2).toInt() == ::getpid() && fields.value(1) != "Z" &&
            command.readAll().contains("--covers"))
            found.append(entry.toInt());
    }
    return found;
}

int coverProcesses() {
    return int(coverProcessIDs().size());
}

// The CPU time a process has used.
double cpuSecondsOf(int pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = stat.readAll().split(')').value(1).split(' ');
    return double(fields.value(12).toLongLong() + fields.value(13).toLongLong()) /
           double(::sysconf(_SC_CLK_TCK));
}

// TMPDIR set to a private folder until destroyed, then as it was.
class PrivateTemporaryFolder {
public:
    PrivateTemporaryFolder() { qputenv("TMPDIR", QFile::encodeName(folder_.path())); }
    ~PrivateTemporaryFolder() {
        if (saved_)
            qputenv("TMPDIR", *saved_);
        else
            qunsetenv("TMPDIR");
    }
    PrivateTemporaryFolder(const PrivateTemporaryFolder&) = delete;
    PrivateTemporaryFolder& operator=(const PrivateTemporaryFolder&) = delete;
    QString path() const { return folder_.path(); }
    QStringList entries() const {
        return QDir(folder_.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    }

private:
    std::optional<QByteArray> saved_ =
        qEnvironmentVariableIsSet("TMPDIR") ? std::optional(qgetenv("TMPDIR")) : std::nullopt;
    QTemporaryDir folder_;
};

} // namespace

// libgpod lays the pixels out by the device description, whatever the ArtworkDB written for
// the genuine one says: every cover of the damaged format is lost, nothing else.
TEST(StoredCovers, ADamagedDeviceDescriptionCostsTheCoversAndNothingElse) {
    const QByteArray genuine = format(64, 60);
    const std::pair<const char*, QByteArray> cases[] = {
        {"genuine", genuine},
        {"row bytes aligned to 1024",
         format(64, 60, "<key>RowBytesAlignment</key><integer>1024</integer>")},
        {"aligned rows of an odd width", format(65, 60, "<key>AlignRowBytes</key><true/>")},
        {"the format listed twice, a small one first", format(16, 16) + format(128, 120)},
    };
    // Besides, the description read from the device is handed to the process as it starts.
    for (const auto& [label, damage] : cases) {
        for (const bool handedOver : {false, true}) {
            if (handedOver && damage != genuine)
                continue;
            IPodVolume classic(QStringLiteral("MB029"), {.sysInfoExtended = description(genuine)});
            classic.addTrack(
                {.title = QStringLiteral("A"), .artwork = true, .artworkColor = 0xC02020});
            classic.addTrack({.title = QStringLiteral("B")});
            classic.addTrack(
                {.title = QStringLiteral("C"), .artwork = true, .artworkColor = 0x202090});
            classic.write();
            classic.writeSysInfoExtended(description(damage));
            DatabasePreflight::Request request = requestFor(classic);
            if (handedOver)
                request.sysInfoExtended = description(genuine);
            StoredCovers::Limits limits;
            limits.openWallClock = std::chrono::seconds(10);
            const QList<quint64> ids{classic.trackID(0), classic.trackID(1), classic.trackID(2)};
            const bool isGenuine = damage == genuine;
            EXPECT_EQ(coversOf(StoredCovers::read(request, ids, limits), ids),
                      (QList<quint32>{isGenuine ? red : damaged, none, isGenuine ? blue : damaged}))
                << label << (handedOver ? ", handed over" : "");
            StoredCovers::endAll();
        }
    }
}

// A cover whose decoding ends the process (here: libgpod reading a 600 MB thumbnail past the
// memory limit) is damaged; the covers after it come from a new process.
TEST(StoredCovers, AProcessThatDiesOnACoverCostsThatCoverAlone) {
    IPodVolume volume(QStringLiteral("MA477"));
    for (const quint32 colour : {0xC02020u, 0x202090u, 0xC02020u})
        volume.addTrack({.artwork = true, .artworkColor = colour});
    volume.write();
    QByteArray records = volume.readFile(artworkDB);
    QList<qsizetype> thumbnails;
    for (qsizetype at = records.indexOf("mhni"); at >= 0; at = records.indexOf("mhni", at + 4))
        thumbnails.append(at);
    ASSERT_EQ(thumbnails.size(), 6);
    TestSupport::writeUInt32(records, thumbnails[2] + 24, 600u << 20); // the second large one
    volume.writeFile(artworkDB, records);
    QFile pixels(volume.path(QStringLiteral("iPod_Control/Artwork/F1027_1.ithmb")));
    ASSERT_TRUE(pixels.resize(qint64(700) << 20)); // sparse

    StoredCovers::Limits limits;
    limits.memoryBytes = qint64(256) << 20;
    const QList<quint64> ids{volume.trackID(0), volume.trackID(1), volume.trackID(2)};
    // A sanitizer aborts on the failed allocation; without one (as when it gives null) the
    // helper's own exit says its memory ran out.
    const QByteArray sanitizerOptions = qgetenv("ASAN_OPTIONS");
    for (const char* more : {"", ":allocator_may_return_null=1"}) {
        qputenv("ASAN_OPTIONS", sanitizerOptions + more);
        for (int round = 0; round < 2; ++round) // the second time without a new death
            EXPECT_EQ(coversOf(StoredCovers::read(requestFor(volume), ids, limits), ids),
                      (QList<quint32>{red, damaged, red}))
                << more;
        EXPECT_EQ(coverProcesses(), 1);
        StoredCovers::endAll();
        EXPECT_EQ(coverProcesses(), 0);
    }
    qputenv("ASAN_OPTIONS", sanitizerOptions);
}

// One process per volume serves request after request; it is replaced when it is gone or the
// database changed, and what cannot be looked at is unknown, never damaged.
TEST(StoredCovers, TheProcessIsKeptReplacedAndEnded) {
    IPodVolume volume(QStringLiteral("MA477"));
    volume.addTrack({.artwork = true, .artworkColor = 0xC02020});
    volume.addTrack({.artwork = true, .artworkColor = 0x202090});
    volume.write();
    const QList<quint64> ids{volume.trackID(0), volume.trackID(1)};
    const auto covers = [&] { return coversOf(StoredCovers::read(requestFor(volume), ids), ids); };
    {
        // No temporary file of ours is left, and none is needed.
        const PrivateTemporaryFolder scratch;
        EXPECT_EQ(covers(), (QList<quint32>{red, blue}));
        EXPECT_EQ(covers(), (QList<quint32>{red, blue}));
        EXPECT_EQ(coverProcesses(), 1);

        // Ended while idle: nothing is lost.
        StoredCovers::endFor(QFile::encodeName(volume.mountPoint()));
        EXPECT_EQ(covers(), (QList<quint32>{red, blue}));

        // A save swaps where the covers' pixels lie: the new database is read.
        QByteArray records = volume.readFile(artworkDB);
        const qsizetype first = records.indexOf("mhni");
        const qsizetype second = records.indexOf("mhni", records.indexOf("mhni", first + 4) + 4);
        const QByteArray offset = records.mid(first + 20, 4);
        records.replace(first + 20, 4, records.mid(second + 20, 4));
        records.replace(second + 20, 4, offset);
        volume.writeFile(artworkDB, records);
        EXPECT_EQ(covers(), (QList<quint32>{blue, red}));
        StoredCovers::endAll();
        EXPECT_EQ(scratch.entries(), QStringList());

        qputenv("TMPDIR", QFile::encodeName(scratch.path() + QStringLiteral("/none/such")));
        EXPECT_EQ(covers(), (QList<quint32>{blue, red})) << "an unwritable temporary folder";
        StoredCovers::endAll();
    }

    const QByteArray helper = qgetenv("LORVANEL_OPEN_HELPER");
    qputenv("LORVANEL_OPEN_HELPER", "/nonexistent/lorvanel-open-helper");
    EXPECT_EQ(covers(), (QList<quint32>{unknown, unknown})) << "no helper";
    qputenv("LORVANEL_OPEN_HELPER", helper);
}

// The CPU limit is renewed for each cover: a healthy process that has used more than it was
// allowed for opening the database and for any one cover goes on answering.
TEST(StoredCovers, ALongLivedProcessOutlastsItsCPUAllowances) {
    IPodVolume classic(QStringLiteral("MB029"),
                       {.sysInfoExtended = description(format(1024, 1024))});
    QList<quint64> ids;
    for (int i = 0; i < 4; ++i)
        classic.addTrack({.artwork = true, .artworkColor = 0xC02020});
    classic.write();
    for (int i = 0; i < 4; ++i)
        ids.append(classic.trackID(i));
    StoredCovers::Limits limits;
    limits.openCPUSeconds = 1;
    limits.coverCPUSeconds = 1;
    const QList<quint32> covered(4, red);
    ASSERT_EQ(coversOf(StoredCovers::read(requestFor(classic), ids, limits), ids), covered);
    const QList<int> process = coverProcessIDs();
    ASSERT_EQ(process.size(), 1);
    for (int round = 0; round < 400 && cpuSecondsOf(process[0]) < 2.5; ++round)
        ASSERT_EQ(coversOf(StoredCovers::read(requestFor(classic), ids, limits), ids), covered);
    EXPECT_GE(cpuSecondsOf(process[0]), 2.5);
    EXPECT_EQ(coverProcessIDs(), process);
    StoredCovers::endAll();
}

// A cover is damaged only when its decoding fails by itself. One whose process overran (here:
// stopped, as by a disk read that does not return) or was ended from outside is unknown and
// answered by the next read. One whose process died of a fault on it is damaged, until a new
// process decoding it alone finds it sound.
TEST(StoredCovers, OnlyADecodingThatFailsByItselfMakesACoverDamaged) {
    IPodVolume classic(QStringLiteral("MB029"),
                       {.sysInfoExtended = description(format(1024, 1024))});
    classic.addTrack({.artwork = true, .artworkColor = 0xC02020});
    classic.addTrack({.artwork = true, .artworkColor = 0x202090});
    classic.write();
    const QList<quint64> ids{classic.trackID(0), classic.trackID(1)};
    const DatabasePreflight::Request request = requestFor(classic);
    const struct {
        const char* label;
        int signal;
        quint32 inFlight;
    } cases[] = {
        {"stopped", SIGSTOP, unknown},
        {"killed", SIGKILL, unknown},
        {"terminated", SIGTERM, unknown},
        {"faulted", SIGSEGV, damaged},
    };
    for (const auto& [label, signal, inFlight] : cases) {
        // Signalled once it has taken the first request: the first cover is still on its way
        // then, as its answer of 3 MB takes a while to make and does not fit the socket.
        int taken = 0;
        const StoredCovers::Limits limits = TestSupport::signalledOnFirstRequest(signal, taken);
        EXPECT_EQ(coversOf(StoredCovers::read(request, {ids[0]}, limits), {ids[0]}),
                  QList<quint32>{inFlight})
            << label;
        EXPECT_EQ(taken, 1) << label;
        EXPECT_EQ(coversOf(StoredCovers::read(request, ids), ids),
                  (QList<quint32>{inFlight == damaged ? damaged : red, blue}))
            << label << ", asked again";
        EXPECT_EQ(coversOf({{ids[0], StoredCovers::readAlone(request, ids[0])}}, {ids[0]}),
                  QList<quint32>{red})
            << label << ", alone";
        EXPECT_EQ(coversOf(StoredCovers::read(request, ids), ids), (QList<quint32>{red, blue}))
            << label << ", after it was found sound";
        StoredCovers::endAll();
    }
}

// Ending them all, as the application does last, waits until every process started is gone with
// its temporary folder: also one that a volume going away had only told to end a moment before.
TEST(StoredCovers, EndingAllLeavesNoProcessNorTemporaryFolder) {
    IPodVolume volume(QStringLiteral("MA477"));
    volume.addTrack({.artwork = true, .artworkColor = 0xC02020});
    volume.write();
    const QList<quint64> ids{volume.trackID(0)};
    const PrivateTemporaryFolder scratch;
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(coversOf(StoredCovers::read(requestFor(volume), ids), ids), QList<quint32>{red});
        StoredCovers::endFor(QFile::encodeName(volume.mountPoint()));
        StoredCovers::endAll();
        const QStringList left = scratch.entries();
        EXPECT_TRUE(left.isEmpty()) << qPrintable(left.join(u' '));
        EXPECT_EQ(coverProcesses(), 0);
    }
}

// What the cover processes of runs now gone left in TMPDIR goes at the next start: a folder of
// this user's named as ours whose lock no live process holds, with all it holds, never
// following a link out of it. A folder a live process uses (this run's cover process, or one
// that outlived the run that started it), another user's, a link or a file of that name and
// any other name stay.
TEST(StoredCovers, FoldersLeftByRunsNowGoneAreRemoved) {
    IPodVolume volume(QStringLiteral("MA477"));
    volume.addTrack({.artwork = true, .artworkColor = 0xC02020});
    volume.write();
    const QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    const PrivateTemporaryFolder scratch;
    const QString kept = outside.filePath(QStringLiteral("kept"));
    ASSERT_TRUE(QDir().mkpath(kept));
    // A folder as a cover process leaves it: its lock file (or none, as older runs left them),
    // the shadow of an iPod's folders with links out of it.
    const auto makeFolder = [&](const QString& folder, bool locked) {
        ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/shadow/iPod_Control/Device")));
        QFile sysInfo(folder + QStringLiteral("/shadow/iPod_Control/Device/SysInfo"));
        ASSERT_TRUE(sysInfo.open(QIODevice::WriteOnly));
        if (locked) {
            QFile lock(folder + QStringLiteral("/lock"));
            ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        }
        ASSERT_TRUE(QFile::link(kept, folder + QStringLiteral("/shadow/iPod_Control/Music")));
    };
    const QString ours = scratch.path() + QStringLiteral("/lorvanel-covers-");
    // Processes holding a folder's lock, as a cover process that outlived its run does.
    struct Holders {
        std::vector<pid_t> pids;
        ~Holders() { stop(); }
        void stop() {
            for (const pid_t pid : pids) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
            pids.clear();
        }
    } holders;
    bool anotherUser = true;
    const struct {
        const char* what;
        QString entry;
        std::function<void(const QString&)> make;
        bool removed;
    } cases[] = {
        {"left by a run now gone", ours + QStringLiteral("Ab12Cd"),
         [&](const QString& path) { makeFolder(path, true); }, true},
        {"left by an older run, without a lock", ours + QStringLiteral("OLD123"),
         [&](const QString& path) { makeFolder(path, false); }, true},
        {"used by a process that outlived its run", ours + QStringLiteral("LIVE01"),
         [&](const QString& path) {
             makeFolder(path, true);
             int ready[2];
             ASSERT_EQ(::pipe(ready), 0);
             const QByteArray lock = QFile::encodeName(path + QStringLiteral("/lock"));
             const pid_t pid = ::fork();
             if (pid == 0) {
                 ::prctl(PR_SET_PDEATHSIG, SIGKILL);
                 const int fd = ::open(lock.constData(), O_RDWR);
                 if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::write(ready[1], "1", 1) != 1)
                     ::_exit(1);
                 ::pause();
                 ::_exit(0);
             }
             ASSERT_GT(pid, 0);
             holders.pids.push_back(pid);
             char taken = 0;
             ::close(ready[1]);
             ASSERT_EQ(::read(ready[0], &taken, 1), 1);
             ::close(ready[0]);
         },
         false},
        {"another user's", ours + QStringLiteral("THEIRS"),
         [&](const QString& path) {
             makeFolder(path, true);
             anotherUser = ::chown(QFile::encodeName(path).constData(), 65534, 65534) == 0;
         },
         false},
        {"a link to a folder like ours", ours + QStringLiteral("LINK01"),
         [&](const QString& path) {
             makeFolder(outside.filePath(QStringLiteral("linked")), true);
             ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("linked")), path));
         },
         false},
        {"a file", ours + QStringLiteral("FILE01"),
         [&](const QString& path) {
             QFile file(path);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
         },
         false},
        {"another name", ours + QStringLiteral("Ab12C"),
         [&](const QString& path) { makeFolder(path, true); }, false},
    };
    for (const auto& test : cases)
        ASSERT_NO_FATAL_FAILURE(test.make(test.entry)) << test.what;
    // This run's cover process, asked a cover, keeps a folder of its own.
    const QList<quint64> ids{volume.trackID(0)};
    EXPECT_EQ(coversOf(StoredCovers::read(requestFor(volume), ids), ids), QList<quint32>{red});
    QStringList running = scratch.entries();
    for (const auto& test : cases)
        running.removeAll(QFileInfo(test.entry).fileName());
    ASSERT_EQ(running.size(), 1);
    // Its process holds the folder's lock too, so that the folder outlives a run killed first.
    const QList<int> process = coverProcessIDs();
    ASSERT_EQ(process.size(), 1);
    const QString heldLock = scratch.path() + u'/' + running[0] + QStringLiteral("/lock");
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(process[0]));
    const QStringList held = descriptors.entryList(QDir::AllEntries | QDir::System);
    EXPECT_TRUE(std::any_of(held.cbegin(), held.cend(), [&](const QString& fd) {
        return QFile::symLinkTarget(descriptors.filePath(fd)) == heldLock;
    }));

    StoredCovers::removeFoldersLeftBehind();
    for (const auto& test : cases)
        EXPECT_EQ(QFileInfo(test.entry).exists() || QFileInfo(test.entry).isSymLink(),
                  !test.removed)
            << test.what;
    EXPECT_TRUE(QFileInfo::exists(scratch.path() + u'/' + running[0])) << "this run's";
    EXPECT_TRUE(QFileInfo(kept).isDir());
    EXPECT_TRUE(QFileInfo::exists(outside.filePath(QStringLiteral("linked/lock"))));

    holders.stop();
    StoredCovers::endAll();
    StoredCovers::removeFoldersLeftBehind();
    EXPECT_FALSE(QFileInfo::exists(ours + QStringLiteral("LIVE01"))) << "once its process ended";
    EXPECT_FALSE(QFileInfo::exists(scratch.path() + u'/' + running[0]));
    if (!anotherUser)
        GTEST_SKIP() << "no other user to give a folder to here";
}
