#include "showcase/DeviceStage.h"
#include "appmodel/ReduceMotion.h"
#include "showcase/GenerationToggle.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QSignalSpy>
#include <QTest>

using Finish = StartupModel::Finish;
using Animation = StartupDeviceFlowState::Animation;

namespace {

// A named item, not a braced temporary inside push_back: there GCC 12's optimiser takes the
// empty optional for uninitialised and the release build fails.
DeviceStage::Item drawnItem(StartupSeries series, int generation, Finish finish, double scale,
                            const QString& caption, const QString& accessibleName) {
    DeviceStage::Item item{{std::nullopt, series, generation, finish}, scale, {}, {}};
    item.caption = caption;
    item.accessibleName = accessibleName;
    return item;
}

DeviceStage::Content seriesContent(int selected) {
    DeviceStage::Content c;
    c.selected = selected;
    const StartupSeries all[] = {StartupSeries::classic, StartupSeries::shuffle,
                                 StartupSeries::nano};
    for (StartupSeries s : all) {
        const int g = s.defaultGeneration();
        const StartupModel& m = s.models()[std::size_t(g)];
        c.items.push_back(drawnItem(s, g, m.finishes.front(), m.scale,
                                    int(s) == selected ? QString() : s.displayName(),
                                    s.displayName()));
    }
    c.toggleTitle = QStringLiteral("iPod classic (6th generation)");
    c.toggleAction = QStringLiteral("All 6 generations");
    c.toggleAccessibleName = c.toggleAction;
    return c;
}

DeviceStage::Content nanoGenerations(int selected) {
    DeviceStage::Content c;
    c.generationsMode = true;
    c.selected = selected;
    const auto& models = StartupSeries(StartupSeries::nano).models();
    for (int g = 0; g < int(models.size()); ++g)
        c.items.push_back(drawnItem(StartupSeries::nano, g, models[std::size_t(g)].finishes.front(),
                                    models[std::size_t(g)].scale,
                                    g == selected ? QString() : QStringLiteral("Gen %1").arg(g + 1),
                                    QStringLiteral("nano %1").arg(g + 1)));
    c.toggleTitle = QStringLiteral("4th generation · 2008");
    c.toggleAction = QStringLiteral("Collapse");
    c.toggleCollapses = true;
    c.toggleAccessibleName = QStringLiteral("Hide generations");
    return c;
}

class StageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ReduceMotion::setOverride(false);
        stage.resize(900, 360);
        stage.setContent(seriesContent(0), Animation::none);
        stage.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&stage));
    }
    void TearDown() override { ReduceMotion::setOverride(std::nullopt); }

    QPoint centreOfItem(int position) const {
        return stage.artworkRect(position).center().toPoint();
    }

    void drag(QPoint from, QPoint by) {
        QTest::mousePress(&stage, Qt::LeftButton, Qt::NoModifier, from);
        const int steps = 5;
        for (int i = 1; i <= steps; ++i)
            QTest::mouseMove(&stage, from + by * i / steps);
        QTest::mouseRelease(&stage, Qt::LeftButton, Qt::NoModifier, from + by);
    }

    DeviceStage stage;
};

} // namespace

TEST_F(StageTest, HorizontalDragsMoveAndNeverAlsoClickAnItem) {
    QSignalSpy moves(&stage, &DeviceStage::moveRequested);
    QSignalSpy clicks(&stage, &DeviceStage::itemActivated);
    const QPoint centre = centreOfItem(0);
    drag(centre, {40, 10});
    drag(centre, {-40, 0});
    drag(centre, {40, 45});  // more down than across: nothing
    drag(centre, {25, 0});   // too short to be a drag: a click on the item
    drag(centre, {-35, 35}); // a diagonal drag: nothing, and no click either
    ASSERT_EQ(moves.count(), 2);
    EXPECT_EQ(moves[0].front().toInt(), -1);
    EXPECT_EQ(moves[1].front().toInt(), 1);
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks.front().front().toInt(), 0);

    // A drag that went out and came back still is not a click.
    QTest::mousePress(&stage, Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseMove(&stage, centre + QPoint(60, 0));
    QTest::mouseRelease(&stage, Qt::LeftButton, Qt::NoModifier, centre + QPoint(2, 0));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(moves.count(), 2);
}

TEST_F(StageTest, ClicksHitTheItemDrawnOnTopAndTheToggleAsksForTheStrip) {
    QSignalSpy clicks(&stage, &DeviceStage::itemActivated);
    QSignalSpy toggles(&stage, &DeviceStage::toggleRequested);
    QTest::mouseClick(&stage, Qt::LeftButton, Qt::NoModifier, centreOfItem(1));
    QTest::mouseClick(&stage, Qt::LeftButton, Qt::NoModifier, centreOfItem(2));
    QTest::mouseClick(&stage, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    ASSERT_EQ(clicks.count(), 2);
    EXPECT_EQ(clicks[0].front().toInt(), 1);
    EXPECT_EQ(clicks[1].front().toInt(), 2);

    GenerationToggle* toggle = stage.toggle();
    EXPECT_EQ(toggle->geometry().bottom(), stage.height() - 1);
    EXPECT_NEAR(toggle->geometry().center().x(), stage.width() / 2, 1);
    QTest::mouseClick(toggle, Qt::LeftButton, Qt::NoModifier, toggle->rect().center());
    EXPECT_EQ(toggles.count(), 1);
    EXPECT_EQ(toggle->accessibleName(), QStringLiteral("All 6 generations"));
}

TEST_F(StageTest, ItemsStandWhereTheGeometrySaysAndTurnAway) {
    const DeviceStageGeometry g = stage.stageGeometry();
    EXPECT_DOUBLE_EQ(g.artworkBudget, 254);
    // Classic in the centre, shuffle on the right, nano on the left.
    EXPECT_EQ(stage.frames()[1].offset, 1);
    EXPECT_EQ(stage.frames()[2].offset, -1);
    EXPECT_LT(stage.artworkRect(2).center().x(), 450);
    EXPECT_GT(stage.artworkRect(1).center().x(), 450);
    EXPECT_NEAR(stage.artworkRect(0).height(), 254, 1e-9);
    // The turned item's outer edge stands nearer, so it is drawn taller than its inner edge.
    const QPolygonF right = stage.artworkQuad(1);
    EXPECT_GT(right[2].y() - right[1].y(), right[3].y() - right[0].y());
    ReduceMotion::setOverride(true);
    stage.setContent(seriesContent(0), Animation::none);
    const QPolygonF flat = stage.artworkQuad(1);
    EXPECT_NEAR(flat[2].y() - flat[1].y(), flat[3].y() - flat[0].y(), 1e-9);
}

TEST_F(StageTest, ASpringCarriesItemsToTheirPlaceAndCanBeRetargeted) {
    stage.setContent(seriesContent(1), Animation::spring);
    EXPECT_TRUE(stage.isAnimating());
    const double start = stage.frames()[1].shiftX;
    EXPECT_NEAR(start, 270, 1e-6); // still where it was
    stage.setContent(seriesContent(2), Animation::spring);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !stage.isAnimating(); }));
    EXPECT_NEAR(stage.frames()[2].shiftX, 0, 1e-9);
    EXPECT_NEAR(stage.frames()[0].shiftX, 270, 1e-9);
    EXPECT_NEAR(stage.frames()[0].opacity, 0.86, 1e-9);
}

TEST_F(StageTest, PaintsEveryItemFromABoundedCache) {
    stage.setContent(nanoGenerations(3), Animation::none);
    QImage frame(stage.size(), QImage::Format_ARGB32_Premultiplied);
    frame.fill(Qt::black);
    stage.render(&frame);
    EXPECT_LE(stage.cachedArtworkCount(), 7u);
    // Something is drawn at the centre item and at its neighbours.
    for (int p : {2, 3, 4}) {
        const QPoint c = stage.artworkRect(p).center().toPoint();
        EXPECT_NE(frame.pixel(c), qRgb(0, 0, 0)) << p;
    }
    for (int step = 0; step < 7; ++step)
        stage.setContent(nanoGenerations(step), Animation::none);
    stage.render(&frame);
    EXPECT_LE(stage.cachedArtworkCount(), 7u);
    stage.setContent(seriesContent(0), Animation::none);
    EXPECT_LE(stage.cachedArtworkCount(), 3u);
}

TEST_F(StageTest, AssistiveTechnologyReadsOneElementPerItem) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&stage);
    ASSERT_NE(iface, nullptr);
    ASSERT_GE(iface->childCount(), 3);
    QStringList names;
    int selected = -1;
    for (int i = 0; i < 3; ++i) {
        QAccessibleInterface* item = iface->child(i);
        ASSERT_NE(item, nullptr);
        names << item->text(QAccessible::Name);
        if (item->state().selected)
            selected = i;
        EXPECT_EQ(iface->indexOfChild(item), i);
    }
    EXPECT_EQ(names, (QStringList{QStringLiteral("iPod classic"), QStringLiteral("iPod shuffle"),
                                  QStringLiteral("iPod nano")}));
    EXPECT_EQ(selected, 0);
}
