// Figures for the track table over a 40,000-track library: building the model with its first
// sort, a sort by another column, one keystroke of the search, painting a scroll step, and what
// 1,000 progress reports of an import do to the table (nothing). Each figure is printed against
// its budget.

#include "BenchArguments.h"
#include "app/ContentView.h"
#include "app/LibraryPane.h"
#include "app/MainWindow.h"
#include "browser/LibraryContent.h"
#include "browser/TrackTableModel.h"
#include "browser/TrackTableView.h"
#include "device/IPodStore.h"
#include "platform/Settings.h"
#include "support/IPodStoreTestAccess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int trackCount = 40000;

// A deterministic library: accented and plain Latin, Chinese, numbers inside titles, repeated
// titles, empty artists, one track in twenty outside the main playlist.
QList<Track> library() {
    static const QStringList words = {
        QStringLiteral("Björk"), QStringLiteral("Sigur Rós"),  QStringLiteral("Crème"),
        QStringLiteral("Blue"),  QStringLiteral("Monday"),     QStringLiteral("北方"),
        QStringLiteral("吻别"),  QStringLiteral("Ágætis"),     QStringLiteral("Night"),
        QStringLiteral("Ocean"), QStringLiteral("Señorita"),   QStringLiteral("Zoë"),
        QStringLiteral("Track"), QStringLiteral("Électrique"), QStringLiteral("Moby"),
        QStringLiteral("Jóga")};
    static const QStringList formats = {QStringLiteral("MPEG audio file"),
                                        QStringLiteral("AAC audio file"),
                                        QStringLiteral("WAV audio file")};
    QList<Track> tracks;
    tracks.reserve(trackCount);
    quint32 seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) & 0xFFFF;
    };
    for (int i = 0; i < trackCount; ++i) {
        Track t;
        t.id = 1000 + quint64(i);
        t.title = words[next() % words.size()] + QLatin1Char(' ') + words[next() % words.size()] +
                  QLatin1Char(' ') + QString::number(next() % 200);
        if (i % 7 == 0)
            t.title = QStringLiteral("Intro"); // repeated titles
        if (i % 11 != 0)
            t.artist = words[next() % words.size()] + QStringLiteral(" Band");
        t.album = words[next() % words.size()] + QStringLiteral(" Album ") +
                  QString::number(next() % 500);
        t.genre = words[next() % 4];
        t.format = formats[next() % formats.size()];
        t.sizeBytes = 1'000'000 + next() * 97;
        t.duration = 60 + next() % 400;
        t.ratingStars = int(next() % 6);
        if (i % 20 != 0)
            t.playbackPosition = i + 1;
        tracks.append(t);
    }
    return tracks;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(p * double(values.size() - 1) + 0.5))];
}

double median(const std::vector<double>& values) {
    return percentile(values, 0.5);
}

double elapsedMs(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}

void report(const char* what, double ms, double budgetMs) {
    std::printf("%-52s %8.2f ms   budget %6.1f ms   %s\n", what, ms, budgetMs,
                ms <= budgetMs ? "within" : "OVER");
}

struct Table {
    TrackTableView view{TrackTableView::Kind::allTracks};
    TrackTableModel& model = *view.trackModel();
    Table() {
        model.setLanguage(AppLanguage::english);
        model.setSupportsRatings(true);
        view.resize(1000, 600);
        view.show();
        QApplication::processEvents();
    }
};

void tableFigures(const QList<Track>& tracks) {
    // The machine may be busy with other work: several rounds, the median counts.
    std::vector<double> build, resortString, resortNumber, firstKey, keys, paint;
    for (int round = 0; round < 5; ++round) {
        Table table;
        QElapsedTimer timer;
        timer.start();
        table.model.batch([&] {
            table.model.setTracks(tracks);
            table.model.setSortOrder({{TrackColumn::title, true}});
        });
        build.push_back(elapsedMs(timer));

        timer.start();
        table.model.setSortOrder({{TrackColumn::artist, true}, {TrackColumn::title, true}});
        resortString.push_back(elapsedMs(timer));
        timer.start();
        table.model.setSortOrder({{TrackColumn::size, false}, {TrackColumn::artist, true}});
        resortNumber.push_back(elapsedMs(timer));

        // Typing "bjork" and taking it back; the first keystroke folds the texts it searches.
        const QStringList typed = {"b", "bj", "bjo", "bjor", "bjork", "bjor", "bjo", "bj", "b", ""};
        for (int i = 0; i < typed.size(); ++i) {
            timer.start();
            table.model.setSearch(typed[i]);
            (i == 0 ? firstKey : keys).push_back(elapsedMs(timer));
        }

        // Page by page through the top of the list, each step painted at once.
        QScrollBar* bar = table.view.verticalScrollBar();
        for (int step = 0; step < 60; ++step) {
            timer.start();
            bar->setValue(bar->value() + bar->pageStep());
            table.view.viewport()->repaint();
            paint.push_back(elapsedMs(timer));
        }
    }
    std::printf("track table, %d tracks (median of 5 rounds unless said)\n", trackCount);
    report("model build + first sort (title)", median(build), 100);
    report("re-sort by artist, then title", median(resortString), 100);
    report("re-sort by size, then artist", median(resortNumber), 100);
    report("search keystroke, first of a snapshot", median(firstKey), 16);
    report("search keystroke, later ones (p95)", percentile(keys, 0.95), 16);
    report("scroll step painted, 1000 x 600 (p95)", percentile(paint, 0.95), 16);
}

void progressFigures(const QList<Track>& tracks) {
    QTemporaryDir folder;
    const QString volume = folder.path() + QStringLiteral("/Pod");
    QDir().mkpath(volume + QStringLiteral("/iPod_Control/iTunes"));
    IPodStore::Sources sources;
    sources.mountedVolumes = [volume] { return QStringList{volume}; };
    sources.scanUSB = [] { return IPodStore::USBScan(); };
    sources.usbRegistryEntryID = [](const IPodDevice&) { return std::optional<quint64>(); };
    sources.mobileDevices = [] {
        return std::optional<QList<MobileDevice>>(QList<MobileDevice>());
    };
    sources.loadLibrary = [tracks](const IPodDevice&) {
        IPodLibrary library;
        library.tracks = tracks;
        library.supportsRatings = true;
        return library;
    };
    sources.readBattery = [](const IPodDevice&) { return IPodStore::BatteryReading(); };
    const IPodStore::Periods periods{std::chrono::hours(1), std::chrono::hours(1),
                                     std::chrono::hours(1)};
    IPodStore store(std::move(sources), periods);
    MainWindow window(store);
    window.show();
    QElapsedTimer wait;
    wait.start();
    while (!store.library() && wait.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (!store.library()) {
        std::printf("the library did not load\n");
        return;
    }
    TrackTableModel& model =
        *window.contentView()->libraryPane()->content()->trackTable()->trackModel();
    int changes = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&changes] { ++changes; });
    QObject::connect(&model, &QAbstractItemModel::layoutChanged, [&changes] { ++changes; });
    QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&changes] { ++changes; });
    QObject::connect(&model, &QAbstractItemModel::dataChanged, [&changes] { ++changes; });

    IPodStoreTestAccess::setActiveDeviceID(store, store.selectedDiskID());
    ImportProgress progress;
    progress.stage = QStringLiteral("Copying");
    progress.fileCount = 1000;
    std::vector<double> ms;
    QElapsedTimer timer;
    for (int i = 1; i <= 1000; ++i) {
        progress.fileIndex = i;
        progress.fileName = QStringLiteral("Song %1.mp3").arg(i);
        progress.fraction = i / 1000.0;
        timer.start();
        IPodStoreTestAccess::setProgress(store, progress);
        ms.push_back(elapsedMs(timer));
    }
    IPodStoreTestAccess::setProgress(store, std::nullopt);
    IPodStoreTestAccess::setActiveDeviceID(store, std::nullopt);
    std::printf("1,000 progress reports with the %d-track table on screen: %d table updates "
                "(budget 0 resets), %.3f ms per report (p95 %.3f ms)\n",
                trackCount, changes, median(ms), percentile(ms, 0.95));
}

} // namespace

int main(int argc, char** argv) {
    QString only;
    BenchArguments arguments("track_table_bench",
                             "Figures for the track table over a 40,000-track library, each "
                             "against its budget.");
    arguments.part({QStringLiteral("table"), QStringLiteral("progress")}, only);
    arguments.parse(argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/config")));
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Lorvanel"));
    QApplication::setApplicationName(QStringLiteral("Lorvanel"));
    Settings::shared().setValue(AppLanguages::storageKey(),
                                AppLanguages::rawValue(AppLanguage::english));
    const QList<Track> tracks = library();
    if (only.isEmpty() || only == "table")
        tableFigures(tracks);
    if (only.isEmpty() || only == "progress")
        progressFigures(tracks);
    return 0;
}
