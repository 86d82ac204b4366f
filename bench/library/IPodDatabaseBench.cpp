// Opening and reading a 40,000-track library against a bare itdb_parse of the same database,
// in the same run.
//
// Each side is clocked up to the end of its read; the release of what it read is clocked on its
// own, together with the consolidation of the freed heap. Left to itself, glibc consolidates the
// hundreds of thousands of small blocks one side has just freed at the next large allocation,
// in the other side's time (20 to 30 ms a round here).

#include "BenchArguments.h"
#include "LargeLibrary.h"

#include "library/GLibHandles.h"
#include "library/IPodDatabase.h"
#include "platform/GLibAllocator.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <memory>

#include <malloc.h>

LORVANEL_GLIB_SYSTEM_MALLOC

namespace {

// Merges the small blocks freed so far, as glibc would at the next large allocation: glibc
// consolidates the heap on any change of setting, and this one sets the small-block limit to
// its default, which changes nothing else (malloc_trim would also hand the memory back, and
// both sides would then pay for faulting it in again).
void consolidateHeap() {
    mallopt(M_MXFAST, 64 * sizeof(size_t) / 4);
}

} // namespace

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
    std::vector<double> bareFree;
    std::vector<double> oursClose;
    qsizetype tracks = 0;
    consolidateHeap();
    for (int round = 0; round < 7; ++round) {
        QElapsedTimer timer;
        timer.start();
        GLibHandles::ErrorSlot error;
        Itdb_iTunesDB* parsed = itdb_parse(path.constData(), error.out());
        bare.push_back(timer.nsecsElapsed() / 1e6);
        if (!parsed) {
            std::printf("itdb_parse failed\n");
            return 1;
        }
        timer.start();
        itdb_free(parsed);
        consolidateHeap();
        bareFree.push_back(timer.nsecsElapsed() / 1e6);

        timer.start();
        auto session = std::make_unique<IPodDatabase>(folder, std::nullopt,
                                                      [] { return std::optional<int>(0x1260); });
        tracks = session->loadTracks().size();
        session->loadPlaylists();
        session->model();
        session->mainPlaylistName();
        ours.push_back(timer.nsecsElapsed() / 1e6);
        timer.start();
        session.reset();
        consolidateHeap();
        oursClose.push_back(timer.nsecsElapsed() / 1e6);
    }
    const double bareMs = LargeLibrary::median(bare);
    const double oursMs = LargeLibrary::median(ours);
    const bool unchanged = TestSupport::snapshotTree(folder) == before;
    std::printf("tracks read:                    %lld\n", static_cast<long long>(tracks));
    std::printf("bare itdb_parse (median of 7):  %8.1f ms\n", bareMs);
    std::printf("open + read (median of 7):      %8.1f ms\n", oursMs);
    std::printf("ratio:                          %8.2f (target <= 1.30)\n", oursMs / bareMs);
    std::printf("itdb_free (median of 7):        %8.1f ms (heap consolidated after)\n",
                LargeLibrary::median(bareFree));
    std::printf("close (median of 7):            %8.1f ms (heap consolidated after)\n",
                LargeLibrary::median(oursClose));
    std::printf("volume unchanged:               %s\n", unchanged ? "yes" : "NO");
    return unchanged && oursMs <= 1.3 * bareMs ? 0 : 1;
}
