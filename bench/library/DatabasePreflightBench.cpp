// Loading a 40,000-track library as the store does, the first time (the helper process reads
// it and sends back what it read; this process parses nothing) and again with the files
// unchanged (no helper; opened and read here), against a bare itdb_parse of the same database,
// side by side in each round. Each side is timed until the library has been read; freeing it
// comes after (itdb_free for the bare parse, the session for an opening in this process).
// Before each timed step the heap is settled (malloc_trim), so that no step pays for merging
// the chunks another step freed.

#include "BenchArguments.h"
#include "LargeLibrary.h"

#include "library/DatabasePreflight.h"
#include "library/IPodDatabase.h"
#include "library/LibrarySnapshot.h"
#include "platform/GLibAllocator.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <malloc.h>

namespace {

// The load's whole read, as the device layer does it: the helper's snapshot when it reads the
// database, else the opening here. session keeps that opening until the timer has stopped.
LibrarySnapshot load(const DatabasePreflight::Request& request,
                     std::unique_ptr<IPodDatabase>& session) {
    if (auto snapshot = DatabasePreflight::read(request))
        return std::move(*snapshot);
    session = IPodDatabase::open(
        request.mountPoint, request.sysInfoExtended, [id = request.productID] { return id; }, {},
        true);
    return LibrarySnapshot::read(*session);
}

} // namespace

// As the application and its helper.
LORVANEL_GLIB_SYSTEM_MALLOC

int main(int argc, char** argv) {
    BenchArguments("lorvanel_library_preflight_bench",
                   "Loading a 40,000-track library as the store does, first through the helper "
                   "process\nand again unchanged, against a bare itdb_parse (the library is "
                   "built once into\nlibrary-40k in the current folder).")
        .parse(argc, argv);
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("LORVANEL_OPEN_HELPER"))
        qputenv("LORVANEL_OPEN_HELPER", LORVANEL_OPEN_HELPER_PATH);
    const QString folder = LargeLibrary::folder();
    const QByteArray path = QFile::encodeName(folder);
    const auto before = TestSupport::snapshotTree(folder);
    const DatabasePreflight::Request request{folder, std::nullopt, 0x1260, "bench volume"};

    constexpr int rounds = 11;
    std::vector<double> bare;
    std::vector<double> first;
    std::vector<double> again;
    qsizetype tracks = 0;
    bool sameSnapshot = true;
    try {
        for (int round = 0; round < rounds; ++round) {
            malloc_trim(0);
            const auto parse = LargeLibrary::bareParseMilliseconds(path);
            if (!parse)
                return 1;
            bare.push_back(*parse);

            DatabasePreflight::forgetReadDatabases();
            malloc_trim(0);
            std::unique_ptr<IPodDatabase> session;
            QElapsedTimer timer;
            timer.start();
            const LibrarySnapshot fromHelper = load(request, session);
            first.push_back(timer.nsecsElapsed() / 1e6);
            if (session) {
                std::printf("the helper sent no library\n");
                return 1;
            }

            malloc_trim(0);
            timer.restart();
            const LibrarySnapshot here = load(request, session);
            again.push_back(timer.nsecsElapsed() / 1e6);
            if (!session) {
                std::printf("the unchanged library went to the helper again\n");
                return 1;
            }
            tracks = here.tracks.size();
            sameSnapshot = sameSnapshot && fromHelper == here;
        }
    } catch (const std::exception& error) {
        std::printf("open failed: %s\n", error.what());
        return 1;
    }
    const double bareMs = LargeLibrary::median(bare);
    const double firstMs = LargeLibrary::median(first);
    const double againMs = LargeLibrary::median(again);
    const bool unchanged = TestSupport::snapshotTree(folder) == before;
    std::printf("tracks read:                              %lld\n", static_cast<long long>(tracks));
    std::printf("bare itdb_parse (median of %d):           %8.1f ms\n", rounds, bareMs);
    std::printf("first open, helper reads and sends:       %8.1f ms   ratio %5.2f (budget 2.20)\n",
                firstMs, firstMs / bareMs);
    std::printf("unchanged again, opened here:             %8.1f ms   ratio %5.2f (budget 1.30)\n",
                againMs, againMs / bareMs);
    std::printf("helper's library equals this process's:  %s\n", sameSnapshot ? "yes" : "NO");
    std::printf("volume unchanged:                         %s\n", unchanged ? "yes" : "NO");
    return unchanged && sameSnapshot && firstMs <= 2.2 * bareMs && againMs <= 1.3 * bareMs ? 0 : 1;
}
