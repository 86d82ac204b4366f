// A pass that places only the items near the view must leave the row exactly as a pass over
// every item does: same places, same animations under way, same picture, same offers.

#include "CoverFlowFixture.h"

#include "coverflow/QXCoverFlowLayout.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <random>

namespace {

struct MixedRatios : QXCoverFlowLayoutDelegate {
    double aspectRatioForItem(const QXCoverFlowLayout&, QXIndex index) override {
        return 0.6 + double(index % 5) * 0.25;
    }
};

struct Row {
    std::shared_ptr<QXCoverFlowLayout> layout = std::make_shared<QXCoverFlowLayout>();
    std::shared_ptr<QXLayer> host = QXLayer::create();
    std::shared_ptr<QXCoverFlowLayer> flow;
    SolidItems items;
    MixedRatios ratios;

    Row(bool everyItem, double width, double height, QXIndex count) {
        layout->setInterItemSpacing(50);
        layout->setDelegate(&ratios);
        host->setAnchorPoint({0, 0});
        host->setBounds({0, 0, width, height});
        host->setBackgroundColor(Qt::black);
        flow = QXCoverFlowLayer::layerWithLayout(layout);
        flow->setPlacesEveryItem(everyItem);
        flow->setDataSource(&items);
        flow->setShowsReflection(true);
        flow->setReflectionOffset(-0.46);
        host->addSublayer(flow);
        flow->setFrame({0, 0, width, height});
        layout->setNumberOfItems(count);
        host->layoutIfNeeded();
    }
    ~Row() {
        flow->setDataSource(nullptr);
        layout->setDelegate(nullptr);
    }
    QImage render() {
        const QRectF b = host->bounds();
        QImage image(int(b.width()), int(b.height()), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        host->render(painter, b.height());
        return image;
    }
};

void expectSameGeometry(const QXLayer::Geometry& a, const QXLayer::Geometry& b, QXIndex index,
                        const char* what) {
    SCOPED_TRACE(testing::Message() << what << " of item " << index);
    EXPECT_EQ(a.bounds.x(), b.bounds.x());
    EXPECT_EQ(a.bounds.width(), b.bounds.width());
    EXPECT_EQ(a.bounds.height(), b.bounds.height());
    EXPECT_EQ(a.position.x(), b.position.x());
    EXPECT_EQ(a.position.y(), b.position.y());
    EXPECT_EQ(a.anchorPoint, b.anchorPoint);
    EXPECT_EQ(a.zPosition, b.zPosition);
    EXPECT_TRUE(a.transform == b.transform);
}

class IncrementalTest : public ::testing::Test {
protected:
    double now = 100;
    void SetUp() override {
        QXTransaction::setClock([this] { return now; });
    }
    void TearDown() override { QXTransaction::setClock({}); }

    static void expectSameItems(Row& some, Row& every) {
        // contentLayers() brings every item up to date: this is what any reader sees.
        const auto& a = some.flow->contentLayers();
        const auto& b = every.flow->contentLayers();
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t i = 0; i < a.size(); ++i) {
            expectSameGeometry(a[i]->modelGeometry(), b[i]->modelGeometry(), i, "model");
            expectSameGeometry(a[i]->presentationGeometry(), b[i]->presentationGeometry(), i,
                               "on screen");
            EXPECT_EQ(a[i]->hasAnimations(), b[i]->hasAnimations()) << "item " << i;
            EXPECT_EQ(a[i]->value(QXCoverFlowLayerIndexKey), b[i]->value(QXCoverFlowLayerIndexKey));
        }
    }
};

} // namespace

TEST_F(IncrementalTest, RandomStepSequencesMatchTheWalkOverEveryItem) {
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        std::mt19937 random(seed);
        auto uniform = [&](int lo, int hi) {
            return std::uniform_int_distribution<>(lo, hi)(random);
        };
        const QXIndex count = 300;
        Row some(false, 500, 160, count);
        Row every(true, 500, 160, count);
        auto both = [&](auto&& change) {
            change(some);
            change(every);
        };
        for (int op = 0; op < 120; ++op) {
            const int kind = uniform(0, 99);
            const QXIndex k = some.layout->selectedItemIndex();
            if (kind < 55) {
                // The arrow keys and the wheel: one or a few items either way.
                const int delta = uniform(-3, 3);
                const QXIndex target =
                    QXIndex(std::clamp<long long>((long long)(k) + delta, 0, count - 1));
                both([&](Row& r) { r.layout->setSelectedItemIndex(target); });
            } else if (kind < 63) {
                // The scroll bar or a click far away: a jump across the row.
                const QXIndex target = QXIndex(uniform(0, int(count) - 1));
                both([&](Row& r) { r.layout->setSelectedItemIndex(target); });
            } else if (kind < 66) {
                const double spacing = uniform(0, 1) ? 50 : 20;
                both([&](Row& r) { r.layout->setInterItemSpacing(spacing); });
            } else if (kind < 69) {
                const double width = uniform(0, 1) ? 500 : 430;
                both([&](Row& r) {
                    r.host->setBounds({0, 0, width, 160});
                    r.flow->setFrame({0, 0, width, 160});
                });
            } else if (kind < 71) {
                const bool live = !some.flow->inLiveResize();
                both([&](Row& r) { r.flow->setInLiveResize(live); });
            } else if (kind < 73) {
                const double angle = uniform(0, 1) ? 70 : 60;
                both([&](Row& r) { r.layout->setStackedAngle(angle); });
            }
            // Time moves on by anything from nothing to past the end of the animations.
            now += std::uniform_real_distribution<>(0, 0.5)(random);
            both([](Row& r) { r.host->layoutIfNeeded(); });
            QXTransaction::processCompletions();

            SCOPED_TRACE(testing::Message() << "step " << op);
            ASSERT_EQ(some.flow->visibleItemIndexes(), every.flow->visibleItemIndexes());
            ASSERT_EQ(some.items.shown, every.items.shown);
            ASSERT_EQ(some.items.willRelayout, every.items.willRelayout);
            ASSERT_EQ(some.items.didRelayout, every.items.didRelayout);
            // Painted first, before anything else brings the skipped items up to date.
            ASSERT_EQ(some.render(), every.render());
            if (op % 9 == 8) {
                const QPointF probe(uniform(0, 500), uniform(0, 160));
                ASSERT_EQ(some.flow->indexOfLayerAtPoint(probe),
                          every.flow->indexOfLayerAtPoint(probe));
                expectSameItems(some, every);
                if (HasFailure())
                    return;
            }
        }
        expectSameItems(some, every);
        now += 1;
        QXTransaction::processCompletions();
        ASSERT_EQ(some.items.didRelayout, every.items.didRelayout);
    }
}

TEST_F(IncrementalTest, AStepAtRestPlacesOnlyTheItemsNearTheView) {
    const QXIndex count = 5000;
    Row row(false, 1160, 280, count);
    row.layout->setSelectedItemIndex(2500);
    row.host->layoutIfNeeded();
    // The jump sends the covers in between across the view, so they all stay live for now.
    EXPECT_GT(row.flow->liveItemRange().length, 2000u);
    now += 1;
    for (QXIndex k : {2501, 2502, 2501}) {
        row.layout->setSelectedItemIndex(k);
        row.host->layoutIfNeeded();
        now += 0.05;
    }
    const QXIndexRange live = row.flow->liveItemRange();
    EXPECT_LT(live.length, 40u);
    EXPECT_TRUE(live.contains(2501));
    EXPECT_TRUE(live.contains(row.flow->visibleItemIndexes().first()));
    EXPECT_TRUE(live.contains(row.flow->visibleItemIndexes().last()));
    // An item far away still answers where the walk over every item would have put it.
    QXLayer* far = row.flow->contentLayerAtIndex(10);
    const auto expected = row.layout->layoutAttributesForItemAtIndex(10);
    ASSERT_NE(far, nullptr);
    EXPECT_EQ(far->position(), expected->anchorPointTransform().map(expected->position()));
    EXPECT_EQ(far->transform(), expected->transform());
}

TEST_F(IncrementalTest, HoldingAnArrowKeyKeepsTheLiveRangeSmall) {
    const QXIndex count = 5000;
    Row row(false, 1160, 280, count);
    now += 1;
    // Key repeat: a step every 30 ms, each one starting before the last has ended.
    for (QXIndex k = 1; k <= 300; ++k) {
        row.layout->setSelectedItemIndex(k);
        row.host->layoutIfNeeded();
        now += 0.03;
    }
    EXPECT_LT(row.flow->liveItemRange().length, 60u);
}
