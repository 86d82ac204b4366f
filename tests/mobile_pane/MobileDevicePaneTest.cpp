// The iPod touch page on the real store, against our own usbmuxd: the header and its song count
// (shown only once a count for the device has arrived), the information card and its clipboard
// copies, one media-library copy at a time however often the application becomes active, and
// counts that arrive after the device stopped being selected.

#include "FakeUsbmuxd.h"
#include "MediaLibraryFixture.h"
#include "StoreHarness.h"

#include "app/BatteryIndicator.h"
#include "app/ContentView.h"
#include "app/DetailPane.h"
#include "app/MainWindow.h"
#include "app/MobileDeviceInfoCard.h"
#include "app/MobileDevicePane.h"
#include "browser/ElidedLabel.h"
#include "device/MobileSongLoader.h"
#include "platform/Settings.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <algorithm>

namespace {

using Device = FakeUsbmuxd::Device;
using Row = MediaLibraryFixture::Row;

class MobilePaneTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(work.isValid());
        setLanguage(AppLanguage::english);
        savedAddress = qgetenv("USBMUXD_SOCKET_ADDRESS");
        savedTemp = qgetenv("TMPDIR");
        const QString temp = work.path() + QStringLiteral("/tmp");
        QDir().mkpath(temp);
        qputenv("TMPDIR", QFile::encodeName(temp));
        daemon = std::make_unique<FakeUsbmuxd>(work.path() + QStringLiteral("/usbmuxd"));
    }

    void TearDown() override {
        daemon->releaseAFC();
        // Copies already under way end before the daemon and the window go.
        if (window)
            TestSupport::waitUntil([this] { return loader().loadsInFlight() == 0; });
        window.reset();
        store.reset();
        TestSupport::drainEvents();
        daemon.reset();
        qputenv("USBMUXD_SOCKET_ADDRESS", savedAddress);
        qputenv("TMPDIR", savedTemp);
        setLanguage(AppLanguage::english);
    }

    static void setLanguage(AppLanguage language) {
        Settings::shared().setValue(AppLanguages::storageKey(), AppLanguages::rawValue(language));
    }

    // A paired iPod touch whose media library holds these songs; no library without songs.
    Device touch(const char* udid, int songs) {
        Device device;
        device.udid = udid;
        device.pairRecordHostID = "HOST-1";
        device.set("ProductType", plist_new_string("iPod9,1"))
            .set("ProductVersion", plist_new_string("15.7"))
            .set("DeviceName", plist_new_string(udid))
            .set("InternationalMobileEquipmentIdentity", plist_new_string("490154203237518"))
            .set("IntegratedCircuitCardIdentity", plist_new_string(""))
            .set("com.apple.disk_usage", "TotalDataCapacity", plist_new_uint(32000000000ULL))
            .set("com.apple.disk_usage", "TotalDataAvailable", plist_new_uint(12000000000ULL))
            .set("com.apple.mobile.battery", "BatteryCurrentCapacity", plist_new_uint(87))
            .set("com.apple.mobile.battery", "BatteryIsCharging", plist_new_bool(1))
            .set("com.apple.mobile.battery", "FullyCharged", plist_new_bool(0));
        device.afcRoot = work.path() + QStringLiteral("/afc/") + QLatin1String(udid);
        QDir().mkpath(device.afcRoot);
        if (songs > 0)
            writeSongs(device.afcRoot, songs);
        return device;
    }

    static void writeSongs(const QString& root, int count) {
        std::vector<Row> rows;
        for (int i = 0; i < count; ++i)
            rows.push_back(Row{.itemPid = i + 1, .title = "Song", .location = "a.mp3"});
        MediaLibraryFixture::writeDeviceLibrary(root, rows, {});
    }

    // Opens the window; the iOS devices are listed through the daemon.
    void open() {
        IPodStore::Sources sources = machine->sources();
        sources.mobileDevices = [] { return MobileDevice::connectedDevices(); };
        const IPodStore::Periods periods{std::chrono::hours(1), std::chrono::hours(1),
                                         std::chrono::hours(1)};
        store = std::make_unique<IPodStore>(std::move(sources), periods);
        window = std::make_unique<MainWindow>(*store);
        window->resize(1160, 760);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(TestSupport::waitUntil([this] { return !store->mobileDevices().isEmpty(); }));
        // The window's first scan has been applied (with its repair of the selection) once a
        // refresh asked for after it has.
        bool settled = false;
        store->refreshDevices(std::nullopt, std::nullopt, [&settled] { settled = true; });
        ASSERT_TRUE(TestSupport::waitUntil([&settled] { return settled; }));
    }

    void select(const char* udid) {
        view().selectDevice(IPodStore::Selection::mobile(QLatin1String(udid)));
        ASSERT_EQ(view().detailPane()->screen(), DetailScreen::mobile);
    }

    // The application comes to the front again, as the window system tells it.
    static void becomeActive() { Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive); }

    int copiesStarted(const char* udid) const {
        const auto all = daemon->requests();
        const std::string line = std::string(udid) + " StartService com.apple.afc";
        return static_cast<int>(std::count(all.begin(), all.end(), line));
    }

    ContentView& view() const { return *window->contentView(); }
    MobileDevicePane& pane() const { return *view().mobilePane(); }
    MobileSongLoader& loader() const { return *pane().songLoader(); }
    MobileDeviceInfoCard& card() const { return *pane().infoCard(); }

    QTemporaryDir work;
    QByteArray savedAddress;
    QByteArray savedTemp;
    std::unique_ptr<FakeUsbmuxd> daemon;
    std::shared_ptr<TestMachine> machine = std::make_shared<TestMachine>();
    std::unique_ptr<IPodStore> store;
    std::unique_ptr<MainWindow> window;
};

} // namespace

TEST_F(MobilePaneTest, TheHeaderCountsSongsOnlyOnceTheFirstCopyHasArrived) {
    daemon->addDevice(touch("PAIRED", 3));
    daemon->holdAFC();
    open();
    select("PAIRED");
    EXPECT_EQ(pane().nameLabel()->text(), QStringLiteral("PAIRED"));
    EXPECT_EQ(pane().subtitleLabel()->text(),
              QStringLiteral("iPod touch (7th generation) · 12 GB available"));
    EXPECT_TRUE(pane().batteryIndicator()->isVisible());
    EXPECT_EQ(pane().openFileManagerButton()->text(), QStringLiteral("Open File Manager"));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return daemon->heldAFCConnections() == 1; }));
    EXPECT_FALSE(pane().trackLineLabel()->isVisible());

    daemon->releaseAFC();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return pane().trackLineLabel()->isVisible(); }));
    EXPECT_EQ(pane().trackLineLabel()->text(), QStringLiteral("Tracks: 3"));
    ASSERT_TRUE(view().state().mobileLibrary);
    EXPECT_EQ(view().state().mobileLibrary->deviceID, QStringLiteral("PAIRED"));

    // A device without details: the kind alone, no battery, only the hint.
    const MobileDevice bare = *MobileDevice::make(QStringLiteral("BARE"), QStringLiteral("iPod7,1"),
                                                  {}, {}, std::nullopt);
    EXPECT_EQ(MobileDevicePane::subtitle(bare, AppLanguage::english),
              QStringLiteral("iPod touch (6th generation)"));
    EXPECT_EQ(MobileDevicePane::trackLine(MainViewState::MobileLibrary{"BARE", std::nullopt},
                                          QStringLiteral("BARE"), AppLanguage::english),
              QStringLiteral("Track count unavailable"));
    EXPECT_FALSE(MobileDevicePane::trackLine(MainViewState::MobileLibrary{"OTHER", {}},
                                             QStringLiteral("BARE"), AppLanguage::english));
}

TEST_F(MobilePaneTest, TheCardListsWhatTheDeviceReportsAndCopiesItsIdentifiers) {
    daemon->addDevice(touch("PAIRED", 1));
    open();
    select("PAIRED");
    ASSERT_TRUE(card().grid()->isVisible());
    EXPECT_EQ(card().valueLabel(QStringLiteral("Model"))->text(),
              QStringLiteral("iPod touch (7th generation)"));
    EXPECT_EQ(card().valueLabel(QStringLiteral("Battery"))->text(), QStringLiteral("87%"));
    EXPECT_EQ(card().valueLabel(QStringLiteral("Charging Status"))->text(),
              QStringLiteral("Charging"));
    EXPECT_EQ(card().valueLabel(QStringLiteral("UDID"))->text(), QStringLiteral("PAIRED"));
    EXPECT_EQ(card().valueLabel(QStringLiteral("IMEI"))->text(), QStringLiteral("490154203237518"));
    // An empty ICCID has no row at all; values that are not identifiers have no copy button.
    EXPECT_FALSE(card().valueLabel(QStringLiteral("ICCID")));
    EXPECT_FALSE(card().copyButton(QStringLiteral("Model")));

    QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
    QToolButton* copy = card().copyButton(QStringLiteral("UDID"));
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->toolTip(), QStringLiteral("Copy UDID"));
    QTest::mouseClick(copy, Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("PAIRED"));
    QTest::mouseClick(card().copyButton(QStringLiteral("IMEI")), Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("490154203237518"));

    // In Chinese the identifiers keep their names; the rest is translated.
    setLanguage(AppLanguage::simplifiedChinese);
    QEvent change(QEvent::LanguageChange);
    QApplication::sendEvent(window.get(), &change);
    EXPECT_TRUE(card().valueLabel(QStringLiteral("型号")));
    EXPECT_TRUE(card().valueLabel(QStringLiteral("UDID")));
    EXPECT_EQ(card().copyButton(QStringLiteral("IMEI"))->toolTip(), QStringLiteral("拷贝 IMEI"));

    // Missing values read "Unavailable".
    MobileDevice unknown = *MobileDevice::make(QStringLiteral("X"), QStringLiteral("iPod9,1"), {},
                                               {}, MobileDevice::Details{});
    const QList<DeviceInfoRow> rows = MobileDeviceInfoCard::rows(unknown, AppLanguage::english);
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[1], (DeviceInfoRow{QStringLiteral("Battery"), std::nullopt, false}));
    EXPECT_EQ(rows[2], (DeviceInfoRow{QStringLiteral("Charging Status"), std::nullopt, false}));
    unknown.details.reset();
    EXPECT_TRUE(MobileDeviceInfoCard::rows(unknown, AppLanguage::english).isEmpty());
}

TEST_F(MobilePaneTest, RepeatedActivationsLeaveOneCopyInFlight) {
    daemon->addDevice(touch("PAIRED", 2));
    daemon->holdAFC();
    open();
    select("PAIRED");
    ASSERT_TRUE(TestSupport::waitUntil([&] { return daemon->heldAFCConnections() == 1; }));
    for (int i = 0; i < 5; ++i)
        becomeActive();
    TestSupport::drainEvents();
    EXPECT_EQ(loader().loadsInFlight(), 1);
    EXPECT_EQ(copiesStarted("PAIRED"), 1);
    EXPECT_EQ(daemon->heldAFCConnections(), 1);

    // The activations during the copy fold into one more copy after it.
    daemon->releaseAFC();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return loader().loadsInFlight() == 0; }));
    EXPECT_EQ(copiesStarted("PAIRED"), 2);
    EXPECT_EQ(pane().trackLineLabel()->text(), QStringLiteral("Tracks: 2"));

    // Once idle, an activation copies once more.
    becomeActive();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return loader().loadsInFlight() == 0; }));
    EXPECT_EQ(copiesStarted("PAIRED"), 3);
}

TEST_F(MobilePaneTest, ACountForADeviceNoLongerSelectedIsDropped) {
    daemon->addDevice(touch("FIRST", 4));
    daemon->addDevice(touch("SECOND", 1));
    daemon->holdAFC();
    open();
    select("FIRST");
    ASSERT_TRUE(TestSupport::waitUntil([&] { return daemon->heldAFCConnections() == 1; }));
    // Every count the window keeps from here on.
    QStringList kept;
    QObject::connect(&view(), &ContentView::stateChanged, [&] {
        if (const auto& library = view().state().mobileLibrary;
            library && (kept.isEmpty() || kept.last() != library->deviceID))
            kept.append(library->deviceID);
    });
    // The second device is chosen while the first one's copy is under way; its own copy
    // starts at once.
    select("SECOND");
    ASSERT_TRUE(TestSupport::waitUntil([&] { return daemon->heldAFCConnections() == 2; }));
    EXPECT_EQ(loader().loadsInFlight(), 2);
    daemon->releaseAFC();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return loader().loadsInFlight() == 0; }));
    EXPECT_EQ(kept, QStringList{QStringLiteral("SECOND")});
    EXPECT_EQ(pane().trackLineLabel()->text(), QStringLiteral("Tracks: 1"));
    EXPECT_EQ(copiesStarted("FIRST"), 1);
}

TEST_F(MobilePaneTest, AFailedReadSaysSoAndTheNextActivationTriesAgain) {
    Device empty = touch("EMPTY", 0);
    const QString root = empty.afcRoot;
    daemon->addDevice(std::move(empty));
    open();
    select("EMPTY");
    ASSERT_TRUE(TestSupport::waitUntil([&] { return pane().trackLineLabel()->isVisible(); }));
    EXPECT_EQ(pane().trackLineLabel()->text(), QStringLiteral("Track count unavailable"));
    EXPECT_FALSE(store->alert());

    writeSongs(root, 5);
    becomeActive();
    ASSERT_TRUE(TestSupport::waitUntil(
        [&] { return pane().trackLineLabel()->text() == QStringLiteral("Tracks: 5"); }));
}
