#include "PaneFixture.h"

#include "browser/ImportDropArea.h"
#include "platform/Settings.h"
#include "support/EventLoop.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTest>

namespace {

// Set by the operation watch of the open window.
bool operationRunning = false;
bool reloadedAfterOperation = true;

} // namespace

void PaneTest::SetUp() {
    Settings::shared().setValue(AppLanguages::storageKey(),
                                AppLanguages::rawValue(AppLanguage::english));
    ASSERT_TRUE(work.isValid());
    root = QFileInfo(work.path()).canonicalFilePath();
}

void PaneTest::TearDown() {
    machine->openLoadGate();
    window.reset();
    store.reset();
    TestSupport::waitUntil([this] { return machine->loadsStarted() == machine->loadsFinished(); });
    TestSupport::drainEvents();
}

QString PaneTest::makeVolume(const QString& path, const QList<TestSupport::TrackSpec>& tracks,
                             const QList<QPair<QString, QList<int>>>& playlists,
                             const QString& modelNumber,
                             const std::optional<QByteArray>& sysInfoExtended) {
    QDir().mkpath(path);
    TestSupport::IPodVolume volume(modelNumber, {.name = QStringLiteral("Pod")});
    for (const TestSupport::TrackSpec& spec : tracks)
        volume.addTrack(spec);
    for (const auto& [name, indexes] : playlists)
        volume.addPlaylist(name, indexes);
    volume.write();
    if (sysInfoExtended)
        volume.writeSysInfoExtended(*sysInfoExtended);
    EXPECT_TRUE(copyTree(volume.mountPoint(), path));
    return QFileInfo(path).canonicalFilePath();
}

void PaneTest::open(const QStringList& volumes,
                    std::function<IPodLibrary(const IPodDevice&)> load) {
    machine->setVolumes(volumes);
    IPodStore::Sources sources = machine->sources();
    if (load)
        sources.loadLibrary = std::move(load);
    // The loops take one turn and do not come round again during a test.
    const IPodStore::Periods periods{std::chrono::hours(1), std::chrono::hours(1),
                                     std::chrono::hours(1)};
    store = std::make_unique<IPodStore>(std::move(sources), periods);
    operationRunning = false;
    reloadedAfterOperation = true;
    QObject::connect(store.get(), &IPodStore::activeDeviceIDChanged, [this] {
        operationRunning = store->activeDeviceID().has_value();
        reloadedAfterOperation = false;
    });
    QObject::connect(store.get(), &IPodStore::libraryChanged, [this] {
        if (!operationRunning && store->library())
            reloadedAfterOperation = true;
    });
    window = std::make_unique<MainWindow>(*store);
    window->resize(1160, 760);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    ASSERT_TRUE(TestSupport::waitUntil([this] { return store->selection().has_value(); }));
}

void PaneTest::waitForLibrary() {
    ASSERT_TRUE(TestSupport::waitUntil(
        [this] { return store->library().has_value() || store->loadError() != nullptr; }));
}

void PaneTest::waitForOperation() {
    ASSERT_TRUE(TestSupport::waitUntil(
        [this] { return !store->activeDeviceID() && reloadedAfterOperation && store->library(); }));
}

QList<quint64> PaneTest::tableIDs(const TrackTableModel& model) const {
    QList<quint64> ids;
    for (int row = 0; row < model.rowCount(); ++row)
        ids.append(model.rowAt(row).track.id);
    return ids;
}

QStringList PaneTest::tableTitles(const TrackTableModel& model) const {
    QStringList titles;
    for (int row = 0; row < model.rowCount(); ++row)
        titles.append(model.rowAt(row).track.title);
    return titles;
}

PaneTest::DragOutcome PaneTest::dragAndDrop(QWidget* over, const QList<QUrl>& urls, bool drop) {
    DragOutcome outcome;
    QWidget* top = over->window();
    const QPoint at = over->mapTo(top, over->rect().center());
    // As the window system does: the deepest widget there that takes drops.
    QWidget* target = top->childAt(at);
    if (!target)
        target = top;
    while (target && !target->isWindow() && !target->acceptDrops())
        target = target->parentWidget();
    if (!target || !target->acceptDrops())
        return outcome;
    outcome.target = target;
    QMimeData data;
    data.setUrls(urls);
    const QPoint local = target->mapFrom(top, at);
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QDragEnterEvent enter(local, actions, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    outcome.entered = enter.isAccepted();
    if (!outcome.entered)
        return outcome;
    QDragMoveEvent move(local, actions, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &move);
    outcome.offeredCopy = move.isAccepted() && move.dropAction() == Qt::CopyAction;
    outcome.flaggedOver = view().state().isOverTable || view().state().isOverDropZone;
    outcome.areaLit = pane().dropArea()->content().targeted;
    if (!drop || !move.isAccepted()) {
        QDragLeaveEvent leave;
        QApplication::sendEvent(target, &leave);
        return outcome;
    }
    QDropEvent dropped(local, actions, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &dropped);
    outcome.dropped = dropped.isAccepted();
    return outcome;
}
