// Opening and reading a 40,000-track library against a bare itdb_parse of the same database,
// in the same run. The library is built once (preset ids keep building linear) and kept in
// the build folder between runs.

#include "library/IPodDatabase.h"
#include "platform/GLibAllocator.h"
#include "support/IPodVolume.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int trackCount = 40'000;

QString libraryFolder() {
    const QString folder = QDir::currentPath() + QStringLiteral("/library-40k");
    if (QFileInfo::exists(folder + QStringLiteral("/iPod_Control/iTunes/iTunesDB")))
        return folder;
    std::printf("building the %d-track library once (libgpod's save is slow at this size)...\n",
                trackCount);
    TestSupport::IPodVolume volume(QStringLiteral("MA477"));
    volume.addTracksWithoutFiles(trackCount, 0x1000'0000'0000ULL, TestSupport::TrackSpec{});
    volume.addPlaylist(QStringLiteral("First"), {0, 1, 2, 3});
    volume.write();
    const QString built = volume.mountPoint();
    QDir(folder).removeRecursively();
    if (!QDir().rename(built, folder))
        std::printf("cannot move the library into %s\n", qPrintable(folder));
    QDir().mkpath(built); // the fixture removes its own folder
    return folder;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

LORVANEL_GLIB_SYSTEM_MALLOC

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString folder = libraryFolder();
    const QByteArray path = QFile::encodeName(folder);
    const auto before = TestSupport::snapshotTree(folder);

    std::vector<double> bare;
    std::vector<double> ours;
    qsizetype tracks = 0;
    for (int round = 0; round < 7; ++round) {
        QElapsedTimer timer;
        timer.start();
        GError* error = nullptr;
        Itdb_iTunesDB* database = itdb_parse(path.constData(), &error);
        bare.push_back(timer.nsecsElapsed() / 1e6);
        if (!database) {
            std::printf("itdb_parse failed\n");
            return 1;
        }
        itdb_free(database);

        timer.restart();
        {
            IPodDatabase session(folder, std::nullopt, [] { return std::optional<int>(0x1260); });
            tracks = session.loadTracks().size();
            session.loadPlaylists();
            session.model();
            session.mainPlaylistName();
        }
        ours.push_back(timer.nsecsElapsed() / 1e6);
    }
    const double bareMs = median(bare);
    const double oursMs = median(ours);
    const bool unchanged = TestSupport::snapshotTree(folder) == before;
    std::printf("tracks read:                    %lld\n", static_cast<long long>(tracks));
    std::printf("bare itdb_parse (median of 7):  %8.1f ms\n", bareMs);
    std::printf("open + read (median of 7):      %8.1f ms\n", oursMs);
    std::printf("ratio:                          %8.2f (target <= 1.30)\n", oursMs / bareMs);
    std::printf("volume unchanged:               %s\n", unchanged ? "yes" : "NO");
    return unchanged && oursMs <= 1.3 * bareMs ? 0 : 1;
}
