#include "app/DeviceSidebar.h"
#include "app/StorageSummaryView.h"
#include "app/UnmountedDevicePane.h"
#include "appmodel/LorvPalette.h"
#include "browser/StorageGaugeStyle.h"
#include "library/IPodModel.h"
#include "platform/Settings.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

namespace {

struct SidebarTest : ::testing::Test {
    DeviceSidebar sidebar;

    void SetUp() override {
        Settings::shared().setValue(AppLanguages::storageKey(),
                                    AppLanguages::rawValue(AppLanguage::english));
        sidebar.resize(220, 600);
        sidebar.show();
    }

    static DeviceSidebarRow mounted(const QString& title, bool selected, qint64 total = 0,
                                    qint64 free = 0) {
        DeviceSidebarRow row;
        row.kind = DeviceSidebarRow::Kind::mounted;
        row.diskID.path = QStringLiteral("/media/") + title;
        row.title = title;
        row.dotColor = LorvPalette::sky();
        row.isSelected = selected;
        row.totalBytes = total;
        row.freeBytes = free;
        row.hasEjectButton = true;
        return row;
    }

    static DeviceSidebarRow unmounted(quint64 usbID) {
        DeviceSidebarRow row;
        row.kind = DeviceSidebarRow::Kind::unmounted;
        row.usbID = usbID;
        row.title = QStringLiteral("iPod classic");
        row.dotColor = LorvPalette::fog();
        row.subtitleKey = QStringLiteral("Disk not mounted");
        return row;
    }

    QImage render(QWidget* widget) {
        QCoreApplication::processEvents();
        return widget->grab().toImage();
    }
};

} // namespace

TEST_F(SidebarTest, WaitsForAConnectionUntilAnyDeviceIsListed) {
    EXPECT_FALSE(sidebar.waitingLabel()->isHidden());
    EXPECT_EQ(sidebar.waitingLabel()->text(), QStringLiteral("Waiting for a USB connection…"));
    EXPECT_TRUE(sidebar.deviceCards().isEmpty());

    sidebar.setContent({{unmounted(5)}, StartupSeries::classic, false});
    EXPECT_TRUE(sidebar.waitingLabel()->isHidden());
    ASSERT_EQ(sidebar.deviceCards().size(), 1);
    DeviceRowCard* card = sidebar.deviceCards().front();
    ASSERT_NE(card->subtitleLabel(), nullptr);
    EXPECT_EQ(card->subtitleLabel()->text(), QStringLiteral("Disk not mounted"));
    EXPECT_EQ(card->ejectButton(), nullptr);
    EXPECT_EQ(card->toolTip(), QStringLiteral("iPod classic"));
}

TEST_F(SidebarTest, SeriesRowsComeInCatalogueOrderAndOneIsLit) {
    ASSERT_EQ(sidebar.seriesRows().size(), 3);
    EXPECT_EQ(sidebar.seriesRows()[0]->text(), QStringLiteral("iPod classic"));
    EXPECT_EQ(sidebar.seriesRows()[1]->text(), QStringLiteral("iPod shuffle"));
    EXPECT_EQ(sidebar.seriesRows()[2]->text(), QStringLiteral("iPod nano"));

    sidebar.setContent({{}, StartupSeries::nano, false});
    EXPECT_FALSE(sidebar.seriesRows()[0]->isHighlighted());
    EXPECT_TRUE(sidebar.seriesRows()[2]->isHighlighted());
    QImage lit = render(sidebar.seriesRows()[2]);
    EXPECT_EQ(lit.pixelColor(lit.width() - 4, lit.height() / 2), LorvPalette::night700());

    sidebar.setContent({{}, std::nullopt, false});
    for (SidebarSeriesRow* row : sidebar.seriesRows())
        EXPECT_FALSE(row->isHighlighted());

    QList<StartupSeries> clicked;
    QObject::connect(&sidebar, &DeviceSidebar::seriesClicked,
                     [&](StartupSeries series) { clicked.append(series); });
    QTest::mouseClick(sidebar.seriesRows()[0], Qt::LeftButton);
    ASSERT_EQ(clicked.size(), 1);
    EXPECT_EQ(clicked.front(), StartupSeries::classic);
}

TEST_F(SidebarTest, CardsShowTheirSelectionInPaletteColours) {
    sidebar.setContent({{mounted(QStringLiteral("Kitchen"), true, 8'000'000'000, 2'000'000'000),
                         mounted(QStringLiteral("Car"), false, 8'000'000'000, 6'000'000'000)},
                        std::nullopt,
                        false});
    ASSERT_EQ(sidebar.deviceCards().size(), 2);
    const QImage selected = render(sidebar.deviceCards()[0]);
    const QImage plain = render(sidebar.deviceCards()[1]);
    // Inside the card, away from the text: the fill.
    const QPoint inside(selected.width() / 2, 3);
    EXPECT_EQ(selected.pixelColor(inside), LorvPalette::indigoNight());
    EXPECT_EQ(plain.pixelColor(inside), LorvPalette::night800());
    // The selected card's border is lilac; the other has none.
    EXPECT_EQ(selected.pixelColor(selected.width() / 2, 0), LorvPalette::lilac());
    EXPECT_EQ(plain.pixelColor(plain.width() / 2, 0), LorvPalette::night800());
}

TEST_F(SidebarTest, ACardWithoutCapacityShowsNoStorageBlock) {
    sidebar.setContent({{mounted(QStringLiteral("Zero"), false, 0, 0),
                         mounted(QStringLiteral("Full"), false, 4'000'000'000, 1'000'000'000)},
                        std::nullopt,
                        false});
    EXPECT_EQ(sidebar.deviceCards()[0]->storageView(), nullptr);
    StorageSummaryView* storage = sidebar.deviceCards()[1]->storageView();
    ASSERT_NE(storage, nullptr);
    EXPECT_FALSE(storage->gauge()->isHidden());
    EXPECT_DOUBLE_EQ(storage->gauge()->value(), 0.75);
    // Inside the card the gauge keeps its colours: the empty track at the far end, the fill
    // (blue at its start) three quarters along.
    const QImage bar = render(storage->gauge());
    const int y = bar.height() / 2;
    EXPECT_EQ(bar.pixelColor(bar.width() - 3, y), LorvPalette::slate600());
    const QColor start = bar.pixelColor(3, y);
    EXPECT_NEAR(start.blue(), LorvPalette::sky().blue(), 12);
    EXPECT_NE(bar.pixelColor(bar.width() / 2, y), LorvPalette::slate600());
}

TEST_F(SidebarTest, EjectAsksWithTheDeviceNameAndIsDisabledWhileBusy) {
    sidebar.setContent({{mounted(QStringLiteral("Kitchen"), false, 1000, 10)}, {}, false});
    QToolButton* eject = sidebar.deviceCards().front()->ejectButton();
    ASSERT_NE(eject, nullptr);
    EXPECT_EQ(eject->toolTip(), QStringLiteral("Eject Kitchen"));
    QSignalSpy ejects(&sidebar, &DeviceSidebar::ejectClicked);
    QSignalSpy rows(&sidebar, &DeviceSidebar::deviceClicked);
    QTest::mouseClick(eject, Qt::LeftButton);
    EXPECT_EQ(ejects.count(), 1);
    EXPECT_EQ(rows.count(), 0);

    sidebar.setContent({{mounted(QStringLiteral("Kitchen"), false, 1000, 10)}, {}, true});
    eject = sidebar.deviceCards().front()->ejectButton();
    EXPECT_FALSE(eject->isEnabled());
    QTest::mouseClick(eject, Qt::LeftButton);
    EXPECT_EQ(ejects.count(), 1);

    QTest::mouseClick(sidebar.deviceCards().front(), Qt::LeftButton, {}, QPoint(20, 10));
    ASSERT_EQ(rows.count(), 1);
    EXPECT_EQ(rows.front().front().toInt(), 0);
}

TEST_F(SidebarTest, TextsFollowTheLanguage) {
    sidebar.setContent({{unmounted(1)}, {}, false});
    Settings::shared().setValue(AppLanguages::storageKey(),
                                AppLanguages::rawValue(AppLanguage::simplifiedChinese));
    QEvent change(QEvent::LanguageChange);
    QCoreApplication::sendEvent(&sidebar, &change);
    for (QWidget* w : sidebar.findChildren<QWidget*>())
        QCoreApplication::sendEvent(w, &change);
    EXPECT_NE(sidebar.deviceCards().front()->subtitleLabel()->text(),
              QStringLiteral("Disk not mounted"));
    // Device names and series names are shown as they are.
    EXPECT_EQ(sidebar.deviceCards().front()->titleLabel()->text(), QStringLiteral("iPod classic"));
    EXPECT_EQ(sidebar.seriesRows()[1]->text(), QStringLiteral("iPod shuffle"));
}

namespace {

class UrlRecorder : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public Q_SLOTS:
    void open(const QUrl& url) { urls.append(url); }
};

} // namespace

TEST(UnmountedDevicePane, TitleFollowsStoredNameThenModelThenClassic) {
    EXPECT_EQ(UnmountedDevicePane::unmountedDeviceTitle(QStringLiteral("Anna’s iPod"),
                                                        IPodModel::shuffle2ProductID,
                                                        AppLanguage::english),
              QStringLiteral("Anna’s iPod"));
    const QString shuffle = UnmountedDevicePane::unmountedDeviceTitle(
        std::nullopt, IPodModel::shuffle2ProductID, AppLanguage::english);
    EXPECT_EQ(shuffle, IPodModel::fromProductID(IPodModel::shuffle2ProductID, std::nullopt)
                           ->displayName(AppLanguage::english));
    EXPECT_EQ(UnmountedDevicePane::unmountedDeviceTitle(std::nullopt, 0x9999,
                                                        AppLanguage::simplifiedChinese),
              QStringLiteral("iPod classic"));
}

TEST(UnmountedDevicePane, TheButtonOpensTheHomeFolderInTheFileManager) {
    Settings::shared().setValue(AppLanguages::storageKey(),
                                AppLanguages::rawValue(AppLanguage::english));
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    UnmountedDevicePane pane;
    pane.setDevice(3, QStringLiteral("Shuffle"));
    pane.show();
    EXPECT_EQ(pane.titleLabel()->text(), QStringLiteral("Shuffle"));
    EXPECT_EQ(pane.statusLabel()->text(), QStringLiteral("Disk not mounted"));
    EXPECT_EQ(pane.button()->text(), QStringLiteral("Open File Manager"));
    for (QLabel* step : pane.instructionLabels())
        EXPECT_LE(step->parentWidget()->maximumWidth(), UnmountedDevicePane::textWidth);
    QTest::mouseClick(pane.button(), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(recorder.urls.size(), 1);
    EXPECT_EQ(recorder.urls.front(), QUrl::fromLocalFile(QDir::homePath()));
}

#include "DeviceSidebarTest.moc"
