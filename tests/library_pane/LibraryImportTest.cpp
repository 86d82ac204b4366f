// Imports started by dropping ffmpeg-made audio on the library pane, into a libgpod volume on a
// tmpfs mount: the progress card while they run, the placeholders in the table, the tracks
// afterwards, the drops that must not start anything, and a quit asked for while one runs.

#include "PaneFixture.h"

#include "TestVolumes.h"

#include "app/AlertPresenter.h"
#include "app/QuitConfirmation.h"
#include "app/TerminationSignals.h"
#include "browser/ImportDropArea.h"
#include "browser/ImportProgressPanel.h"
#include "library/DatabasePreflight.h"
#include "library/IPodDatabase.h"
#include "support/AudioFixtures.h"
#include "support/EventLoop.h"
#include "support/WaitingHelper.h"
#include "transfer/ImportProgress.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class ImportTest : public PaneTest {
protected:
    void SetUp() override {
        PaneTest::SetUp();
        if (!TestSupport::hasFFmpegTool())
            GTEST_SKIP() << "the ffmpeg tool is needed for the audio";
        if (const QString why = TestVolumes::whyMountsAreUnavailable(); !why.isEmpty())
            GTEST_SKIP() << qPrintable(why);
        mountPath = root + QStringLiteral("/mnt/Pod");
        mount = TestVolumes::Mount::tmpfs(mountPath, QStringLiteral("size=64m"));
        ASSERT_TRUE(mount);
        makeVolume(mountPath, {{.title = QStringLiteral("Old")}}, {{QStringLiteral("Mix"), {0}}});
        open({mountPath});
        waitForLibrary();
        ASSERT_TRUE(store->library());
    }

    void TearDown() override {
        PaneTest::TearDown();
        mount.reset();
    }

    QString song(const QString& folder, const QString& title, double seconds = 1) {
        TestSupport::ToneSpec spec;
        spec.seconds = seconds;
        spec.tags.title = title;
        spec.tags.artist = QStringLiteral("Tester");
        const QString dir = root + QStringLiteral("/in/") + folder;
        QDir().mkpath(dir);
        const QString file = dir + QLatin1Char('/') + title + QStringLiteral(".mp3");
        EXPECT_TRUE(TestSupport::makeTone(file, spec));
        return file;
    }

    // Runs the application's loop until it quits (99 when it does not within a minute) and
    // checks that the operation had ended before it did.
    void expectQuitOnceTheOperationEnded() {
        bool ended = false;
        std::optional<bool> endedBeforeQuit;
        QObject scope;
        QObject::connect(store.get(), &IPodStore::activeDeviceIDChanged, &scope,
                         [&] { ended = ended || !store->activeDeviceID(); });
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, &scope,
                         [&] { endedBeforeQuit = ended; });
        QTimer watchdog;
        QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        watchdog.start(60'000);
        EXPECT_EQ(QApplication::exec(), 0);
        EXPECT_EQ(endedBeforeQuit, std::optional<bool>(true));
        EXPECT_FALSE(window->isVisible());
    }

    QStringList titlesOnTheIPod() const {
        QStringList titles;
        for (const Track& track : IPodDatabase(mountPath).loadTracks())
            titles.append(track.title);
        return titles;
    }

    QString mountPath;
    std::unique_ptr<TestVolumes::Mount> mount;
};

// The open helper made to wait for the test (on a fifo) before it reads: an operation whose
// database read runs it surely runs while the test acts. A helper a failure left waiting is
// released at the end.
class HeldHelper {
public:
    explicit HeldHelper(const QString& root)
        : fifo(root + QStringLiteral("/hold"))
        , script(root + QStringLiteral("/held-helper.sh"))
        , started(root + QStringLiteral("/held-helper-started"))
        , helper(qgetenv("LORVANEL_OPEN_HELPER")) {
        EXPECT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        EXPECT_TRUE(TestSupport::writeWaitingHelper(script, started, fifo, helper));
    }
    ~HeldHelper() {
        letGo();
        if (answer < 0)
            release();
        ::close(answer);
    }
    HeldHelper(const HeldHelper&) = delete;
    HeldHelper& operator=(const HeldHelper&) = delete;

    // The next database read, even of a database read before, runs the waiting helper.
    void hold() {
        QFile::remove(started);
        qputenv("LORVANEL_OPEN_HELPER", QFile::encodeName(script));
        DatabasePreflight::forgetReadDatabases();
    }
    // A helper started since hold() waits.
    bool isWaiting() const { return QFile::exists(started); }
    // Helpers started from now on do not wait.
    void letGo() { qputenv("LORVANEL_OPEN_HELPER", helper); }
    // The waiting helper goes on.
    void release() {
        answer = ::open(QFile::encodeName(fifo).constData(), O_RDWR);
        ASSERT_EQ(::write(answer, "\n", 1), 1);
    }

private:
    QString fifo;
    QString script;
    QString started;
    QByteArray helper;
    int answer = -1; // kept open while the line waits in the fifo
};

} // namespace

TEST_F(ImportTest, AFolderDroppedOnTheTableAndAFileOnTheDropAreaAreImportedAndListed) {
    song(QStringLiteral("folder"), QStringLiteral("Alpha"));
    song(QStringLiteral("folder"), QStringLiteral("Beta"));
    QSignalSpy resets(&tableModel(), &QAbstractItemModel::modelReset);
    int stagedRowsSeen = 0;
    QObject::connect(
        &tableModel(), &QAbstractItemModel::rowsInserted,
        [&](const QModelIndex&, int first, int last) {
            for (int row = first; row <= last; ++row)
                stagedRowsSeen +=
                    tableModel().index(row, 1).data(TrackTableModel::isStagedRole).toBool();
        });
    // What the card says at each report (the window has updated it before this runs).
    QStringList titles, percents, files, names;
    QObject::connect(store.get(), &IPodStore::progressChanged, [&] {
        ImportProgressPanel* panel = view().progressPanel();
        titles.append(panel->titleLabel()->text());
        if (!panel->percentLabel()->isHidden())
            percents.append(panel->percentLabel()->text());
        if (!panel->fileRow()->isHidden()) {
            files.append(panel->fileCountLabel()->text());
            names.append(panel->shownFileName());
        }
    });

    const DragOutcome onTable =
        dragAndDrop(&table(), {QUrl::fromLocalFile(root + QStringLiteral("/in/folder"))});
    EXPECT_EQ(onTable.target, pane().contentArea());
    EXPECT_TRUE(onTable.entered);
    EXPECT_TRUE(onTable.offeredCopy);
    EXPECT_TRUE(onTable.flaggedOver);
    EXPECT_TRUE(onTable.areaLit); // a drag over the table lights the drop area too
    EXPECT_TRUE(onTable.dropped);
    EXPECT_FALSE(view().state().isOverTable);
    EXPECT_TRUE(store->activeDeviceID().has_value());
    EXPECT_TRUE(view().progressPanel()->isVisible());
    waitForOperation();
    EXPECT_FALSE(store->alert()) << qPrintable(store->alert().value_or(QString()));
    QStringList listed = tableTitles(tableModel());
    listed.sort();
    EXPECT_EQ(listed, (QStringList{"Alpha", "Beta", "Old"}));
    EXPECT_EQ(stagedRowsSeen, 2);
    // The placeholders left as rows; the reloaded library added its new rows to an unchanged
    // list, so not even the reload needed a reset.
    EXPECT_LE(resets.count(), 1);

    EXPECT_TRUE(files.contains(QStringLiteral("File 1 of 2")));
    EXPECT_TRUE(files.contains(QStringLiteral("File 2 of 2")));
    EXPECT_TRUE(names.contains(QStringLiteral("Alpha.mp3")));
    ASSERT_FALSE(percents.isEmpty());
    static const QRegularExpression percent(QStringLiteral("^\\d{1,3}%$"));
    for (const QString& text : percents)
        EXPECT_TRUE(percent.match(text).hasMatch()) << qPrintable(text);
    const QStringList stages = {
        QStringLiteral("Working with iPod…"), ImportStage::preparingAudio,
        ImportStage::convertingAudio,         ImportStage::copying,
        ImportStage::savingLibrary,           ImportStage::skippedIdenticalFile};
    for (const QString& title : titles)
        EXPECT_TRUE(stages.contains(title)) << qPrintable(title);

    const QString gamma = song(QStringLiteral("loose"), QStringLiteral("Gamma"));
    const DragOutcome onZone = dragAndDrop(pane().dropArea(), {QUrl::fromLocalFile(gamma)});
    EXPECT_EQ(onZone.target, pane().dropArea());
    EXPECT_TRUE(onZone.dropped);
    EXPECT_FALSE(view().state().isOverDropZone);
    waitForOperation();
    EXPECT_TRUE(tableTitles(tableModel()).contains(QStringLiteral("Gamma")));
    EXPECT_EQ(store->library()->tracks.size(), 4);

    // A click on the drop area opens the import panel; the files chosen there are imported.
    const QString delta = song(QStringLiteral("picked"), QStringLiteral("Delta"));
    QTest::mouseClick(pane().dropArea(), Qt::LeftButton);
    QFileDialog* panel = view().importPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->fileMode(), QFileDialog::ExistingFiles);
    EXPECT_EQ(panel->labelText(QFileDialog::Accept), QStringLiteral("Import"));
    panel->setDirectory(QFileInfo(delta).path());
    panel->selectFile(QFileInfo(delta).fileName());
    static_cast<QDialog*>(panel)->accept(); // the panel's own accept is protected
    EXPECT_TRUE(store->activeDeviceID().has_value());
    waitForOperation();
    EXPECT_TRUE(tableTitles(tableModel()).contains(QStringLiteral("Delta")));
}

TEST_F(ImportTest, DropsDuringAnImportOnAPlaylistOrFromElsewhereStartNothing) {
    const QString first = song(QStringLiteral("a"), QStringLiteral("First"), 3);
    const QString second = song(QStringLiteral("b"), QStringLiteral("Second"));
    ASSERT_TRUE(dragAndDrop(&table(), {QUrl::fromLocalFile(first)}).dropped);
    ASSERT_TRUE(store->activeDeviceID().has_value());

    // While it runs the window is disabled and takes no drag at all.
    const DragOutcome busy = dragAndDrop(&table(), {QUrl::fromLocalFile(second)});
    EXPECT_FALSE(busy.offeredCopy);
    EXPECT_FALSE(busy.dropped);
    EXPECT_FALSE(busy.areaLit);
    EXPECT_FALSE(view().state().isOverTable);
    // Should a drop arrive all the same, the store refuses it.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(second)});
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(pane().contentArea(), &drop);
    EXPECT_FALSE(drop.isAccepted());
    waitForOperation();
    QStringList listed = tableTitles(tableModel());
    listed.sort();
    EXPECT_EQ(listed, (QStringList{"First", "Old"}));

    // Links from elsewhere are not files: nothing lights up, nothing starts, nothing is said.
    const DragOutcome remote =
        dragAndDrop(&table(), {QUrl(QStringLiteral("https://example.invalid/song.mp3"))});
    EXPECT_FALSE(remote.entered);
    EXPECT_FALSE(view().state().isOverTable);
    EXPECT_FALSE(store->activeDeviceID());
    EXPECT_FALSE(store->alert());

    // A read-only volume: the drag over the library is noticed but offered nothing, the drop
    // area stays dark, and a drop starts nothing.
    ASSERT_TRUE(mount->remount(QStringLiteral("ro")));
    store->reloadSelection();
    ASSERT_TRUE(TestSupport::waitUntil(
        [&] { return store->library() && store->library()->writeBlocker.has_value(); }));
    // Its area is no button then, and not greyed out either.
    EXPECT_FALSE(pane().dropArea()->isClickable());
    EXPECT_TRUE(pane().dropArea()->isEnabled());
    EXPECT_EQ(pane().dropArea()->titleLabel()->text(), QStringLiteral("This device is read-only"));
    const DragOutcome readOnly = dragAndDrop(&table(), {QUrl::fromLocalFile(second)});
    EXPECT_TRUE(readOnly.entered);
    EXPECT_TRUE(readOnly.flaggedOver);
    EXPECT_FALSE(readOnly.offeredCopy);
    EXPECT_FALSE(readOnly.areaLit);
    EXPECT_FALSE(view().state().isOverTable);
    QDropEvent late(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(pane().contentArea(), &late);
    EXPECT_FALSE(late.isAccepted());
    EXPECT_FALSE(store->activeDeviceID());

    // A playlist on screen takes no drops, and the drop area stays dark.
    view().setLibraryScope(LibraryScope::playlist(store->library()->playlists.first().id));
    ASSERT_EQ(content().shown(), LibraryContent::Shown::playlistTable);
    const DragOutcome onPlaylist = dragAndDrop(&scopedTable(), {QUrl::fromLocalFile(second)});
    EXPECT_EQ(onPlaylist.target, nullptr);
    EXPECT_FALSE(view().state().isOverTable);
    EXPECT_FALSE(pane().dropArea()->content().targeted);
    EXPECT_FALSE(store->activeDeviceID());
}

TEST_F(ImportTest, SeveralFoldersChosenAfterCtrlShiftOAreImported) {
    song(QStringLiteral("first"), QStringLiteral("Alpha"));
    song(QStringLiteral("second"), QStringLiteral("Beta"));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
    QFileDialog* panel = view().importPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_EQ(panel->fileMode(), QFileDialog::Directory);
    EXPECT_EQ(panel->labelText(QFileDialog::Accept), QStringLiteral("Import"));

    // Both folders picked in the panel's list, as a user would with the Control key.
    panel->setDirectory(root + QStringLiteral("/in"));
    auto* list = panel->findChild<QListView*>(QStringLiteral("listView"));
    ASSERT_NE(list, nullptr);
    auto* files = qobject_cast<QFileSystemModel*>(
        qobject_cast<QSortFilterProxyModel*>(list->model())
            ? qobject_cast<QSortFilterProxyModel*>(list->model())->sourceModel()
            : list->model());
    ASSERT_NE(files, nullptr);
    ASSERT_TRUE(
        TestSupport::waitUntil([&] { return list->model()->rowCount(list->rootIndex()) == 2; }));
    for (int row = 0; row < 2; ++row)
        list->selectionModel()->select(list->model()->index(row, 0, list->rootIndex()),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ASSERT_EQ(panel->selectedFiles().size(), 2);
    static_cast<QDialog*>(panel)->accept();
    ASSERT_TRUE(store->activeDeviceID().has_value());
    waitForOperation();
    EXPECT_FALSE(store->alert()) << qPrintable(store->alert().value_or(QString()));
    QStringList listed = tableTitles(tableModel());
    listed.sort();
    EXPECT_EQ(listed, (QStringList{"Alpha", "Beta", "Old"}));
}

TEST_F(ImportTest, APanelOpenedForOneIPodNeverImportsIntoTheNextOneSelected) {
    const QString gamma = song(QStringLiteral("loose"), QStringLiteral("Gamma"));
    const QString other =
        makeVolume(root + QStringLiteral("/Other"), {{.title = QStringLiteral("Elsewhere")}});
    machine->setVolumes({mountPath, other});
    store->refreshDevices();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return store->devices().size() == 2; }));
    const IPodDevice::ID first = *store->selectedDiskID();

    view().showImportPanel(false);
    QFileDialog* panel = view().importPanel();
    ASSERT_NE(panel, nullptr);
    // Another iPod is selected while the panel is open.
    for (const IPodDevice& device : store->devices())
        if (device.id != first)
            view().selectDevice(IPodStore::Selection::disk(device.id));
    ASSERT_TRUE(TestSupport::waitUntil(
        [&] { return store->library() && store->selectedDiskID() != first; }));
    ASSERT_EQ(view().importPanel(), panel);
    panel->setDirectory(QFileInfo(gamma).path());
    // Typed, as the panel has the focus in its name field.
    auto* name = panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(QFileInfo(gamma).fileName());
    ASSERT_EQ(panel->selectedFiles(), (QStringList{gamma}));
    static_cast<QDialog*>(panel)->accept();
    EXPECT_FALSE(store->activeDeviceID());
    EXPECT_EQ(store->alert(), std::optional<QString>(QStringLiteral(
                                  "The selected iPod is no longer available for import.")));
    EXPECT_EQ(tableTitles(tableModel()), (QStringList{"Elsewhere"}));
    // Nothing reached the first iPod either.
    view().selectDevice(IPodStore::Selection::disk(first));
    ASSERT_TRUE(TestSupport::waitUntil(
        [&] { return store->library() && store->selectedDiskID() == first; }));
    EXPECT_EQ(store->library()->tracks.size(), 1);
}

TEST_F(ImportTest, AQuitDuringAnOperationAsksAndQuitsOnlyOnceTheOperationEnded) {
    HeldHelper held(root);
    const quint64 old = store->library()->tracks[0].id;

    // An import is stopped; a tag edit, a change the user confirmed, is saved first.
    for (const bool edit : {false, true}) {
        SCOPED_TRACE(edit ? "tag edit" : "import");
        held.hold();
        if (edit)
            store->saveTrackMetadata(old, {QStringLiteral("Kept"), {}, {}, {}, {}},
                                     *store->selectedDiskID());
        else
            ASSERT_TRUE(
                dragAndDrop(pane().dropArea(), {QUrl::fromLocalFile(song("q", "Late"))}).dropped);
        ASSERT_TRUE(store->activeDeviceID());
        QObject scope;
        QuitConfirmation* quit = window->quitConfirmation();
        QTimer::singleShot(0, &scope, [&] {
            // Ctrl+Q asks and Continue goes on; closing the window asks the same.
            window->findChild<QAction*>(QStringLiteral("quitAction"))->trigger();
            ASSERT_NE(quit->box(), nullptr);
            EXPECT_EQ(quit->box()->text(),
                      QStringLiteral("Lorvanel is still working with the iPod."));
            EXPECT_EQ(quit->quitButton()->text(),
                      edit ? QStringLiteral("Quit When Done") : QStringLiteral("Stop and Quit"));
            quit->continueButton()->click();
            EXPECT_FALSE(window->close());
            ASSERT_NE(quit->box(), nullptr);
            quit->quitButton()->click();
            // Not ended yet: nothing quits.
            EXPECT_TRUE(store->activeDeviceID());
            EXPECT_TRUE(window->isVisible());
            held.letGo();
            if (edit)
                held.release();
        });
        expectQuitOnceTheOperationEnded();
        EXPECT_FALSE(store->alert()) << qPrintable(store->alert().value_or(QString()));
        EXPECT_EQ(titlesOnTheIPod(),
                  QStringList{edit ? QStringLiteral("Kept") : QStringLiteral("Old")});
        window->show();
        waitForOperation();
    }
}

TEST_F(ImportTest, ATerminationSignalQuitsWithoutAskingOnceTheOperationEndedSafely) {
    HeldHelper held(root);
    const quint64 old = store->library()->tracks[0].id;

    // As with Quit: an import is stopped, a tag edit is saved first, even when a second signal
    // comes meanwhile. A question on screen goes unanswered, an alert unread.
    for (const bool edit : {false, true}) {
        SCOPED_TRACE(edit ? "tag edit" : "import");
        TerminationSignals termination;
        QuitConfirmation* quit = window->quitConfirmation();
        QObject::connect(&termination, &TerminationSignals::received, quit,
                         &QuitConfirmation::quitUnattended);
        held.hold();
        if (edit)
            store->saveTrackMetadata(old, {QStringLiteral("Signalled"), {}, {}, {}, {}},
                                     *store->selectedDiskID());
        else
            ASSERT_TRUE(
                dragAndDrop(pane().dropArea(), {QUrl::fromLocalFile(song("q", "Late"))}).dropped);
        ASSERT_TRUE(TestSupport::waitUntil([&] { return held.isWaiting(); }));
        held.letGo();
        ASSERT_TRUE(store->activeDeviceID());
        QObject scope;
        int received = 0;
        QObject::connect(&termination, &TerminationSignals::received, &scope, [&] {
            ++received;
            EXPECT_EQ(quit->box(), nullptr);
            if (!edit)
                return;
            EXPECT_TRUE(quit->isQuitPending());
            EXPECT_TRUE(store->activeDeviceID());
            EXPECT_TRUE(window->isVisible());
            if (received == 1) {
                ::kill(::getpid(), SIGINT);
                return;
            }
            // What the edit ends with has no one to read it.
            store->setAlert(QStringLiteral("Something to tell"));
            held.release();
        });
        QTimer::singleShot(0, &scope, [&] {
            if (edit) {
                window->findChild<QAction*>(QStringLiteral("quitAction"))->trigger();
                ASSERT_NE(quit->box(), nullptr);
            }
            ::kill(::getpid(), SIGTERM);
        });
        expectQuitOnceTheOperationEnded();
        EXPECT_EQ(received, edit ? 2 : 1);
        EXPECT_EQ(titlesOnTheIPod(),
                  QStringList{edit ? QStringLiteral("Signalled") : QStringLiteral("Old")});
        window->show();
        waitForOperation();
    }
}
