// Opening and reading a 40,000-track library against a bare itdb_parse of the same database,
// in the same run.

#include "BenchArguments.h"
#include "LargeLibrary.h"

#include "library/IPodDatabase.h"
#include "platform/GLibAllocator.h"

#include <QCoreApplication>
#include <QElapsedTimer>

LORVANEL_GLIB_SYSTEM_MALLOC

int main(int argc, char** argv) {
    BenchArguments("lorvanel_library_bench",
                   "Opening and reading a 40,000-track library against a bare itdb_parse of the "
                   "same\ndatabase (built once into library-40k in the current folder).")
        .parse(argc, argv);
    QCoreApplication app(argc, argv);
    const QString folder = LargeLibrary::folder();
    const QByteArray path = QFile::encodeName(folder);
    const auto before = TestSupport::snapshotTree(folder);

    std::vector<double> bare;
    std::vector<double> ours;
    qsizetype tracks = 0;
    for (int round = 0; round < 7; ++round) {
        const auto parse = LargeLibrary::bareParseMilliseconds(path);
        if (!parse)
            return 1;
        bare.push_back(*parse);

        QElapsedTimer timer;
        timer.start();
        {
            IPodDatabase session(folder, std::nullopt, [] { return std::optional<int>(0x1260); });
            tracks = session.loadTracks().size();
            session.loadPlaylists();
            session.model();
            session.mainPlaylistName();
        }
        ours.push_back(timer.nsecsElapsed() / 1e6);
    }
    const double bareMs = LargeLibrary::median(bare);
    const double oursMs = LargeLibrary::median(ours);
    const bool unchanged = TestSupport::snapshotTree(folder) == before;
    std::printf("tracks read:                    %lld\n", static_cast<long long>(tracks));
    std::printf("bare itdb_parse (median of 7):  %8.1f ms\n", bareMs);
    std::printf("open + read (median of 7):      %8.1f ms\n", oursMs);
    std::printf("ratio:                          %8.2f (target <= 1.30)\n", oursMs / bareMs);
    std::printf("volume unchanged:               %s\n", unchanged ? "yes" : "NO");
    return unchanged && oursMs <= 1.3 * bareMs ? 0 : 1;
}
