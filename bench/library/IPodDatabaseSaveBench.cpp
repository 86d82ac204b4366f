// What a user waits for after editing one tag of a large library: open, edit, save, reload
// (open, device name, model, tracks, playlists, shuffle state), each opening made as the device
// layer makes it (the helper process reads files it has not read before, then this process
// opens them), against a bare itdb_parse, the same edit, itdb_write and itdb_parse of the same
// database, in the same process (and so with the same GLib allocator). Our own time is what the
// cycle spends outside libgpod's parse, write and free (wrapped at link time and clocked) and
// outside the helper process, whose time is given apart.

#include "BenchArguments.h"
#include "library/DatabasePreflight.h"
#include "library/IPodDatabase.h"
#include "platform/GLibAllocator.h"
#include "support/IPodVolume.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

LORVANEL_GLIB_SYSTEM_MALLOC

namespace {

qint64 libgpodNanoseconds = 0;

struct LibgpodClock {
    QElapsedTimer timer;
    LibgpodClock() { timer.start(); }
    ~LibgpodClock() { libgpodNanoseconds += timer.nsecsElapsed(); }
};

} // namespace

extern "C" {
Itdb_iTunesDB* __real_itdb_parse(const gchar* mountpoint, GError** error);
gboolean __real_itdb_write(Itdb_iTunesDB* database, GError** error);
void __real_itdb_free(Itdb_iTunesDB* database);

Itdb_iTunesDB* __wrap_itdb_parse(const gchar* mountpoint, GError** error) {
    const LibgpodClock clock;
    return __real_itdb_parse(mountpoint, error);
}
gboolean __wrap_itdb_write(Itdb_iTunesDB* database, GError** error) {
    const LibgpodClock clock;
    return __real_itdb_write(database, error);
}
void __wrap_itdb_free(Itdb_iTunesDB* database) {
    const LibgpodClock clock;
    __real_itdb_free(database);
}
}

namespace {

constexpr quint64 firstID = 0x2000'0000'0000ULL;
constexpr double wholeEditBudgetSeconds = 3.0; // at 40,000 tracks
constexpr double ownShareBudget = 0.02;        // of the bare itdb_write

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// IPodDevice::openDatabase without the USB reads: the helper first (a no-op for files it has
// read before), then the session, whose records the helper has walked.
std::unique_ptr<IPodDatabase> openAsTheDevice(const QString& mountPoint,
                                              qint64& helperNanoseconds) {
    QElapsedTimer timer;
    timer.start();
    DatabasePreflight::check({mountPoint, std::nullopt, std::nullopt, "bench volume"});
    helperNanoseconds += timer.nsecsElapsed();
    return IPodDatabase::open(mountPoint, std::nullopt, {}, {}, true);
}

[[noreturn]] void fail(const char* what) {
    std::printf("%s failed\n", what);
    std::exit(2);
}

struct Figures {
    double bareCycle = 0; // seconds
    double bareWrite = 0;
    double oursCycle = 0;
    double oursOwn = 0;    // outside libgpod's parse, write and free, and the helper
    double oursHelper = 0; // the helper process, for the reload
};

Figures measure(int trackCount, int rounds) {
    // A classic: the only iPod that holds this many songs, with its hashed database.
    TestSupport::IPodVolume volume(QStringLiteral("MB029"));
    volume.addTracksWithoutFiles(trackCount, firstID, TestSupport::TrackSpec{});
    volume.addPlaylist(QStringLiteral("Favourites"), {0, 5, 9, trackCount / 2, trackCount - 1});
    volume.write();
    // One save of ours settles what libgpod normalises in a database it just built itself.
    IPodDatabase(volume.mountPoint()).saveLibrary();
    const QString iTunesDB = QStringLiteral("iPod_Control/iTunes/iTunesDB");
    const QByteArray original = volume.readFile(iTunesDB);
    const QByteArray path = QFile::encodeName(volume.mountPoint());
    const quint64 edited = firstID + quint64(trackCount) / 3;

    std::vector<double> bareCycle, bareWrite, oursCycle, oursOwn, oursHelper;
    for (int round = 0; round < rounds; ++round) {
        const auto runBare = [&] {
            volume.writeFile(iTunesDB, original);
            QElapsedTimer timer;
            timer.start();
            GError* error = nullptr;
            Itdb_iTunesDB* database = itdb_parse(path.constData(), &error);
            if (!database)
                fail("itdb_parse");
            for (GList* link = database->tracks; link; link = link->next) {
                auto* track = static_cast<Itdb_Track*>(link->data);
                if (track->dbid == edited) {
                    g_free(track->title);
                    track->title = g_strdup("Edited");
                }
            }
            QElapsedTimer write;
            write.start();
            if (!itdb_write(database, &error))
                fail("itdb_write");
            bareWrite.push_back(double(write.nsecsElapsed()) / 1e9);
            itdb_free(database);
            Itdb_iTunesDB* reloaded = itdb_parse(path.constData(), &error);
            if (!reloaded)
                fail("itdb_parse");
            itdb_free(reloaded);
            bareCycle.push_back(double(timer.nsecsElapsed()) / 1e9);
        };
        const auto runOurs = [&] {
            volume.writeFile(iTunesDB, original);
            // The library was loaded before the user edits it: the helper has read these files.
            qint64 helperNanoseconds = 0;
            DatabasePreflight::check(
                {volume.mountPoint(), std::nullopt, std::nullopt, "bench volume"});
            libgpodNanoseconds = 0;
            QElapsedTimer timer;
            timer.start();
            {
                const auto opened = openAsTheDevice(volume.mountPoint(), helperNanoseconds);
                IPodDatabase& session = *opened;
                if (!session.updateTrackMetadata(edited, {QStringLiteral("Edited"),
                                                          QStringLiteral("Artist 1"),
                                                          QStringLiteral("Album 1"),
                                                          {},
                                                          QStringLiteral("Rock")}))
                    fail("the edit");
                session.saveLibrary();
            }
            std::optional<QString> name;
            std::optional<IPodModel> model;
            QList<Track> tracks;
            QList<IPodPlaylist> playlists;
            std::optional<IPodDatabase::Shuffle2State> shuffle;
            {
                const auto reloaded = openAsTheDevice(volume.mountPoint(), helperNanoseconds);
                name = reloaded->mainPlaylistName();
                model = reloaded->model();
                tracks = reloaded->loadTracks();
                playlists = reloaded->loadPlaylists();
                shuffle = reloaded->readShuffle2PlaybackMode();
            }
            const qint64 cycle = timer.nsecsElapsed();
            if (!name || !model || tracks.size() != trackCount || playlists.size() != 1 || shuffle)
                fail("the reload");
            const auto found = std::find_if(tracks.begin(), tracks.end(),
                                            [&](const Track& t) { return t.id == edited; });
            if (found == tracks.end() || found->title != QStringLiteral("Edited"))
                fail("the saved edit");
            oursCycle.push_back(double(cycle) / 1e9);
            oursOwn.push_back(double(cycle - libgpodNanoseconds - helperNanoseconds) / 1e9);
            oursHelper.push_back(double(helperNanoseconds) / 1e9);
        };
        // The two sides take turns going first, so that neither always pays for the
        // write-back of the round before.
        if (round % 2 == 0) {
            runBare();
            runOurs();
        } else {
            runOurs();
            runBare();
        }
    }
    return {median(bareCycle), median(bareWrite), median(oursCycle), median(oursOwn),
            median(oursHelper)};
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> counts;
    BenchArguments arguments("lorvanel_library_save_bench",
                             "Open, edit one tag, save and reload a library, against libgpod's "
                             "bare parse, write\nand parse of the same database.");
    arguments.value("tracks", "N",
                    "Library size to measure; repeat for several (default: 5000, 10000, 20000 "
                    "and 40000)",
                    [&counts](const QString& v) {
                        int count = 0;
                        return BenchArguments::toCount(v, count) && (counts.push_back(count), true);
                    });
    arguments.parse(argc, argv);
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("LORVANEL_OPEN_HELPER"))
        qputenv("LORVANEL_OPEN_HELPER", LORVANEL_OPEN_HELPER_PATH);
    if (counts.empty())
        counts = {5'000, 10'000, 20'000, 40'000};

    bool withinBudget = true;
    std::printf("open, edit one tag, save, reload; medians of each side's rounds\n");
    for (int count : counts) {
        const Figures f = measure(count, count >= 40'000 ? 3 : 5);
        const double ownShare = f.oursOwn / f.bareWrite;
        std::printf("%6d tracks: ours %6.3f s, bare parse + write + parse %6.3f s (ratio %.3f); "
                    "bare itdb_write %6.3f s\n"
                    "              of ours: the reload's helper process %6.3f s; our own time "
                    "around libgpod %7.2f ms = %5.2f %% of the bare write (budget <= %.0f %%)\n",
                    count, f.oursCycle, f.bareCycle, f.oursCycle / f.bareCycle, f.bareWrite,
                    f.oursHelper, f.oursOwn * 1e3, ownShare * 100, ownShareBudget * 100);
        withinBudget = withinBudget && ownShare <= ownShareBudget;
        if (count == 40'000) {
            std::printf("              whole edit %.3f s (budget <= %.1f s)\n", f.oursCycle,
                        wholeEditBudgetSeconds);
            withinBudget = withinBudget && f.oursCycle <= wholeEditBudgetSeconds;
        }
    }
    std::printf("%s\n", withinBudget ? "within budget" : "OVER BUDGET");
    return withinBudget ? 0 : 1;
}
