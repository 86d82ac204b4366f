// An edit and save of our database session against a bare itdb_write of the same database, in
// the same run, at two library sizes. libgpod's own write grows with the square of the track
// count; what we add around it (the write gate, resolving, the still-in-use check of a
// deletion, the main-playlist de-duplication) must stay a small share of it.

#include "library/IPodDatabase.h"
#include "support/IPodVolume.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr quint64 firstID = 0x2000'0000'0000ULL;
constexpr int rounds = 6;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Result {
    double bareMs;
    double oursMs;
    double editsMs;
};

Result measure(int trackCount) {
    TestSupport::IPodVolume volume(QStringLiteral("MA477"));
    volume.addTracksWithoutFiles(trackCount, firstID, TestSupport::TrackSpec{});
    volume.write();
    // Real files behind every track, as on a device, so the deletion checks real paths.
    for (int i = 0; i < trackCount; ++i)
        volume.writeFile(QStringLiteral("iPod_Control/Music/F%1/T%2.mp3")
                             .arg(i % 20, 2, 10, QLatin1Char('0'))
                             .arg(i),
                         "a");
    const QString iTunesDB = QStringLiteral("iPod_Control/iTunes/iTunesDB");
    const QByteArray original = volume.readFile(iTunesDB);
    const QByteArray path = QFile::encodeName(volume.mountPoint());

    std::vector<double> bare;
    std::vector<double> ours;
    std::vector<double> edits;
    for (int round = 0; round < rounds; ++round) {
        // The two sides take turns going first, so that neither always pays for the
        // write-back of the round before.
        const auto runBare = [&] {
            volume.writeFile(iTunesDB, original);
            GError* error = nullptr;
            Itdb_iTunesDB* database = itdb_parse(path.constData(), &error);
            if (!database) {
                std::printf("itdb_parse failed\n");
                std::exit(1);
            }
            QElapsedTimer timer;
            timer.start();
            if (!itdb_write(database, &error)) {
                std::printf("itdb_write failed\n");
                std::exit(1);
            }
            bare.push_back(double(timer.nsecsElapsed()) / 1e6);
            itdb_free(database);
        };
        const auto runOurs = [&] {
            volume.writeFile(iTunesDB, original);
            IPodDatabase session(volume.mountPoint());
            QElapsedTimer timer;
            timer.start();
            session.createPlaylist(QStringLiteral("Bench"),
                                   {firstID + 1, firstID + 2, firstID + quint64(trackCount) - 1});
            session.updateTrackMetadata(
                firstID + 3, {QStringLiteral("Edited"), {}, {}, {}, QStringLiteral("Rock")});
            const auto unused = session.deleteTracks({firstID + quint64(trackCount) / 2});
            const double editMs = double(timer.nsecsElapsed()) / 1e6;
            session.saveLibrary();
            ours.push_back(double(timer.nsecsElapsed()) / 1e6);
            edits.push_back(editMs);
            if (unused.size() != 1) {
                std::printf("the deletion found %lld unused files, expected 1\n",
                            static_cast<long long>(unused.size()));
                std::exit(1);
            }
        };
        if (round % 2 == 0) {
            runBare();
            runOurs();
        } else {
            runOurs();
            runBare();
        }
    }
    return {median(bare), median(ours), median(edits)};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    bool withinTarget = true;
    for (int count : {5'000, 20'000}) {
        const Result result = measure(count);
        const double ratio = result.oursMs / result.bareMs;
        std::printf("%6d tracks: bare itdb_write %8.1f ms, edit + save %8.1f ms, "
                    "ratio %.3f (overhead %+.1f %%, target < 10 %%)\n"
                    "              of which the edits %.1f ms (%.1f %% of the bare write)\n",
                    count, result.bareMs, result.oursMs, ratio, (ratio - 1) * 100, result.editsMs,
                    result.editsMs / result.bareMs * 100);
        withinTarget = withinTarget && ratio < 1.10;
    }
    return withinTarget ? 0 : 1;
}
