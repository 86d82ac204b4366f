#include "CoverFlowFixture.h"

#include "coverflow/QXInvalidParameter.h"

using LayerTest = CoverFlowFixture;

TEST_F(LayerTest, EmptyRowHasNothingToShow) {
    EXPECT_THROW(QXCoverFlowLayer::layerWithLayout(nullptr), QXInvalidParameter);
    build(600, 220, 0);
    EXPECT_TRUE(flow->contentLayers().empty());
    EXPECT_TRUE(flow->visibleItemIndexes().isEmpty());
    EXPECT_EQ(flow->selectedItemFrame(), QRectF());
    EXPECT_EQ(flow->indexOfLayerAtPoint({300, 110}), QXNotFound);
}

TEST_F(LayerTest, ReloadsOnEveryCountAndOffersTheVisibleRunWidenedByTwo) {
    build(900, 220, 20, 5);
    EXPECT_EQ(flow->contentLayers().size(), 20u);
    // Items 3 to 7 are on screen at this width.
    EXPECT_EQ(flow->visibleItemIndexes(), (QXIndexRange{1, 9}));
    items.shown.clear();
    layout->setNumberOfItems(20);
    EXPECT_EQ(flow->contentLayers().size(), 20u);
    EXPECT_FALSE(items.shown.empty());

    build(600, 220, 4, 0);
    EXPECT_EQ(flow->visibleItemIndexes(), (QXIndexRange{0, 4}));
    ASSERT_GE(items.shown.size(), 4u);
    EXPECT_EQ(std::vector<QXIndex>(items.shown.end() - 4, items.shown.end()),
              (std::vector<QXIndex>{0, 1, 2, 3}));
}

TEST_F(LayerTest, ReflectionAndEyeSettings) {
    build(600, 220, 3);
    EXPECT_FALSE(flow->showsReflection());
    flow->setShowsReflection(true);
    EXPECT_TRUE(flow->showsReflection());
    EXPECT_DOUBLE_EQ(flow->reflectionOffset(), -0.4);
    flow->setReflectionOffset(0.3);
    EXPECT_EQ(flow->reflectionOffset(), 0);
    flow->setReflectionOffset(-2);
    EXPECT_EQ(flow->reflectionOffset(), -1);
    flow->setReflectionOffset(NAN);
    EXPECT_EQ(flow->reflectionOffset(), 0);
    EXPECT_DOUBLE_EQ(flow->transformLayer().sublayerTransform().m[2][3], -1.0 / 1500);
}

TEST_F(LayerTest, HitTestsFindEachItemUnderItsProjectedCentre) {
    build(900, 220, 12, 5);
    flow->setShowsReflection(true);
    const QXIndexRange visible = flow->visibleItemIndexes();
    int checked = 0;
    for (QXIndex i = visible.first(); i <= visible.last(); ++i) {
        const QPointF centre = projectedCentre(i);
        if (!flow->bounds().contains(centre))
            continue;
        EXPECT_EQ(flow->indexOfLayerAtPoint(centre), i) << "item " << i;
        ++checked;
    }
    EXPECT_EQ(checked, 5);
    // The reflection under the selected cover and the empty top band are not items.
    EXPECT_EQ(flow->indexOfLayerAtPoint({450, 5}), QXNotFound);
    EXPECT_EQ(flow->indexOfLayerAtPoint({5, 215}), QXNotFound);
    EXPECT_EQ(flow->selectedItemFrame(), QRectF(350, 10, 200, 200));
}

TEST_F(LayerTest, OverlappingStacksHitWhatIsPaintedOnTop) {
    build(600, 220, 9, 4);
    layout->setInterItemSpacing(1);
    host->layoutIfNeeded();
    settle();
    // With covers overlapping, the nearer (inner) one of two neighbours is on top.
    const QPointF between = (projectedCentre(5) + projectedCentre(6)) / 2;
    EXPECT_EQ(flow->indexOfLayerAtPoint(between), 5u);
    const QPointF leftBetween = (projectedCentre(3) + projectedCentre(2)) / 2;
    EXPECT_EQ(flow->indexOfLayerAtPoint(leftBetween), 3u);
}

TEST_F(LayerTest, SelectionChangesAnimateWithTheEaseOutCurve) {
    build(600, 220, 10, 3);
    const auto& item = flow->contentLayers()[4];
    const double before = item->presentationGeometry().position.x();
    EXPECT_FALSE(item->hasAnimations()) << "new layers take their first place without flying in";
    const int relayouts = items.didRelayout;

    layout->setSelectedItemIndex(4);
    host->layoutIfNeeded();
    const double after = item->position().x();
    EXPECT_EQ(item->presentationGeometry().position.x(), before);
    EXPECT_TRUE(item->hasAnimations());

    now += 0.2;
    const double halfway = item->presentationGeometry().position.x();
    // Ease-out covers more than half of the way in the first half of the time.
    EXPECT_GT((halfway - before) / (after - before), 0.6);
    EXPECT_LT((halfway - before) / (after - before), 0.95);
    EXPECT_FALSE(item->presentationGeometry().transform.isIdentity());
    QXTransaction::processCompletions();
    EXPECT_EQ(items.didRelayout, relayouts);

    now += 0.2;
    EXPECT_EQ(item->presentationGeometry().position.x(), after);
    EXPECT_TRUE(item->presentationGeometry().transform.isIdentity());
    QXTransaction::processCompletions();
    EXPECT_EQ(items.didRelayout, relayouts + 1);
}

TEST_F(LayerTest, LiveResizeMovesWithoutAnimationAndRelaysOutAtItsEnd) {
    build(600, 220, 10, 3);
    flow->setInLiveResize(true);
    layout->setSelectedItemIndex(6);
    host->layoutIfNeeded();
    for (const auto& layer : flow->contentLayers())
        EXPECT_FALSE(layer->hasAnimations());
    const int passes = items.willRelayout;
    flow->setInLiveResize(false);
    EXPECT_TRUE(flow->needsLayout());
    host->layoutIfNeeded();
    EXPECT_EQ(items.willRelayout, passes + 1);
}

TEST_F(LayerTest, ResizingTheHostRelaysOutToTheNewSize) {
    build(600, 220, 10, 3);
    flow->setFrame({0, 0, 800, 300});
    host->layoutIfNeeded();
    EXPECT_EQ(layout->visibleSize(), QSizeF(800, 300));
    EXPECT_EQ(flow->replicatorLayer().bounds().size(), QSizeF(800, 300));
    EXPECT_EQ(flow->selectedItemFrame().size(), QSizeF(280, 280));
}

TEST(LayerUtilitiesTest, ActionsAndBoundingRect) {
    auto layer = QXLayer::create();
    layer->qx_disableImplicitAnimationForKey(QStringLiteral("opacity"));
    layer->qx_disableImplicitAnimationForKey(QStringLiteral("position"));
    layer->qx_enableImplicitAnimationForKey(QStringLiteral("position"));
    EXPECT_FALSE(layer->actions().contains(QStringLiteral("position")));
    EXPECT_TRUE(layer->actions().contains(QStringLiteral("opacity")));
    layer->qx_disableImplicitPositionAndBoundsAnimations();
    EXPECT_TRUE(layer->isActionDisabled(QStringLiteral("bounds")));
    layer->qx_enableImplicitPositionAndBoundsAnimations();
    EXPECT_FALSE(layer->isActionDisabled(QStringLiteral("bounds")));

    layer->setAnchorPoint({0, 0});
    layer->setFrame({0, 0, 10, 10});
    auto child = QXLayer::create();
    child->setAnchorPoint({0, 0});
    child->setFrame({50, 5, 10, 10});
    layer->addSublayer(child);
    // Taken as reported: the child's frame is not moved into the parent's superlayer.
    EXPECT_EQ(layer->qx_boundingRect(), QRectF(0, 0, 60, 15));
}

TEST(LayerUtilitiesTest, ConstraintsPlaceSublayers) {
    auto parent = QXLayer::create();
    parent->setAnchorPoint({0, 0});
    parent->setBounds({0, 0, 400, 300});
    parent->setUsesConstraintLayout(true);
    auto title = QXLayer::create();
    title->setName(QStringLiteral("title"));
    title->setFrame({0, 0, 100, 20});
    title->setConstraints(
        {{QXConstraint::minY, QStringLiteral("superlayer"), QXConstraint::minY, 1, 50},
         {QXConstraint::midX, QStringLiteral("superlayer"), QXConstraint::midX, 1, 0}});
    auto box = QXLayer::create();
    box->setConstraints(
        {{QXConstraint::width, QStringLiteral("superlayer"), QXConstraint::width, 0.5, 0},
         {QXConstraint::minY, QStringLiteral("title"), QXConstraint::maxY, 1, 0}});
    parent->addSublayer(title);
    parent->addSublayer(box);
    parent->layoutIfNeeded();
    EXPECT_EQ(title->frame(), QRectF(150, 50, 100, 20));
    EXPECT_EQ(box->frame().top(), 70);
    EXPECT_EQ(box->frame().width(), 200);
}
