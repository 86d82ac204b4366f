#include "coverflow/CoverCarousel.h"
#include "coverflow/LorvanelCoverImage.h"
#include "coverflow/QXLayerAccessibility.h"
#include "coverflow/QXRepresentationTypes.h"
#include "support/EventLoop.h"
#include "transfer/LorvanelCoverArtwork.h"

#include <QAccessible>
#include <QApplication>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace {

CoverFlowGroup group(const QString& title, const QString& artist, quint64 id, bool cover = true) {
    Track track;
    track.id = id;
    track.hasCoverArtwork = cover;
    return CoverFlowGroup{{title, artist}, {track}};
}

struct Bridge {
    int selection = 0;
    int writes = 0;
    CoverCarousel carousel;
    std::unique_ptr<CoverCarousel::Coordinator> coordinator = CoverCarousel::makeCoordinator();
    std::unique_ptr<CoverFlowControl> control{CoverCarousel::makeNSView(*coordinator, nullptr)};

    explicit Bridge(QList<CoverFlowGroup> groups) {
        setGroups(std::move(groups));
        carousel.unknownTitle = QStringLiteral("Unknown Album");
        carousel.selection = {[this] { return selection; },
                              [this](int index) {
                                  ++writes;
                                  selection = index;
                              }};
        control->resize(800, 280);
    }
    ~Bridge() {
        control->setDataSource(nullptr);
        control->setDelegate(nullptr);
    }
    void setGroups(QList<CoverFlowGroup> groups) {
        carousel.groupIDs.clear();
        for (const auto& g : groups)
            carousel.groupIDs.append(g.id);
        carousel.groups = std::move(groups);
    }
    void update() { carousel.updateNSView(*control, *coordinator); }
};

} // namespace

TEST(CoverCarouselTest, ItemsCarryCaptionsCoversAndUIDs) {
    Bridge bridge({group(QStringLiteral("Blue"), QString(), 1),
                   group(QString(), QStringLiteral("Ann"), 2),
                   group(QStringLiteral("Red"), QStringLiteral("Bo"), 3),
                   group(QStringLiteral("Blue"), QString(), 4)});
    bridge.update();
    const auto& items = bridge.coordinator->items;
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0]->source().caption, QStringLiteral("Blue"));
    EXPECT_EQ(items[1]->source().caption, QStringLiteral("Unknown Album · Ann"));
    EXPECT_EQ(items[2]->source().caption, QStringLiteral("Red · Bo"));
    EXPECT_EQ(items[3]->imageItemUID(), QStringLiteral("3:Blue:false"));
    // Before its cover: the default cover's bytes as data.
    EXPECT_EQ(items[3]->imageItemRepresentationType(), QXFlowViewNSDataRepresentationType);
    EXPECT_EQ(items[3]->imageItemRepresentation().toByteArray(),
              *LorvanelCoverArtwork::defaultCoverData());
    bridge.carousel.artwork = {{4, QByteArrayLiteral("cover bytes")}};
    bridge.update();
    EXPECT_EQ(bridge.coordinator->items[3]->imageItemUID(), QStringLiteral("3:Blue:true"));
    EXPECT_EQ(bridge.coordinator->items[3]->imageItemRepresentation().toByteArray(),
              QByteArrayLiteral("cover bytes"));
    // With neither cover nor default bytes: the default image as an image object.
    CoverItem bare(0, {QStringLiteral("x"), std::nullopt, std::nullopt});
    EXPECT_EQ(bare.imageItemRepresentationType(), QXFlowViewNSImageRepresentationType);
    EXPECT_EQ(bare.imageItemRepresentation().value<QImage>(), LorvanelCoverArtwork::defaultImage());
}

TEST(CoverCarouselTest, ReloadsOnlyWhenItsInputsChangeAndNeverEchoesThePushedSelection) {
    Bridge bridge({group(QStringLiteral("A"), {}, 1), group(QStringLiteral("B"), {}, 2),
                   group(QStringLiteral("C"), {}, 3)});
    bridge.selection = 7; // past the end: the last item
    bridge.update();
    EXPECT_EQ(bridge.control->selectedIndex(), 2u);
    EXPECT_EQ(bridge.writes, 0);
    const auto before = bridge.coordinator->items.front();
    bridge.update();
    EXPECT_EQ(bridge.coordinator->items.front(), before);
    bridge.carousel.unknownTitle = QStringLiteral("Other");
    bridge.update();
    EXPECT_NE(bridge.coordinator->items.front(), before);
    // The reload passed through item 0 and back to 2 without a write to the binding.
    EXPECT_EQ(bridge.writes, 0);
    EXPECT_EQ(bridge.control->selectedIndex(), 2u);
    bridge.selection = -4;
    bridge.update();
    EXPECT_EQ(bridge.control->selectedIndex(), 0u);
    // The user's moves are written back.
    bridge.control->setSelectedIndex(1);
    EXPECT_EQ(bridge.selection, 1);
    EXPECT_EQ(bridge.writes, 1);
    // No groups: no items, no selection, the binding left alone.
    bridge.setGroups({});
    bridge.update();
    EXPECT_EQ(bridge.control->numberOfItems(), 0u);
    EXPECT_EQ(bridge.control->selectedIndex(), QXNotFound);
    EXPECT_EQ(bridge.selection, 1);
}

TEST(CoverCarouselTest, TheControlStepsByWholeItemsAndShowsNoItemsToAssistiveTools) {
    QList<CoverFlowGroup> groups;
    for (int i = 0; i < 10; ++i)
        groups.append(group(QStringLiteral("G%1").arg(i), {}, quint64(i + 1)));
    Bridge bridge(groups);
    bridge.update();
    CoverFlowControl& control = *bridge.control;
    // The forward deltas as Qt delivers them: positive for back.
    auto scroll = [&](QXScrollEvent event) {
        QPointF at(10, 10);
        QWheelEvent wheel(
            at, at,
            event.hasPreciseScrollingDeltas
                ? -QPoint(int(event.scrollingDeltaX), int(event.scrollingDeltaY))
                : QPoint(),
            -QPoint(int(event.deltaX * 120), int(event.deltaY * 120)), Qt::NoButton, Qt::NoModifier,
            event.phase == QXScrollEvent::began ? Qt::ScrollBegin : Qt::NoScrollPhase, false);
        QApplication::sendEvent(&control, &wheel);
    };
    QXScrollEvent precise;
    precise.hasPreciseScrollingDeltas = true;
    precise.scrollingDeltaX = 10;
    for (int i = 0; i < 3; ++i)
        scroll(precise);
    EXPECT_EQ(control.selectedIndex(), 0u);
    EXPECT_EQ(control.scroll.remainder, 30);
    scroll(precise);
    EXPECT_EQ(control.selectedIndex(), 1u);
    EXPECT_EQ(control.scroll.remainder, 4);
    EXPECT_EQ(bridge.selection, 1);
    // A new gesture starts from nothing.
    precise.phase = QXScrollEvent::began;
    scroll(precise);
    EXPECT_EQ(control.scroll.remainder, 10);
    // The larger axis wins: here the vertical one.
    QXScrollEvent notch;
    notch.deltaX = 0.5;
    notch.deltaY = -1;
    scroll(notch);
    EXPECT_EQ(control.selectedIndex(), 0u);
    // Accessibility: the control stands for itself and shows no item layers.
    using namespace QXAccessibility;
    EXPECT_TRUE(control.accessibilityAttributeValue(childrenAttribute).toList().isEmpty());
    EXPECT_TRUE(control.accessibilityAttributeValue(visibleChildrenAttribute).toList().isEmpty());
    EXPECT_FALSE(control.accessibilityAttributeValue(horizontalScrollBarAttribute).isValid());
    EXPECT_EQ(objectOf(control.accessibilityHitTest(control.mapToGlobal(QPoint(400, 100)))),
              &control);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&control);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->childCount(), 0);
    control.setHiddenFromAccessibility(true);
    EXPECT_TRUE(iface->state().invisible);
    // Nothing selected: a scroll changes nothing.
    bridge.setGroups({});
    bridge.update();
    scroll(notch);
    EXPECT_EQ(control.selectedIndex(), QXNotFound);
}
