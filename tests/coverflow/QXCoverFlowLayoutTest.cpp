#include "coverflow/QXCoverFlowLayout.h"
#include "coverflow/QXLayer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

struct Ratios : QXCoverFlowLayoutDelegate {
    double ratio = 1;
    double aspectRatioForItem(const QXCoverFlowLayout&, QXIndex) override { return ratio; }
};

} // namespace

TEST(QXCoverFlowLayoutTest, WorkedExampleComesOutToItsNumbers) {
    QXCoverFlowLayout layout(QSizeF(600, 220));
    layout.setInterItemSpacing(50);
    layout.setNumberOfItems(10);
    layout.setSelectedItemIndex(3);
    EXPECT_EQ(layout.itemSize(), QSizeF(200, 200));
    EXPECT_NEAR(layout.originForItem(3).x(), 200, 1e-9);
    EXPECT_NEAR(layout.originForItem(4).x(), 518.404, 1e-3);
    EXPECT_NEAR(layout.originForItem(5).x(), 636.808, 1e-3);
    EXPECT_NEAR(layout.originForItem(2).x(), -118.404, 1e-3);
    for (QXIndex i : {2, 3, 4, 5})
        EXPECT_DOUBLE_EQ(layout.originForItem(i).y(), 10);
    EXPECT_NEAR(layout.contentSize().width(), 1665.636, 1e-3);
    EXPECT_DOUBLE_EQ(layout.contentSize().height(), 200);
    layout.setSelectedItemIndex(0);
    EXPECT_NEAR(layout.contentSize().width(), 1465.636, 1e-3);
    layout.setSelectedItemIndex(9);
    EXPECT_NEAR(layout.contentSize().width(), 1465.636, 1e-3);
}

TEST(QXCoverFlowLayoutTest, SettersClampOrIgnoreOutOfRangeValues) {
    QXCoverFlowLayout layout;
    EXPECT_EQ(layout.visibleSize(), QSizeF(100, 100));
    layout.setStackedAngle(120);
    EXPECT_EQ(layout.stackedAngle(), 90);
    layout.setStackedAngle(-5);
    EXPECT_EQ(layout.stackedAngle(), 0);
    layout.setStackedAngle(NAN);
    EXPECT_EQ(layout.stackedAngle(), 0);
    layout.setInterItemSpacing(0.5);
    layout.setInterItemSpacing(NAN);
    EXPECT_EQ(layout.interItemSpacing(), 10);
    layout.setStackedDistance(-1);
    EXPECT_EQ(layout.stackedDistance(), 300);
    layout.setVerticalMargin(500);
    EXPECT_EQ(layout.verticalMargin(), 100);
    layout.setVerticalMargin(-3);
    EXPECT_EQ(layout.verticalMargin(), 0);
    layout.setVisibleSize(QSizeF(0, 0));
    EXPECT_EQ(layout.visibleSize(), QSizeF(1, 1));
    layout.setVisibleSize(QSizeF(NAN, -4));
    EXPECT_EQ(layout.visibleSize(), QSizeF(1, 1));
}

TEST(QXCoverFlowLayoutTest, TinyViewsGiveAnEmptyItemNotANegativeOne) {
    QXCoverFlowLayout layout(QSizeF(300, 30));
    layout.setVerticalMargin(25);
    EXPECT_EQ(layout.itemSize(), QSizeF(0, 0));
    layout.setNumberOfItems(3);
    for (QXIndex i = 0; i < 3; ++i) {
        EXPECT_GE(layout.sizeForItem(i).width(), 0);
        EXPECT_TRUE(std::isfinite(layout.originForItem(i).x()));
    }
}

TEST(QXCoverFlowLayoutTest, SelectionFollowsTheCount) {
    QXCoverFlowLayout layout;
    EXPECT_EQ(layout.selectedItemIndex(), QXNotFound);
    layout.setSelectedItemIndex(2);
    EXPECT_EQ(layout.selectedItemIndex(), QXNotFound);
    layout.setNumberOfItems(5);
    EXPECT_EQ(layout.selectedItemIndex(), 0);
    layout.setSelectedItemIndex(12);
    EXPECT_EQ(layout.selectedItemIndex(), 4);
    layout.setSelectedItemIndex(QXNotFound);
    EXPECT_EQ(layout.selectedItemIndex(), 4);
    // A shrinking count keeps the old selection for the owner to replace.
    layout.setNumberOfItems(2);
    EXPECT_EQ(layout.selectedItemIndex(), 4);
    layout.setNumberOfItems(QXNotFound);
    EXPECT_EQ(layout.numberOfItems(), 2);
    layout.setNumberOfItems(0);
    EXPECT_EQ(layout.selectedItemIndex(), QXNotFound);
    EXPECT_EQ(layout.contentSize(), QSizeF(0, 0));
    EXPECT_FALSE(layout.layoutAttributesForItemAtIndex(0));
}

TEST(QXCoverFlowLayoutTest, ItemsTakeTheirAspectWithinTheSquare) {
    QXCoverFlowLayout layout(QSizeF(400, 220));
    layout.setNumberOfItems(3);
    EXPECT_EQ(layout.sizeForItem(0), QSizeF(200, 200));
    Ratios ratios;
    layout.setDelegate(&ratios);
    ratios.ratio = 2;
    EXPECT_EQ(layout.sizeForItem(0), QSizeF(200, 100));
    ratios.ratio = 0.5;
    EXPECT_EQ(layout.sizeForItem(0), QSizeF(100, 200));
    ratios.ratio = NAN;
    EXPECT_EQ(layout.sizeForItem(0), QSizeF(200, 200));
    layout.setDelegate(nullptr);
    EXPECT_EQ(layout.contentSize(),
              QSizeF(2 * 200 + 2 * (200 * std::cos(70 * std::numbers::pi / 180) + 10), 200));
}

TEST(QXCoverFlowLayoutTest, SideItemsTurnTowardsTheCentreAndStepBack) {
    QXCoverFlowLayout layout(QSizeF(600, 220));
    layout.setNumberOfItems(5);
    layout.setSelectedItemIndex(2);
    EXPECT_TRUE(layout.transformForItem(2).isIdentity());
    const QXTransform3D left = layout.transformForItem(1);
    const QXTransform3D expected = QXTransform3D::makeRotation(70 * std::numbers::pi / 180, 0, 1, 0)
                                       .then(QXTransform3D::makeTranslation(0, 0, -300));
    EXPECT_EQ(left, expected);
    // The right edge of a left item goes back, the left edge of a right item too.
    EXPECT_LT(left.map({100, 0, 0, 1}).z, -300);
    EXPECT_LT(layout.transformForItem(3).map({-100, 0, 0, 1}).z, -300);
}

TEST(QXCoverFlowLayoutTest, AttributesApplyToALayerAndCompareByValue) {
    QXCoverFlowLayout layout(QSizeF(600, 220));
    layout.setNumberOfItems(4);
    layout.setSelectedItemIndex(1);
    const auto a = *layout.layoutAttributesForItemAtIndex(1);
    EXPECT_EQ(a.anchorPoint(), QPointF(0.5, 0));
    auto layer = QXLayer::create();
    a.applyToLayer(*layer);
    EXPECT_EQ(layer->value(QXCoverFlowLayerIndexKey).toULongLong(), 1u);
    EXPECT_EQ(layer->frame(), layout.itemFrameForItem(1));
    EXPECT_EQ(layer->position(), QPointF(300, 10));

    const auto same = *layout.layoutAttributesForItemAtIndex(1);
    EXPECT_EQ(a, same);
    EXPECT_EQ(a.hash(), same.hash());
    EXPECT_FALSE(a == *layout.layoutAttributesForItemAtIndex(2));
    // Negative and huge values hash without undefined conversions.
    const QXCoverFlowLayoutAttributes odd(7, QPointF(-5, 1e30), QSizeF(-1, NAN), QPointF(0, 0), {},
                                          -3);
    EXPECT_EQ(odd.hash(), odd.hash());
    EXPECT_TRUE(a.description().startsWith(QStringLiteral("QXCoverFlowLayoutAttributes: 0x")));
    EXPECT_TRUE(a.description().contains(QStringLiteral("index: 1,")));
}

TEST(QXCoverFlowLayoutTest, ArchiveRoundTripsTheStoredValues) {
    QXCoverFlowLayout layout(QSizeF(640, 240));
    layout.setInterItemSpacing(33);
    layout.setStackedAngle(45);
    layout.setNumberOfItems(9);
    layout.setSelectedItemIndex(6);
    layout.setStackedDistance(120);
    layout.setVerticalMargin(12);
    QXCoverFlowLayout copy;
    copy.fromVariantMap(layout.toVariantMap());
    EXPECT_EQ(copy.visibleSize(), QSizeF(640, 240));
    EXPECT_EQ(copy.interItemSpacing(), 33);
    EXPECT_EQ(copy.stackedAngle(), 45);
    EXPECT_EQ(copy.numberOfItems(), 9u);
    EXPECT_EQ(copy.selectedItemIndex(), 6u);
    EXPECT_EQ(copy.stackedDistance(), 120);
    EXPECT_EQ(copy.verticalMargin(), 12);
    EXPECT_EQ(layout.toVariantMap().size(), 7);
}
