// One song imported into a fifth-generation nano library of 1k, 10k and 40k tracks, and where
// its time goes, against libgpod writing the same library itself (what a save through libgpod
// would cost), in the same run. Every step of the import reads, rebuilds and rewrites the
// whole library, so both grow with its size.

#include "BenchArguments.h"
#include "library/GLibHandles.h"
#include "library/Nano5Container.h"
#include "library/Nano5Database.h"
#include "library/Nano5Export.h"
#include "library/Nano5Locations.h"
#include "library/Nano5Playlist.h"
#include "library/Nano5Records.h"
#include "library/Nano5Writer.h"
#include "library_nano5/Nano5Volume.h"
#include "platform/GLibAllocator.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace Nano5Playlist;

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double millis(const std::function<void()>& fn) {
    QElapsedTimer timer;
    timer.start();
    fn();
    return timer.nsecsElapsed() / 1e6;
}

struct Phases {
    std::map<std::string, std::vector<double>> times;
    void add(const char* name, double ms) { times[name].push_back(ms); }
};

// The import's building blocks on the volume as it is, timed one by one.
void timeSteps(const Nano5Volume::Volume& volume, const fs::path& song, Phases& phases) {
    std::vector<QByteArray> files;
    phases.add("1 read five files", millis([&] {
                   for (const QString& name : databaseFiles())
                       files.push_back(readDatabaseFile(volume.itunes() / name.toStdString()));
               }));
    QByteArray payload;
    phases.add("2 inflate and check", millis([&] { payload = checkedPayload(files[0]); }));

    const SigningFolder folder(volume.sysInfo);
    folder.write("iPod_Control/iTunes/iTunesCDB", files[0]);
    GLibHandles::DatabasePtr db;
    phases.add("3 libgpod parse", millis([&] {
                   GLibHandles::ErrorSlot error;
                   db.reset(itdb_parse(folder.path().c_str(), error.out()));
               }));
    Itdb_Track* track = itdb_track_new();
    track->title = g_strdup("Bench");
    track->filetype_marker = mp3FileType;
    track->mediatype = ITDB_MEDIATYPE_AUDIO;
    track->tracklen = 240000;
    itdb_track_add(db.get(), track, -1);
    QByteArray record;
    phases.add("4 export record", millis([&] {
                   gsize length = 0;
                   guint8* bytes = itdb_nano5_export_track(track, &length);
                   record = QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(length));
                   g_free(bytes);
               }));
    InsertedTrack inserted;
    phases.add("5 insert and deflate", millis([&] {
                   inserted = insertTrackRecord(record, files[0], payload,
                                                itdb_playlist_mpl(db.get())->id);
               }));
    phases.add("6 sign and parse back", millis([&] {
                   signCDB(db->device, files[0], inserted.cdb);
                   folder.write("iPod_Control/iTunes/iTunesCDB", inserted.cdb);
                   GLibHandles::ErrorSlot error;
                   GLibHandles::DatabasePtr check(itdb_parse(folder.path().c_str(), error.out()));
               }));
    QByteArray locations;
    phases.add("7 SQLite copies", millis([&] {
                   Nano5Song row;
                   row.itemPid = sqlPid(track->dbid);
                   row.title = QStringLiteral("Bench");
                   row.artist = QStringLiteral("Bench Artist");
                   row.containerPid = sqlPid(itdb_playlist_mpl(db.get())->id);
                   row.totalTimeMs = 240000;
                   writeTrackLibrary(files[1], folder.path() / "Library.itdb", row);
                   writeDynamicDatabase(files[2], folder.path() / "Dynamic.itdb", row.itemPid,
                                        insertItemStats);
                   locations = writeLocationsDatabase(files[3], folder.path() / "Locations.itdb",
                                                      row.itemPid, QStringLiteral("BENCH000.mp3"),
                                                      0, 4 << 20);
               }));
    phases.add("8 checksum file", millis([&] {
                   locationsChecksum(files[3]);
                   QByteArray cbk = locationsChecksum(locations);
                   Nano5Signing::signLocations(*Nano5Signing::deviceParameters(files[4], files[0]),
                                               cbk);
               }));
    (void)song;
}

} // namespace

LORVANEL_GLIB_SYSTEM_MALLOC

int main(int argc, char** argv) {
    BenchArguments("lorvanel_nano5_import_bench",
                   "One song imported into a fifth-generation nano library of 1k, 10k and 40k "
                   "tracks,\nagainst libgpod writing the same library itself.")
        .parse(argc, argv);
    QCoreApplication app(argc, argv);
    const QString base = Nano5Fixture::memoryTempBase();
    std::printf("fifth-generation nano: one MP3 import (4 MiB) against library size; volume in %s\n"
                "baseline: libgpod writing the same library with itdb_write_file\n\n",
                qPrintable(base));
    std::printf("%8s %12s %12s %8s\n", "tracks", "ours ms", "libgpod ms", "ratio");

    std::vector<std::pair<int, Phases>> breakdowns;
    for (int size : {1000, 10000, 40000}) {
        std::printf("(building the %d-track volume...)\n", size);
        std::fflush(stdout);
        Nano5Volume::Options options;
        options.trackCount = size;
        Nano5Volume::Volume volume(base, options);
        const fs::path song = volume.mount.parent_path() / "song.mp3";
        Nano5Fixture::writeFile(song, QByteArray(4 << 20, 'S'));

        std::vector<double> ours, baseline;
        Phases phases;
        for (int round = 0; round < 3; ++round) {
            timeSteps(volume, song, phases);
            ours.push_back(millis([&] {
                importTrack(song, QStringLiteral("Bench %1").arg(round), QStringLiteral("Artist"),
                            QStringLiteral("Album"), {}, 44100 * 240, 44100, 2, volume.sysInfo,
                            volume.mount, [] {});
            }));
            phases.add("total import", ours.back());
            auto db = volume.parse();
            // A blank device, so that libgpod writes the plain database to the file given and
            // leaves the nano's SQLite files alone.
            itdb_device_free(db->device);
            db->device = itdb_device_new();
            const fs::path out = volume.mount.parent_path() / "baseline-iTunesDB";
            baseline.push_back(millis([&] {
                GLibHandles::ErrorSlot error;
                itdb_write_file(db.get(), out.c_str(), error.out());
            }));
        }
        const double o = median(ours), b = median(baseline);
        std::printf("%8d %12.1f %12.1f %8.2f\n", size, o, b, o / b);
        breakdowns.emplace_back(size, std::move(phases));
    }

    std::printf("\nwhere the time goes (median ms; the rest of the total is staging and the "
                "commit)\n");
    for (const auto& [size, phases] : breakdowns) {
        std::printf("%d tracks:\n", size);
        double steps = 0;
        for (const auto& [name, values] : phases.times) {
            const double m = median(values);
            std::printf("  %-24s %10.1f\n", name.c_str(), m);
            if (name != "total import")
                steps += m;
        }
        std::printf("  %-24s %10.1f\n", "staging and commit",
                    median(phases.times.at("total import")) - steps);
    }
    return 0;
}
