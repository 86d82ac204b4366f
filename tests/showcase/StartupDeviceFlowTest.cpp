#include "showcase/StartupDeviceFlow.h"
#include "appmodel/ReduceMotion.h"
#include "platform/Settings.h"
#include "showcase/BrowserLink.h"
#include "showcase/CapsuleChip.h"
#include "showcase/CompactNumberFormat.h"
#include "showcase/DeviceShareButton.h"
#include "showcase/DeviceStage.h"
#include "showcase/GenerationStrip.h"
#include "showcase/GenerationToggle.h"
#include "showcase/SeriesPillBar.h"
#include "showcase/ShowcaseHeader.h"
#include "showcase/ShowcaseToolbar.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using Finish = StartupModel::Finish;

namespace {

class FlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ReduceMotion::setOverride(true);
        Settings::shared().remove(Settings::Keys::shuffle2Finish);
        flow = std::make_unique<StartupDeviceFlow>(StartupSeries::classic);
        flow->resize(940, 700);
        flow->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(flow.get()));
    }
    void TearDown() override {
        flow.reset();
        Settings::shared().remove(Settings::Keys::shuffle2Finish);
        ReduceMotion::setOverride(std::nullopt);
    }

    QString chip(CapsuleChip* c) const { return c->text(); }

    std::unique_ptr<StartupDeviceFlow> flow;
};

} // namespace

TEST_F(FlowTest, ArrowsMoveEvenWhileAButtonInsideHasTheFocus) {
    QSignalSpy series(flow.get(), &StartupDeviceFlow::seriesChanged);
    flow->setFocus();
    QTest::keyClick(flow.get(), Qt::Key_Right);
    EXPECT_EQ(flow->series(), StartupSeries::shuffle);
    QTest::keyClick(flow.get(), Qt::Key_Down);
    EXPECT_TRUE(flow->state().showsGenerations());
    EXPECT_TRUE(flow->stripSlot()->isVisible());

    GenerationPill* pill = flow->generationStrip()->pills().front();
    pill->setFocus();
    QTest::keyClick(pill, Qt::Key_Left);
    EXPECT_EQ(flow->state().generationIndex(StartupSeries::shuffle), 2);
    QTest::keyClick(pill, Qt::Key_Up);
    EXPECT_FALSE(flow->state().showsGenerations());
    EXPECT_FALSE(flow->stripSlot()->isVisible());
    QTest::keyClick(pill, Qt::Key_Left);
    EXPECT_EQ(flow->series(), StartupSeries::classic);
    ASSERT_EQ(series.count(), 2);
}

TEST_F(FlowTest, TheStageShowsSeriesOrGenerationsWithTheirCaptionsAndToggle) {
    const DeviceStage::Content& series = flow->stage()->content();
    ASSERT_EQ(series.items.size(), 3u);
    EXPECT_TRUE(series.items[0].caption.isEmpty());
    EXPECT_EQ(series.items[1].caption, QStringLiteral("iPod shuffle (4th generation)"));
    EXPECT_EQ(series.items[2].caption, QStringLiteral("iPod nano (4th generation)"));
    EXPECT_EQ(flow->stage()->toggle()->title(), QStringLiteral("iPod classic (6th generation)"));
    EXPECT_EQ(flow->stage()->toggle()->action(), QStringLiteral("All 6 generations"));

    flow->state().setSeries(StartupSeries::nano);
    flow->state().toggleGenerations(true);
    const DeviceStage::Content& generations = flow->stage()->content();
    ASSERT_EQ(generations.items.size(), 7u);
    EXPECT_EQ(generations.items[4].caption, QStringLiteral("Gen 5 · 2009"));
    EXPECT_EQ(generations.items[4].accessibleName, QStringLiteral("iPod nano (5th generation)"));
    EXPECT_EQ(generations.items[4].artwork.finish, Finish::blue);
    EXPECT_EQ(flow->stage()->toggle()->title(), QStringLiteral("4th generation · 2008"));
    EXPECT_EQ(flow->stage()->toggle()->action(), QStringLiteral("Collapse"));
    EXPECT_EQ(flow->stage()->toggle()->accessibleName(), QStringLiteral("Hide generations"));

    // A click on a side item selects its generation; the toggle collapses the strip.
    QTest::mouseClick(flow->stage(), Qt::LeftButton, Qt::NoModifier,
                      flow->stage()->artworkRect(4).center().toPoint());
    EXPECT_EQ(flow->state().generationIndex(StartupSeries::nano), 4);
    GenerationToggle* toggle = flow->stage()->toggle();
    QTest::mouseClick(toggle, Qt::LeftButton, Qt::NoModifier, toggle->rect().center());
    EXPECT_FALSE(flow->state().showsGenerations());
}

TEST_F(FlowTest, TheHeaderDescribesTheModelOnShow) {
    ShowcaseHeader* header = flow->header();
    ModelDetails* details = header->details();
    EXPECT_EQ(
        chip(details->modelChip()),
        QStringLiteral("iPod classic (6th generation) ·  2007  ·  80 / 120 / 160 GB · Silver"));
    EXPECT_EQ(chip(details->factsChip()),
              QStringLiteral("Discontinued: 2014 · Report estimate: 55M units"));
    ASSERT_EQ(details->swatchButtons().size(), 2);
    EXPECT_TRUE(details->swatchButtons()[0]->isSelected());
    EXPECT_FALSE(details->swatchButtons()[1]->isSelected());
    EXPECT_EQ(header->supportLabel()->text(),
              QStringLiteral("Connect via USB to browse the library."));

    QTest::mouseClick(details->swatchButtons()[1], Qt::LeftButton);
    EXPECT_EQ(chip(details->modelChip()).right(5), QStringLiteral("Black"));
    EXPECT_TRUE(details->swatchButtons()[1]->isSelected());
    // A second click on the chosen swatch keeps it chosen.
    QTest::mouseClick(details->swatchButtons()[1], Qt::LeftButton);
    EXPECT_TRUE(details->swatchButtons()[1]->isChecked());
    EXPECT_FALSE(details->swatchButtons()[0]->isChecked());
    EXPECT_EQ(flow->stage()->content().items[0].artwork.finish, Finish::black);

    flow->state().toggleGenerations(true);
    flow->state().selectGeneration(4);
    EXPECT_TRUE(chip(details->modelChip()).contains(QStringLiteral("·  iPod Video")));
    flow->state().selectGeneration(1);
    EXPECT_EQ(chip(details->factsChip()), QStringLiteral("Discontinued: 2003"));
    EXPECT_FALSE(details->swatches()->isVisible());
    EXPECT_EQ(header->supportLabel()->text(), QStringLiteral("Not yet supported"));

    // The data-source link goes to the browser through the one place links are opened.
    QList<QUrl> opened;
    BrowserLink::setOpener([&](const QUrl& url) {
        opened << url;
        return true;
    });
    Q_EMIT header->linkLabel()->linkActivated(QStringLiteral("ignored"));
    BrowserLink::setOpener({});
    EXPECT_EQ(opened, QList<QUrl>{BrowserLink::dataSourcePage()});
}

TEST_F(FlowTest, TheChipsFallIntoLinesWhenTheWidthRunsShort) {
    ModelDetails* details = flow->header()->details();
    const int wide = details->sizeHint().width();
    EXPECT_EQ(details->arrangement(wide), ModelDetails::Arrangement::oneRow);
    EXPECT_EQ(details->arrangement(wide - 20), ModelDetails::Arrangement::factsBelow);
    EXPECT_EQ(details->arrangement(details->modelChip()->sizeHint().width() + 10),
              ModelDetails::Arrangement::stacked);
    EXPECT_GT(details->heightForWidth(200), details->heightForWidth(wide - 20));
    EXPECT_GT(details->heightForWidth(wide - 20), details->heightForWidth(wide));
    // Chips are never cut: they keep their full width in every arrangement.
    flow->resize(420, 700);
    TestSupport::drainEvents();
    EXPECT_EQ(details->modelChip()->width(), details->modelChip()->sizeHint().width());
    EXPECT_EQ(details->factsChip()->width(), details->factsChip()->sizeHint().width());
}

TEST_F(FlowTest, HoveringAPillShowsThatSeriesFactsWithoutMovingAnything) {
    const QRect stage = flow->stage()->geometry();
    SeriesPill* shuffle = flow->seriesBar()->pills()[1];
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), shuffle->mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(shuffle, &enter);
    ASSERT_TRUE(flow->hoverChip()->isVisible());
    EXPECT_EQ(chip(flow->hoverChip()),
              QStringLiteral("iPod shuffle · 4 generations · First sold Jan 2005 · Discontinued "
                             "2017 · Estimated sales: 28–34M"));
    EXPECT_EQ(flow->series(), StartupSeries::classic);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(shuffle, &leave);
    EXPECT_FALSE(flow->hoverChip()->isVisible());
    TestSupport::drainEvents();
    EXPECT_EQ(flow->stage()->geometry(), stage);
}

TEST_F(FlowTest, TheStripListsTheSeriesGenerationsAndScrollsToTheSelectedOneWhenNarrow) {
    flow->state().setSeries(StartupSeries::nano);
    flow->state().toggleGenerations(true);
    GenerationStrip* strip = flow->generationStrip();
    ASSERT_EQ(strip->pills().size(), 7);
    EXPECT_EQ(strip->pills()[0]->ordinal(), QStringLiteral("1st generation"));
    EXPECT_EQ(strip->pills()[6]->year(), QStringLiteral("2012"));
    int lit = 0;
    for (GenerationPill* pill : strip->pills())
        lit += pill->isSelected();
    EXPECT_EQ(lit, 1);
    EXPECT_TRUE(strip->pills()[3]->isSelected());
    EXPECT_LE(strip->width(), GenerationStrip::widthLimit);
    EXPECT_TRUE(strip->scrolls());
    flow->state().selectGeneration(6);
    TestSupport::drainEvents();
    // The last pill is in view.
    const QRect last = strip->pills()[6]->geometry().translated(
        -strip->scrollArea()->horizontalScrollBar()->value(), 0);
    EXPECT_LE(last.right(), strip->width());
    QTest::mouseClick(strip->pills()[0], Qt::LeftButton);
    EXPECT_EQ(flow->state().generationIndex(StartupSeries::nano), 0);

    flow->state().setSeries(StartupSeries::shuffle);
    EXPECT_EQ(strip->pills().size(), 4);
    TestSupport::drainEvents();
    EXPECT_FALSE(strip->scrolls());
}

TEST_F(FlowTest, TheToolbarNamesTheLineUpAndSharesTheModelOnShow) {
    ShowcaseToolbar* toolbar = flow->toolbar();
    EXPECT_EQ(toolbar->titleLabel()->text(), QStringLiteral("Device Setup"));
    EXPECT_EQ(chip(toolbar->badge()), QStringLiteral("iPod classic Lineup (6 generations)"));
    flow->state().setSeries(StartupSeries::nano);
    EXPECT_EQ(chip(toolbar->badge()), QStringLiteral("iPod nano Lineup (7 generations)"));
    flow->state().selectFinish(Finish::green);
    const DeviceShareButton::Content& share = toolbar->shareButton()->content();
    EXPECT_EQ(share.title, QStringLiteral("iPod nano (4th generation)"));
    ASSERT_TRUE(share.years);
    EXPECT_EQ(share.years->first, 2008);
    EXPECT_EQ(share.years->last, 2009);
    EXPECT_EQ(share.capacities, (QStringList{QStringLiteral("8 GB"), QStringLiteral("16 GB")}));
    EXPECT_EQ(share.finish, QStringLiteral("Green"));
    ASSERT_TRUE(share.rearArtwork);
    EXPECT_TRUE(share.rearArtwork->showsRear);
    EXPECT_EQ(share.rearArtwork->finish, Finish::green);
    const auto front = share.artwork();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->finish, Finish::green);
    EXPECT_EQ(front->generation, 3);

    // The help popup follows the state both ways.
    QTest::mouseClick(toolbar->helpButton(), Qt::LeftButton);
    EXPECT_TRUE(flow->state().showsConnectionHelp());
    ASSERT_TRUE(toolbar->helpPopup());
    EXPECT_TRUE(toolbar->helpPopup()->isVisible());
    toolbar->helpPopup()->close();
    EXPECT_FALSE(flow->state().showsConnectionHelp());
}

TEST(SupportStatus, EveryModelOfTheCatalogue) {
    const QString notYet = QStringLiteral("Not yet supported");
    const QString soon = QStringLiteral("Support is in development. Stay tuned.");
    const QString browse = QStringLiteral("Connect via USB to browse the library.");
    const QString shuffle =
        QStringLiteral("Connect a supported iPod shuffle via USB, then drag songs into the track "
                       "list.");
    const QString nano = QStringLiteral(
        "Connect a supported iPod nano via USB, then drag songs into the track list.");
    const std::vector<std::pair<StartupSeries, std::vector<QString>>> table = {
        {StartupSeries::classic, {soon, notYet, notYet, notYet, soon, browse}},
        {StartupSeries::shuffle, {shuffle, shuffle, shuffle, shuffle}},
        {StartupSeries::nano, {nano, nano, soon, nano, soon, soon, soon}},
    };
    for (const auto& [series, rows] : table)
        for (int g = 0; g < int(rows.size()); ++g)
            EXPECT_EQ(ShowcaseHeader::supportStatus(series, g, AppLanguage::english),
                      rows[std::size_t(g)])
                << series.displayName().toStdString() << " " << g;
}

TEST(CompactNumbers, SalesFiguresInEnglishAndChinese) {
    const std::vector<std::tuple<qint64, const char*, const char*>> cases = {
        {25'000'000, "25M", "2500万"},
        {55'000'000, "55M", "5500万"},
        {4'500'000, "4.5M", "450万"},
        {5'500'000, "5.5M", "550万"},
        {11'000'000, "11M", "1100万"},
        {16'000'000, "16M", "1600万"},
        {123'456'789, "123M", "1.2亿"},
        {999'950, "1M", "100万"},
        {1'234, "1.2K", "1234"},
        {999, "999", "999"},
        {0, "0", "0"},
        {1'500'000'000, "1.5B", "15亿"},
    };
    for (const auto& [value, english, chinese] : cases) {
        EXPECT_EQ(CompactNumberFormat::format(value, AppLanguage::english),
                  QString::fromUtf8(english))
            << value;
        EXPECT_EQ(CompactNumberFormat::format(value, AppLanguage::simplifiedChinese),
                  QString::fromUtf8(chinese))
            << value;
    }
    // Every estimate of the catalogue has a short form.
    for (StartupSeries s : StartupSeries::allCases()) {
        for (const StartupModel& m : s.models()) {
            if (m.sales && m.sales->isEstimate()) {
                EXPECT_TRUE(
                    CompactNumberFormat::format(m.sales->estimatedUnits(), AppLanguage::english)
                        .endsWith(u'M'));
            }
        }
    }
}

TEST(ShowcaseHeaderTexts, ChineseUsesItsOwnCompactFormAndTexts) {
    const StartupModel& classic6 = StartupSeries(StartupSeries::classic).models()[5];
    QStringList texts;
    for (const CapsuleChip::Run& run :
         ShowcaseHeader::factsRuns(classic6, AppLanguage::simplifiedChinese))
        texts << run.text;
    EXPECT_EQ(texts, (QStringList{QStringLiteral("停产：2014"), QStringLiteral("·"),
                                  QStringLiteral("报道估计：5500万台")}));
}
