// Opening and reading a 40,000-track library through the helper process, the first time (the
// helper reads it, then this process) and again with the files unchanged (no helper), against a
// bare itdb_parse of the same database, side by side in one run. Each side is timed until the
// library has been read; freeing it comes after (itdb_free for the bare parse, the session for
// ours).

#include "LargeLibrary.h"

#include "library/DatabasePreflight.h"
#include "library/IPodDatabase.h"
#include "platform/GLibAllocator.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace {

// The load's whole read, as the device layer does it: the helper when needed, then the opening.
std::unique_ptr<IPodDatabase> openAndRead(const DatabasePreflight::Request& request,
                                          qsizetype& tracks) {
    DatabasePreflight::check(request);
    auto session = IPodDatabase::open(
        request.mountPoint, request.sysInfoExtended, [id = request.productID] { return id; }, {},
        true);
    tracks = session->loadTracks().size();
    session->loadPlaylists();
    session->model();
    session->mainPlaylistName();
    return session;
}

} // namespace

LORVANEL_GLIB_SYSTEM_MALLOC // as the application and its helper

    int
    main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("LORVANEL_OPEN_HELPER"))
        qputenv("LORVANEL_OPEN_HELPER", LORVANEL_OPEN_HELPER_PATH);
    const QString folder = LargeLibrary::folder();
    const QByteArray path = QFile::encodeName(folder);
    const auto before = TestSupport::snapshotTree(folder);
    const DatabasePreflight::Request request{folder, std::nullopt, 0x1260, "bench volume"};

    std::vector<double> bare;
    std::vector<double> first;
    std::vector<double> again;
    qsizetype tracks = 0;
    try {
        for (int round = 0; round < 11; ++round) {
            const auto parse = LargeLibrary::bareParseMilliseconds(path);
            if (!parse)
                return 1;
            bare.push_back(*parse);

            DatabasePreflight::forgetReadDatabases();
            QElapsedTimer timer;
            timer.start();
            auto session = openAndRead(request, tracks);
            first.push_back(timer.nsecsElapsed() / 1e6);
            session.reset();

            timer.restart();
            session = openAndRead(request, tracks);
            again.push_back(timer.nsecsElapsed() / 1e6);
        }
    } catch (const std::exception& error) {
        std::printf("open failed: %s\n", error.what());
        return 1;
    }
    const double bareMs = LargeLibrary::median(bare);
    const double firstMs = LargeLibrary::median(first);
    const double againMs = LargeLibrary::median(again);
    const bool unchanged = TestSupport::snapshotTree(folder) == before;
    std::printf("tracks read:                          %lld\n", static_cast<long long>(tracks));
    std::printf("bare itdb_parse (median of 11):        %8.1f ms\n", bareMs);
    std::printf("first open, helper + read (median):   %8.1f ms   ratio %5.2f (budget 2.20)\n",
                firstMs, firstMs / bareMs);
    std::printf("unchanged again, read only (median):  %8.1f ms   ratio %5.2f (budget 1.30)\n",
                againMs, againMs / bareMs);
    std::printf("volume unchanged:                     %s\n", unchanged ? "yes" : "NO");
    return unchanged && firstMs <= 2.2 * bareMs && againMs <= 1.3 * bareMs ? 0 : 1;
}
