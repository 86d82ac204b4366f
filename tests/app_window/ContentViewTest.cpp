// The main window on the real store, fed by temporary iPod volumes and a small scripted machine
// through the store's own sources.

#include "app/ContentView.h"
#include "app/AlertPresenter.h"
#include "app/BatteryIndicator.h"
#include "app/DetailPane.h"
#include "app/DeviceSidebar.h"
#include "app/MainWindow.h"
#include "app/QuitConfirmation.h"
#include "app/SettingsButton.h"
#include "app/SettingsPopup.h"
#include "app/SheetDialog.h"
#include "app/SheetSlot.h"
#include "app/UnmountedDevicePane.h"
#include "appmodel/LorvPalette.h"
#include "appmodel/ReduceMotion.h"
#include "browser/ImportProgressPanel.h"
#include "library/IPodModel.h"
#include "platform/Settings.h"
#include "platform/Task.h"
#include "showcase/DeviceShareButton.h"
#include "showcase/DeviceSharePreview.h"
#include "showcase/ShowcaseToolbar.h"
#include "showcase/StartupDeviceFlow.h"
#include "support/EventLoop.h"
#include "support/IPodStoreTestAccess.h"
#include "support/MessageBoxLines.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <condition_variable>
#include <functional>
#include <mutex>

namespace {

// What the scripted machine answers; read from background tasks.
struct Machine {
    std::mutex mutex;
    QStringList volumes;
    IPodStore::USBScan usb;
    std::optional<QList<MobileDevice>> mobiles;
    QHash<QString, int> batteryPercent; // by mount point
    QString blockedBattery;             // a mount point whose battery read waits for release
    QStringList modelled;               // mount points whose library tells the model
    QList<quint64> trackIDs;            // the tracks every library lists
    bool released = false;
    std::condition_variable release;
    std::atomic<int> batteryReads{0};
    std::atomic<int> batteryAnswers{0};
};

struct WindowTest : ::testing::Test {
    QTemporaryDir root;
    std::shared_ptr<Machine> machine = std::make_shared<Machine>();
    std::unique_ptr<IPodStore> store;
    std::unique_ptr<MainWindow> window;
    QString kitchen, car;

    void SetUp() override {
        Settings::shared().setValue(AppLanguages::storageKey(),
                                    AppLanguages::rawValue(AppLanguage::english));
        ASSERT_TRUE(root.isValid());
        kitchen = makeVolume(QStringLiteral("a-kitchen"));
        car = makeVolume(QStringLiteral("b-car"));
        machine->volumes = {car, kitchen}; // the store sorts them by path
        machine->batteryPercent = {{kitchen, 11}, {car, 77}};
        machine->usb = {{9, IPodModel::shuffle2ProductID}, {3, IPodModel::nano5ProductID}};
        machine->mobiles = QList<MobileDevice>{
            *MobileDevice::make(QStringLiteral("udid-1"), QStringLiteral("iPod9,1"),
                                QStringLiteral("Pocket"), std::nullopt, std::nullopt)};

        IPodStore::Sources sources;
        std::shared_ptr<Machine> m = machine;
        sources.mountedVolumes = [m] {
            std::lock_guard lock(m->mutex);
            return m->volumes;
        };
        sources.scanUSB = [m] {
            std::lock_guard lock(m->mutex);
            return m->usb;
        };
        sources.usbRegistryEntryID = [](const IPodDevice&) { return std::optional<quint64>(); };
        sources.mobileDevices = [m] {
            std::lock_guard lock(m->mutex);
            return m->mobiles;
        };
        sources.loadLibrary = [m](const IPodDevice& device) {
            IPodLibrary library;
            library.deviceName = QFileInfo(device.mountPoint).fileName();
            // The car's library tells its model; the kitchen's does not, unless a test says so.
            std::lock_guard lock(m->mutex);
            if (library.deviceName->startsWith(QLatin1String("b-")) ||
                m->modelled.contains(device.mountPoint))
                library.model = IPodModel::fromProductID(IPodModel::nano5ProductID, std::nullopt);
            for (const quint64 id : m->trackIDs) {
                Track track;
                track.id = id;
                library.tracks.append(track);
            }
            return library;
        };
        sources.readBattery = [m](const IPodDevice& device) -> IPodStore::BatteryReading {
            ++m->batteryReads;
            std::unique_lock lock(m->mutex);
            if (device.mountPoint == m->blockedBattery)
                m->release.wait(lock, [m] { return m->released; });
            IPodBattery battery;
            battery.percent = m->batteryPercent.value(device.mountPoint);
            ++m->batteryAnswers;
            return std::make_pair(true, std::optional<IPodBattery>(battery));
        };
        // The loops take one turn at once and never come round again during a test.
        IPodStore::Periods periods{std::chrono::hours(1), std::chrono::hours(1),
                                   std::chrono::hours(1)};
        store = std::make_unique<IPodStore>(std::move(sources), periods);
        window = std::make_unique<MainWindow>(*store);
    }

    void TearDown() override {
        {
            std::lock_guard lock(machine->mutex);
            machine->released = true;
        }
        machine->release.notify_all();
        window.reset();
        TestSupport::drainEvents();
    }

    QString makeVolume(const QString& name) {
        const QString path = root.path() + QLatin1Char('/') + name;
        QDir().mkpath(path + QStringLiteral("/iPod_Control/iTunes"));
        return QFileInfo(path).canonicalFilePath();
    }

    ContentView& view() { return *window->contentView(); }

    void showAndWaitForDevices() {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(TestSupport::waitUntil([&] {
            return view().sidebar()->deviceCards().size() == 5 && store->selection().has_value();
        }));
        // Whichever device the store picked first, the tests start on the kitchen iPod with
        // its library read.
        view().selectDevice(IPodStore::Selection::disk(device(kitchen).id));
        ASSERT_TRUE(TestSupport::waitUntil([&] { return store->library().has_value(); }));
    }

    IPodDevice device(const QString& mountPoint) {
        for (const IPodDevice& d : store->devices())
            if (d.mountPoint == mountPoint)
                return d;
        ADD_FAILURE() << "no device at " << mountPoint.toStdString();
        return {};
    }

    DeviceRowCard* card(DeviceSidebarRow::Kind kind, int nth = 0) {
        for (DeviceRowCard* c : view().sidebar()->deviceCards())
            if (c->row().kind == kind && nth-- == 0)
                return c;
        return nullptr;
    }

    static QPushButton* button(QMessageBox* box, const QString& text) {
        for (QAbstractButton* b : box->buttons())
            if (b->text() == text)
                return qobject_cast<QPushButton*>(b);
        return nullptr;
    }
};

} // namespace

TEST_F(WindowTest, TheFirstShowScansAndListsDevicesInSidebarOrder) {
    EXPECT_FALSE(view().hasStarted());
    EXPECT_TRUE(store->devices().isEmpty());
    showAndWaitForDevices();
    EXPECT_TRUE(view().hasStarted());

    const QList<DeviceRowCard*> cards = view().sidebar()->deviceCards();
    // Mounted in the store's order, unmounted by ascending registry ID, then the iPod touch.
    EXPECT_EQ(cards[0]->row().diskID.path, kitchen);
    EXPECT_EQ(cards[1]->row().diskID.path, car);
    EXPECT_EQ(cards[2]->row().kind, DeviceSidebarRow::Kind::unmounted);
    EXPECT_EQ(cards[2]->row().usbID, 3u);
    EXPECT_EQ(cards[3]->row().usbID, 9u);
    EXPECT_EQ(cards[4]->row().kind, DeviceSidebarRow::Kind::mobile);
    EXPECT_EQ(cards[4]->row().mobileID, QStringLiteral("udid-1"));
    EXPECT_TRUE(view().sidebar()->waitingLabel()->isHidden());
    EXPECT_NE(cards[0]->ejectButton(), nullptr);
    EXPECT_EQ(cards[2]->ejectButton(), nullptr);
    EXPECT_EQ(cards[2]->subtitleLabel()->text(), QStringLiteral("Disk not mounted"));

    // The kitchen iPod's library is on screen and its card is lit.
    EXPECT_EQ(store->selectedDiskID()->path, kitchen);
    EXPECT_EQ(view().detailPane()->screen(), DetailScreen::library);
    EXPECT_TRUE(cards[0]->row().isSelected);
    EXPECT_FALSE(cards[1]->row().isSelected);
    // Once the library is read, its name is the card's title.
    EXPECT_TRUE(TestSupport::waitUntil([&] {
        return view().sidebar()->deviceCards()[0]->row().title == QStringLiteral("a-kitchen");
    }));
}

TEST_F(WindowTest, AnotherDeviceStartsFromACleanLibraryStateAndASeriesClearsTheSelection) {
    showAndWaitForDevices();
    view().setLibraryScope(LibraryScope::playlist(4));
    view().setTrackSelection({{1, std::nullopt}});
    view().setScopedTrackSelection({{2, 1}});
    view().setSortOrder({{TrackColumn::artist, true}});
    view().setLibrarySearch(QStringLiteral("song"));
    view().setShowsCoverFlow(true);
    view().setCoverFlowGrouping(CoverFlowGroup::Grouping::artists);

    QTest::mouseClick(card(DeviceSidebarRow::Kind::mounted, 1), Qt::LeftButton, {}, QPoint(20, 12));
    ASSERT_EQ(store->selectedDiskID()->path, car);
    const MainViewState& state = view().state();
    EXPECT_EQ(state.libraryScope, LibraryScope::allTracks());
    EXPECT_TRUE(state.trackSelection.isEmpty());
    EXPECT_TRUE(state.scopedTrackSelection.isEmpty());
    EXPECT_TRUE(state.sortOrder.empty());
    EXPECT_TRUE(state.librarySearch.isEmpty());
    EXPECT_FALSE(state.showsCoverFlow);
    EXPECT_EQ(state.coverFlowGrouping, CoverFlowGroup::Grouping::artists);

    // An unmounted nano lights its series and shows how to mount it.
    QTest::mouseClick(card(DeviceSidebarRow::Kind::unmounted, 0), Qt::LeftButton, {},
                      QPoint(20, 12));
    EXPECT_EQ(view().detailPane()->screen(), DetailScreen::unmounted);
    EXPECT_EQ(view().detailPane()->unmountedPane()->titleLabel()->text(),
              IPodModel::fromProductID(IPodModel::nano5ProductID, std::nullopt)
                  ->displayName(AppLanguage::english));
    EXPECT_TRUE(view().sidebar()->seriesRows()[2]->isHighlighted());

    view().setLibrarySearch(QStringLiteral("kept until the next change"));
    QTest::mouseClick(view().sidebar()->seriesRows()[0], Qt::LeftButton);
    EXPECT_FALSE(store->selection().has_value());
    EXPECT_EQ(view().state().startupSeries, StartupSeries::classic);
    EXPECT_TRUE(view().sidebar()->seriesRows()[0]->isHighlighted());
    EXPECT_FALSE(view().sidebar()->seriesRows()[2]->isHighlighted());
    EXPECT_EQ(view().detailPane()->screen(), DetailScreen::showcase);
    EXPECT_TRUE(view().state().librarySearch.isEmpty());
}

TEST_F(WindowTest, DeviceTasksFollowTheSelectedDeviceAndALateReadOfTheOldOneIsDropped) {
    showAndWaitForDevices();
    const IPodDevice first = device(kitchen);
    EXPECT_EQ(view().deviceTaskKey(), first.id);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return store->battery().has_value(); }));
    EXPECT_EQ(store->battery()->percent, 11);
    EXPECT_FALSE(view().batteryIndicator()->isHidden());
    EXPECT_EQ(view().batteryIndicator()->percentLabel()->text(), QStringLiteral("11%"));

    // The car's read hangs; the user goes back before it answers.
    {
        std::lock_guard lock(machine->mutex);
        machine->blockedBattery = car;
    }
    const int readsBefore = machine->batteryReads;
    view().selectDevice(IPodStore::Selection::disk(device(car).id));
    EXPECT_EQ(view().deviceTaskKey(), device(car).id);
    EXPECT_FALSE(store->battery().has_value());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return machine->batteryReads > readsBefore; }));

    view().selectDevice(IPodStore::Selection::disk(first.id));
    EXPECT_EQ(view().deviceTaskKey(), first.id);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return store->battery().has_value(); }));
    {
        std::lock_guard lock(machine->mutex);
        machine->released = true;
    }
    machine->release.notify_all();
    // The car's answer arrives for a task that was cancelled: the kitchen's value stays. A
    // later round trip through the task pool lands behind the car's delivery.
    ASSERT_TRUE(TestSupport::waitUntil(
        [&] { return machine->batteryAnswers.load() == machine->batteryReads.load(); }));
    bool roundTrip = false;
    QObject receiver;
    Task::run(
        TaskPriority::utility, &receiver, [] { return true; },
        [&](std::optional<bool>, std::exception_ptr) { roundTrip = true; });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return roundTrip; }));
    TestSupport::drainEvents();
    EXPECT_EQ(store->battery()->percent, 11);

    // Leaving the mounted screen stops the device's tasks.
    view().selectDevice(IPodStore::Selection::mobile(QStringLiteral("udid-1")));
    EXPECT_EQ(view().detailPane()->screen(), DetailScreen::mobile);
    EXPECT_FALSE(view().deviceTaskKey().has_value());
}

TEST_F(WindowTest, BusyDisablesBothColumnsDimsTheSidebarAndKeepsTheOverlayEnabled) {
    showAndWaitForDevices();
    const IPodDevice kitchenDevice = device(kitchen);
    const QImage idle = window->grab().toImage();
    const QPoint inSidebar(3, window->height() - 3);
    EXPECT_EQ(idle.pixelColor(inSidebar).rgb(), LorvPalette::inkAlt().rgb());

    IPodStoreTestAccess::setActiveDeviceID(*store, kitchenDevice.id);
    EXPECT_TRUE(view().isBusy());
    EXPECT_FALSE(view().sidebarColumn()->isEnabled());
    EXPECT_FALSE(view().detailColumn()->isEnabled());
    EXPECT_FALSE(view().sidebarDimmer()->isHidden());
    EXPECT_TRUE(view().progressPanel()->isVisible());
    EXPECT_TRUE(view().progressPanel()->isEnabled());
    EXPECT_EQ(view().busyTitle()->text(), QStringLiteral("Working with iPod…"));
    for (DeviceRowCard* c : view().sidebar()->deviceCards()) {
        if (c->ejectButton()) {
            EXPECT_FALSE(c->ejectButton()->isEnabled());
        }
    }

    // The sidebar sits under black at 0.62.
    const QImage busy = window->grab().toImage();
    const QColor dimmed = busy.pixelColor(inSidebar);
    const auto expect = [](int channel) { return qRound(channel * (1 - 158 / 255.0)); };
    EXPECT_NEAR(dimmed.red(), expect(LorvPalette::inkAlt().red()), 1);
    EXPECT_NEAR(dimmed.green(), expect(LorvPalette::inkAlt().green()), 1);
    EXPECT_NEAR(dimmed.blue(), expect(LorvPalette::inkAlt().blue()), 1);

    // No confirmation can be asked for while busy.
    view().requestEjectConfirmation(kitchenDevice);
    view().requestDeleteConfirmation({1}, kitchenDevice);
    EXPECT_FALSE(view().state().pendingConfirmation.has_value());
    EXPECT_EQ(view().alerts()->confirmationBox(), nullptr);

    ImportProgress progress;
    progress.stage = QStringLiteral("Copying");
    IPodStoreTestAccess::setProgress(*store, progress);
    EXPECT_EQ(view().busyTitle()->text(), QStringLiteral("Copying"));

    IPodStoreTestAccess::setProgress(*store, std::nullopt);
    IPodStoreTestAccess::setActiveDeviceID(*store, std::nullopt);
    EXPECT_TRUE(view().sidebarColumn()->isEnabled());
    EXPECT_TRUE(view().detailColumn()->isEnabled());
    EXPECT_TRUE(view().sidebarDimmer()->isHidden());
    EXPECT_TRUE(view().progressPanel()->isHidden());
    EXPECT_TRUE(card(DeviceSidebarRow::Kind::mounted)->ejectButton()->isEnabled());
    EXPECT_EQ(window->grab().toImage().pixelColor(inSidebar).rgb(), LorvPalette::inkAlt().rgb());
}

TEST_F(WindowTest, TheQuitQuestionClosesWhenTheOperationEndsAndAQuitWhenDoneIsShown) {
    showAndWaitForDevices();
    const IPodDevice kitchenDevice = device(kitchen);
    QuitConfirmation* quit = window->quitConfirmation();
    QAction* quitAction = window->findChild<QAction*>(QStringLiteral("quitAction"));
    QLabel* note = view().progressPanel()->noteLabel();

    // Unanswered when the operation ends: the question goes, the window stays.
    IPodStoreTestAccess::setActiveDeviceID(*store, kitchenDevice.id);
    quitAction->trigger();
    QPointer<QMessageBox> box = quit->box();
    ASSERT_TRUE(box && box->isVisible());
    IPodStoreTestAccess::setActiveDeviceID(*store, std::nullopt);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !box || !box->isVisible(); }));
    EXPECT_EQ(quit->box(), nullptr);
    EXPECT_FALSE(quit->isQuitPending());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(quit->permitsQuit());

    // Quit When Done: the progress card says so, in the language on screen, until the end.
    IPodStoreTestAccess::setActiveDeviceID(*store, kitchenDevice.id);
    EXPECT_TRUE(note->isHidden());
    quitAction->trigger();
    ASSERT_TRUE(quit->box());
    quit->quitButton()->click();
    EXPECT_TRUE(quit->isQuitPending());
    EXPECT_EQ(note->text(),
              QStringLiteral("Lorvanel will quit when it has finished with the iPod."));
    EXPECT_TRUE(note->isVisible());
    EXPECT_TRUE(view().progressPanel()->card()->geometry().contains(
        note->mapTo(view().progressPanel(), note->rect().bottomRight())));
    Settings::shared().setValue(AppLanguages::storageKey(),
                                AppLanguages::rawValue(AppLanguage::simplifiedChinese));
    QEvent change(QEvent::LanguageChange);
    QCoreApplication::sendEvent(&view(), &change);
    EXPECT_EQ(note->text(), QStringLiteral("Lorvanel 将在处理完 iPod 后退出。"));
    // An end with something to tell keeps the window and its alert.
    store->setAlert(QStringLiteral("Full"));
    IPodStoreTestAccess::setActiveDeviceID(*store, std::nullopt);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !quit->isQuitPending(); }));
    EXPECT_TRUE(window->isVisible());
    IPodStoreTestAccess::setActiveDeviceID(*store, kitchenDevice.id);
    EXPECT_TRUE(note->isHidden());
    IPodStoreTestAccess::setActiveDeviceID(*store, std::nullopt);
}

TEST_F(WindowTest, ReturnInTheEjectConfirmationCancelsAndNothingIsEjected) {
    showAndWaitForDevices();
    ASSERT_TRUE(TestSupport::waitUntil([&] {
        return card(DeviceSidebarRow::Kind::mounted)->row().title == QStringLiteral("a-kitchen");
    }));
    QTest::mouseClick(card(DeviceSidebarRow::Kind::mounted)->ejectButton(), Qt::LeftButton);
    QMessageBox* box = view().alerts()->confirmationBox();
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(view().state().pendingConfirmation.has_value());
    EXPECT_EQ(box->text(), QStringLiteral("Eject iPod?"));
    EXPECT_EQ(box->informativeText(), QStringLiteral("Eject a-kitchen before disconnecting it?"));
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);

    QTest::keyClick(box, Qt::Key_Return);
    TestSupport::drainEvents();
    EXPECT_FALSE(view().state().pendingConfirmation.has_value());
    EXPECT_EQ(view().alerts()->confirmationBox(), nullptr);
    EXPECT_FALSE(store->activeDeviceID().has_value());
    EXPECT_EQ(store->devices().size(), 2);
}

TEST_F(WindowTest, TheStoreAlertWaitsForThePendingConfirmationAndOKClearsIt) {
    showAndWaitForDevices();
    view().requestDeleteConfirmation({1, 2}, device(kitchen));
    ASSERT_NE(view().alerts()->confirmationBox(), nullptr);
    store->setAlert(QStringLiteral("Songs exported."));
    TestSupport::drainEvents();
    EXPECT_EQ(view().alerts()->alertBox(), nullptr);

    QTest::keyClick(view().alerts()->confirmationBox(), Qt::Key_Escape);
    TestSupport::drainEvents();
    QMessageBox* alert = view().alerts()->alertBox();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->informativeText(), QStringLiteral("Songs exported."));
    QTest::mouseClick(button(alert, QStringLiteral("OK")), Qt::LeftButton);
    TestSupport::drainEvents();
    EXPECT_FALSE(store->alert().has_value());
    EXPECT_EQ(view().alerts()->alertBox(), nullptr);
}

TEST_F(WindowTest, QuestionsAndAlertsShowTheirMessageOnOneLineOrBreakItBetweenWords) {
    showAndWaitForDevices();
    const IPodDevice kitchenDevice = device(kitchen);
    QAction* quitAction = window->findChild<QAction*>(QStringLiteral("quitAction"));
    // Each box opened in the language set, and closed again.
    struct Box {
        const char* name;
        std::function<QMessageBox*(AppLanguage)> open;
        std::function<void()> close;
    };
    const std::vector<Box> boxes = {
        {"eject",
         [&](AppLanguage) {
             view().requestEjectConfirmation(kitchenDevice);
             return view().alerts()->confirmationBox();
         },
         [&] { view().alerts()->dismissConfirmation(); }},
        {"delete",
         [&](AppLanguage) {
             view().requestDeleteConfirmation({1, 2}, kitchenDevice);
             return view().alerts()->confirmationBox();
         },
         [&] { view().alerts()->dismissConfirmation(); }},
        {"quit",
         [&](AppLanguage) {
             IPodStoreTestAccess::setActiveDeviceID(*store, kitchenDevice.id);
             quitAction->trigger();
             return window->quitConfirmation()->box();
         },
         [&] {
             IPodStoreTestAccess::setActiveDeviceID(*store, std::nullopt);
             TestSupport::waitUntil([&] { return !window->quitConfirmation()->box(); });
         }},
        {"full iPod",
         [&](AppLanguage language) {
             store->setAlert(localizedString(
                 LZ("%1 failed: %2"), language,
                 localizedString(LZ("Delete “%1”"), language, QStringLiteral("Song 1")),
                 localizedString(LZ("There is not enough free space on the iPod to save its "
                                    "library without these songs. Delete a larger song, or "
                                    "several songs at once."),
                                 language)));
             TestSupport::drainEvents();
             return view().alerts()->alertBox();
         },
         [&] { store->setAlert(std::nullopt); }},
    };
    for (const AppLanguage language : {AppLanguage::english, AppLanguage::simplifiedChinese}) {
        Settings::shared().setValue(AppLanguages::storageKey(), AppLanguages::rawValue(language));
        for (const Box& box : boxes) {
            SCOPED_TRACE(box.name);
            SCOPED_TRACE(AppLanguages::rawValue(language).toStdString());
            QMessageBox* shown = box.open(language);
            ASSERT_TRUE(shown && shown->isVisible());
            TestSupport::expectReadableMessage(*shown, shown->informativeText());
            box.close();
        }
    }
}

TEST_F(WindowTest, ConfirmedDeletionLeavesBothSelectionsAtOnce) {
    // The selections hold only tracks the library lists.
    machine->trackIDs = {1, 2, 3, 4, 7, 9};
    showAndWaitForDevices();
    const IPodDevice kitchenDevice = device(kitchen);
    view().setTrackSelection({{1, std::nullopt}, {3, std::nullopt}});
    view().setLibraryScope(LibraryScope::playlist(8));
    view().setScopedTrackSelection({{1, 2}, {1, 5}, {4, 1}});
    QSignalSpy deletions(&view(), &ContentView::deleteTracksRequested);

    view().requestDeleteConfirmation({1, 2}, kitchenDevice);
    QMessageBox* box = view().alerts()->confirmationBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->informativeText(),
              QStringLiteral("Delete the selected tracks (2) from a-kitchen."));
    QTest::keyClick(box, Qt::Key_Return);
    TestSupport::drainEvents();
    EXPECT_EQ(deletions.count(), 0);

    view().requestDeleteConfirmation({1, 2}, kitchenDevice);
    QTest::mouseClick(button(view().alerts()->confirmationBox(), QStringLiteral("Delete")),
                      Qt::LeftButton);
    TestSupport::drainEvents();
    ASSERT_EQ(deletions.count(), 1);
    EXPECT_EQ(deletions.front()[0].value<QSet<quint64>>(), (QSet<quint64>{1, 2}));
    EXPECT_EQ(deletions.front()[1].value<IPodDevice::ID>(), kitchenDevice.id);
    EXPECT_EQ(view().state().trackSelection, (QSet<TrackRow::ID>{{3, std::nullopt}}));
    EXPECT_EQ(view().state().scopedTrackSelection, (QSet<TrackRow::ID>{{4, 1}}));
}

TEST_F(WindowTest, OnlyAnAllTracksSelectionOfExactlyThePreviewTrackKeepsThePreview) {
    // The selections hold only tracks the library lists.
    machine->trackIDs = {1, 2, 3, 4, 7, 9};
    showAndWaitForDevices();
    IPodStoreTestAccess::setPreviewTrackID(*store, 7);
    view().setPreviewSeekPosition(12.5);
    view().setTrackSelection({{7, std::nullopt}});
    EXPECT_EQ(store->previewTrackID(), 7u);
    // The playlist table's selection never stops it.
    view().setScopedTrackSelection({{9, 1}});
    EXPECT_EQ(store->previewTrackID(), 7u);
    view().setTrackSelection({{7, std::nullopt}, {9, std::nullopt}});
    EXPECT_FALSE(store->previewTrackID().has_value());
    // A new preview track forgets the slider's drag position.
    EXPECT_FALSE(view().state().previewSeekPosition.has_value());

    // Typing a search clears the selection, which stops a preview it held.
    IPodStoreTestAccess::setPreviewTrackID(*store, 7);
    view().setTrackSelection({{7, std::nullopt}});
    view().setLibrarySearch(QStringLiteral("x"));
    EXPECT_FALSE(store->previewTrackID().has_value());
}

TEST_F(WindowTest, SheetsOpenWithoutANestedLoopAndTheEditorClosesOnAnotherDevice) {
    showAndWaitForDevices();
    QPointer<SheetDialog> opened;
    view().trackEditSheet = [&](const TrackEditRequest&, QWidget* parent) {
        auto* sheet = new SheetDialog(parent);
        sheet->addCancelButton();
        opened = sheet;
        return sheet;
    };
    TrackEditRequest request;
    request.id = 4;
    request.deviceID = device(kitchen).id;
    view().requestTrackEdit(request);
    // requestTrackEdit returned while the sheet is up: it was opened, not executed.
    ASSERT_FALSE(opened.isNull());
    EXPECT_TRUE(opened->isVisible());
    EXPECT_EQ(opened->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(view().state().trackEditRequest.has_value());

    // Escape closes it and clears the request.
    QTest::keyClick(opened, Qt::Key_Escape);
    TestSupport::drainEvents();
    EXPECT_FALSE(view().state().trackEditRequest.has_value());

    view().requestTrackEdit(request);
    ASSERT_FALSE(opened.isNull());
    view().selectDevice(IPodStore::Selection::disk(device(car).id));
    TestSupport::drainEvents();
    EXPECT_TRUE(opened.isNull() || !opened->isVisible());
    EXPECT_FALSE(view().state().trackEditRequest.has_value());
}

TEST_F(WindowTest, TheCarsModelLightsItsSeriesOnceItArrives) {
    showAndWaitForDevices();
    // The kitchen iPod's model is unknown: no series is lit.
    for (SidebarSeriesRow* row : view().sidebar()->seriesRows())
        EXPECT_FALSE(row->isHighlighted());
    view().selectDevice(IPodStore::Selection::disk(device(car).id));
    ASSERT_TRUE(
        TestSupport::waitUntil([&] { return view().sidebar()->seriesRows()[2]->isHighlighted(); }));
    EXPECT_EQ(card(DeviceSidebarRow::Kind::mounted, 1)->row().dotColor,
              StartupSeries(StartupSeries::nano).accentColor());
}

TEST_F(WindowTest, WindowAndSidebarKeepTheirSizeLimitsAndReducedMotionSkipsTheFade) {
    showAndWaitForDevices();
    EXPECT_EQ(window->minimumSize(), QSize(800, 640));
    EXPECT_EQ(view().sidebarColumn()->minimumWidth(), 184);
    EXPECT_EQ(view().sidebarColumn()->maximumWidth(), 270);
    EXPECT_EQ(view().sidebarColumn()->width(), 220);

    // Whatever fade the first screens started is over.
    ASSERT_TRUE(
        TestSupport::waitUntil([&] { return view().detailPane()->fadeOverlay() == nullptr; }));
    ReduceMotion::setOverride(true);
    view().selectSeries(StartupSeries::nano);
    EXPECT_EQ(view().detailPane()->screen(), DetailScreen::showcase);
    EXPECT_EQ(view().detailPane()->fadeOverlay(), nullptr);
    view().selectDevice(IPodStore::Selection::disk(device(kitchen).id));
    EXPECT_EQ(view().detailPane()->fadeOverlay(), nullptr);

    ReduceMotion::setOverride(false);
    view().selectSeries(StartupSeries::classic);
    EXPECT_NE(view().detailPane()->fadeOverlay(), nullptr);
    ReduceMotion::setOverride(std::nullopt);
}

TEST_F(WindowTest, TheSharePopupClosesWhenItsDeviceGoesAway) {
    ReduceMotion::setOverride(true);
    showAndWaitForDevices();
    DeviceShareButton* share = view().deviceShareButton();
    // Another device on screen closes the popup of the one before.
    QTest::mouseClick(share, Qt::LeftButton);
    QPointer<DeviceSharePreview> preview = share->preview();
    ASSERT_TRUE(preview && preview->isVisible());
    view().selectDevice(IPodStore::Selection::disk(device(car).id));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !preview || !preview->isVisible(); }));

    // The volume unmounted under an open popup: the showcase comes back without it.
    QTest::mouseClick(share, Qt::LeftButton);
    preview = share->preview();
    ASSERT_TRUE(preview && preview->isVisible());
    const IPodStore::Selection gone = IPodStore::Selection::disk(device(car).id);
    {
        std::lock_guard lock(machine->mutex);
        machine->volumes.removeAll(car);
    }
    store->refreshDevices();
    ASSERT_TRUE(TestSupport::waitUntil(
        [&] { return store->devices().size() == 1 && (!preview || !preview->isVisible()); }));
    EXPECT_NE(store->selection(), gone);
    EXPECT_FALSE(share->showsPreview());

    // A refresh of the same device leaves an open popup alone.
    view().selectDevice(IPodStore::Selection::disk(device(kitchen).id));
    QTest::mouseClick(share, Qt::LeftButton);
    preview = share->preview();
    ASSERT_TRUE(preview && preview->isVisible());
    store->refreshDevices();
    TestSupport::drainEvents();
    EXPECT_TRUE(preview && preview->isVisible());
    preview->close();
    ReduceMotion::setOverride(std::nullopt);
}

TEST_F(WindowTest, AnOpenSharePopupFollowsItsDeviceOnceItsModelIsRead) {
    ReduceMotion::setOverride(true);
    showAndWaitForDevices();
    // Events run while the popup is open: the window must stay active, or the popup closes.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    TestSupport::drainEvents();
    DeviceShareButton* share = view().deviceShareButton();
    QTest::mouseClick(share, Qt::LeftButton);
    QPointer<DeviceSharePreview> preview = share->preview();
    ASSERT_TRUE(preview && preview->isVisible());
    ASSERT_EQ(preview->makeCard().title, QStringLiteral("Unknown iPod"));
    EXPECT_EQ(preview->backSwitch(), nullptr);
    preview->engravingField()->setText(QStringLiteral("Kitchen"));
    {
        std::lock_guard lock(machine->mutex);
        machine->modelled.append(kitchen);
    }
    store->reloadSelection();
    const QString nano = IPodModel::fromProductID(IPodModel::nano5ProductID, std::nullopt)
                             ->displayName(AppLanguage::english);
    ASSERT_TRUE(
        TestSupport::waitUntil([&] { return preview && preview->makeCard().title == nano; }));
    // The same popup, with the model's back to offer and the engraving kept.
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(share->preview(), preview);
    EXPECT_NE(preview->backSwitch(), nullptr);
    EXPECT_EQ(preview->makeCard().caption, QStringLiteral("Kitchen"));
    preview->close();
    ReduceMotion::setOverride(std::nullopt);
}

TEST_F(WindowTest, EachShowcaseOrDevicePopupClosesWithItsScreen) {
    ReduceMotion::setOverride(true);
    showAndWaitForDevices();
    ShowcaseToolbar* showcaseBar = view().detailPane()->showcasePane()->toolbar();
    const IPodStore::Selection kitchenDisk = IPodStore::Selection::disk(device(kitchen).id);
    // The device's card as the showcase comes; the showcase's popups as a device's library
    // comes (as on a mount). No events run in between: the platform may close a popup of its
    // own accord.
    const struct {
        std::function<QWidget*()> open;
        std::function<void()> replaceScreen;
        DetailScreen after;
    } cases[] = {
        {[&] { return view().deviceShareButton()->showPreview(); },
         [&] { view().selectSeries(StartupSeries::nano); }, DetailScreen::showcase},
        {[&] { return showcaseBar->shareButton()->showPreview(); },
         [&] { view().selectDevice(kitchenDisk); }, DetailScreen::library},
        {[&] {
             view().selectSeries(StartupSeries::classic);
             QTest::mouseClick(showcaseBar->helpButton(), Qt::LeftButton);
             return showcaseBar->helpPopup();
         },
         [&] { view().selectDevice(kitchenDisk); }, DetailScreen::library},
    };
    for (const auto& c : cases) {
        QPointer<QWidget> popup = c.open();
        ASSERT_TRUE(popup && popup->isVisible());
        c.replaceScreen();
        EXPECT_EQ(view().detailPane()->screen(), c.after);
        EXPECT_TRUE(!popup || !popup->isVisible());
    }
    EXPECT_FALSE(view().detailPane()->showcasePane()->state().showsConnectionHelp());
    TestSupport::drainEvents();
    ReduceMotion::setOverride(std::nullopt);
}

TEST_F(WindowTest, EveryPopupStaysOnTheScreenAndInTheWindowBesideItsButton) {
    ReduceMotion::setOverride(true);
    showAndWaitForDevices();
    const QRect screen = window->screen()->availableGeometry();
    ShowcaseToolbar* bar = view().detailPane()->showcasePane()->toolbar();
    const IPodStore::Selection kitchenDisk = IPodStore::Selection::disk(device(kitchen).id);
    using Opened = std::pair<QWidget*, QWidget*>; // the popup and its button
    const auto click = [](QWidget* button) {
        QTest::mouseClick(static_cast<QAbstractButton*>(button), Qt::LeftButton);
    };
    const struct {
        const char* name;
        std::function<Opened()> open;
    } popups[] = {
        {"device share",
         [&] {
             view().selectDevice(kitchenDisk);
             TestSupport::drainEvents(); // the toolbar laid out
             return Opened(view().deviceShareButton()->showPreview(), view().deviceShareButton());
         }},
        {"device settings",
         [&] {
             click(view().settingsButton());
             return Opened(view().settingsPopup(), view().settingsButton());
         }},
        {"showcase share",
         [&] {
             view().selectSeries(StartupSeries::classic);
             TestSupport::drainEvents();
             return Opened(bar->shareButton()->showPreview(), bar->shareButton());
         }},
        {"connection help",
         [&] {
             click(bar->helpButton());
             return Opened(bar->helpPopup(), bar->helpButton());
         }},
        {"showcase settings",
         [&] {
             click(bar->settingsButton());
             return Opened(view().settingsPopup(), bar->settingsButton());
         }},
    };
    // The smallest window: with its buttons at the screen's right edge; with its own right
    // edge inside the screen; with its toolbar at the screen's bottom.
    const QPoint places[] = {{screen.right() + 1 - 800, screen.top()},
                             {screen.left() - 200, screen.top()},
                             {screen.left(), screen.bottom() + 1 - 60}};
    window->resize(800, 640);
    for (const QPoint& place : places) {
        window->move(place);
        // Give or take the frame the platform draws.
        ASSERT_TRUE(TestSupport::waitUntil(
            [&] { return (window->frameGeometry().topLeft() - place).manhattanLength() <= 4; }));
        const QRect shown = window->geometry().intersected(screen);
        for (const auto& p : popups) {
            SCOPED_TRACE(testing::Message() << p.name << " at " << place.x() << "," << place.y());
            const auto [opened, anchor] = p.open();
            QPointer<QWidget> popup = opened;
            ASSERT_TRUE(popup && popup->isVisible());
            const QRect button(anchor->mapToGlobal(QPoint(0, 0)), anchor->size());
            const QRect at = popup->frameGeometry();
            EXPECT_TRUE(screen.contains(at))
                << at.x() << "," << at.y() << " " << at.width() << "x" << at.height();
            EXPECT_FALSE(at.intersects(button));
            if (shown.width() >= at.width()) {
                EXPECT_GE(at.left(), shown.left());
                EXPECT_LE(at.right(), shown.right());
            }
            popup->close();
            TestSupport::drainEvents();
        }
    }
    ReduceMotion::setOverride(std::nullopt);
}

TEST_F(WindowTest, TheShowcaseSharesTheSeriesWithTheSidebarAndBringsItsOwnToolbar) {
    ReduceMotion::setOverride(true);
    showAndWaitForDevices();
    StartupDeviceFlow* showcase = view().detailPane()->showcasePane();
    // A device screen: the device toolbar with its share button.
    EXPECT_TRUE(view().deviceToolbar()->isVisible());
    EXPECT_TRUE(view().deviceShareButton()->isVisible());
    EXPECT_FALSE(showcase->toolbar()->isVisible());
    EXPECT_EQ(view().deviceShareButton()->content().title, QStringLiteral("Unknown iPod"));
    view().selectDevice(IPodStore::Selection::disk(device(car).id));
    ASSERT_TRUE(TestSupport::waitUntil(
        [&] { return view().deviceShareButton()->content().rearArtwork.has_value(); }));
    EXPECT_EQ(view().deviceShareButton()->content().rearArtwork->series, StartupSeries::nano);
    EXPECT_EQ(view().deviceShareButton()->content().rearArtwork->generation, 4);

    // The sidebar's series row opens the showcase on that series, with the showcase's toolbar.
    QTest::mouseClick(view().sidebar()->seriesRows()[2], Qt::LeftButton);
    EXPECT_EQ(view().detailPane()->screen(), DetailScreen::showcase);
    EXPECT_EQ(showcase->series(), StartupSeries::nano);
    EXPECT_FALSE(view().deviceToolbar()->isVisible());
    EXPECT_TRUE(showcase->toolbar()->isVisible());
    ASSERT_TRUE(showcase->toolbar()->settingsButton());
    // Its settings button opens the transfer settings under it, like every toolbar's.
    QTest::mouseClick(static_cast<QToolButton*>(showcase->toolbar()->settingsButton()),
                      Qt::LeftButton);
    ASSERT_NE(view().settingsPopup(), nullptr);
    EXPECT_TRUE(view().settingsPopup()->isVisible());
    EXPECT_TRUE(view().state().showsSettings);
    view().settingsPopup()->close();
    EXPECT_FALSE(view().state().showsSettings);

    // Stepping in the showcase moves the sidebar's highlight along.
    showcase->state().move(1);
    EXPECT_EQ(view().state().startupSeries, StartupSeries::classic);
    EXPECT_TRUE(view().sidebar()->seriesRows()[0]->isHighlighted());
    EXPECT_FALSE(view().sidebar()->seriesRows()[2]->isHighlighted());

    // Leaving for a device and coming back starts the showcase's view afresh.
    showcase->state().toggleGenerations(true);
    showcase->state().selectGeneration(2);
    view().selectDevice(IPodStore::Selection::disk(device(kitchen).id));
    QTest::mouseClick(view().sidebar()->seriesRows()[0], Qt::LeftButton);
    EXPECT_FALSE(showcase->state().showsGenerations());
    EXPECT_EQ(showcase->state().generationIndex(StartupSeries::classic), 5);
    ReduceMotion::setOverride(std::nullopt);
}
