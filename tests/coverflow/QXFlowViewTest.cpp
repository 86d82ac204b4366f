#include "FlowViewFixture.h"

#include "coverflow/QXFlowViewDatasourceContentAdapter.h"
#include "coverflow/QXInvalidParameter.h"
#include "coverflow/QXLayerAccessibility.h"
#include "coverflow/RetinaCoverDecoder.h"

#include <QAccessible>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

using FlowViewTest = FlowViewFixture;

TEST_F(FlowViewTest, StartsWithTheControlsDefaultsAndNoItems) {
    QXFlowView flow;
    EXPECT_EQ(flow.stackedAngle(), 70);
    EXPECT_EQ(flow.coverFlowLayout()->stackedAngle(), 70);
    EXPECT_EQ(flow.spacing(), 50);
    EXPECT_EQ(flow.coverFlowLayout()->interItemSpacing(), 50);
    EXPECT_DOUBLE_EQ(flow.reflectionOffset(), -0.4);
    EXPECT_FALSE(flow.showsReflection());
    EXPECT_EQ(flow.titleSize(), 18);
    EXPECT_EQ(flow.title(), QString());
    EXPECT_EQ(flow.selectedIndex(), QXNotFound);
    EXPECT_EQ(flow.numberOfItems(), 0u);
    EXPECT_TRUE(flow.visibleItemIndexes().isEmpty());
    EXPECT_TRUE(flow.selectedItemFrame().isEmpty());
    EXPECT_EQ(flow.titleLayer().name(), QStringLiteral("QXFlowViewTitleLayer"));
    EXPECT_EQ(flow.containerLayer().name(), QStringLiteral("QXFlowViewContainerLayer"));
    // The angle and spacing are bound into the layout.
    flow.setStackedAngle(45);
    flow.setSpacing(20);
    EXPECT_EQ(flow.coverFlowLayout()->stackedAngle(), 45);
    EXPECT_EQ(flow.coverFlowLayout()->interItemSpacing(), 20);
}

TEST_F(FlowViewTest, AnArchiveKeepsTheLookAndTheLayout) {
    QXFlowView flow;
    flow.resize(600, 300);
    flow.flushLayout();
    flow.setStackedAngle(55);
    flow.setSpacing(30);
    flow.setReflectionOffset(-0.7);
    flow.setShowsReflection(true);
    flow.coverFlowLayout()->setVerticalMargin(14);
    const QVariantMap archive = flow.toVariantMap();
    EXPECT_EQ(archive.value(QStringLiteral("showsReflection")).toInt(), 1);
    QXFlowView restored;
    restored.fromVariantMap(archive);
    EXPECT_EQ(restored.stackedAngle(), 55);
    EXPECT_EQ(restored.coverFlowLayout()->stackedAngle(), 55);
    EXPECT_EQ(restored.spacing(), 30);
    EXPECT_DOUBLE_EQ(restored.reflectionOffset(), -0.7);
    EXPECT_TRUE(restored.showsReflection());
    EXPECT_EQ(restored.coverFlowLayout()->verticalMargin(), 14);
}

TEST_F(FlowViewTest, TitleSitsAboveTheBarAndItemsFillTheBandAboveIt) {
    QXFlowView& flow = make(5, {600, 300});
    const QRectF title = flow.titleLayer().frame();
    EXPECT_DOUBLE_EQ(title.top(), 50); // y-up: 50 above the bottom
    EXPECT_DOUBLE_EQ(title.center().x(), 300);
    // The title's height is the line height, with or without text.
    const double lineHeight = title.height();
    EXPECT_GT(lineHeight, 15);
    flow.setTitle(QString());
    settle();
    EXPECT_DOUBLE_EQ(flow.titleLayer().frame().height(), lineHeight);
    const QRectF container = flow.containerLayer().frame();
    EXPECT_DOUBLE_EQ(container.top(), title.bottom());
    EXPECT_DOUBLE_EQ(container.bottom(), 300);
    EXPECT_DOUBLE_EQ(container.width(), 600);
    EXPECT_EQ(flow.coverFlowLayer().frame(), QRectF(QPointF(0, 0), container.size()));
    EXPECT_EQ(flow.scrollBarLayer().frame(), QRectF(75, 10, 450, 20));
    // Items are squares of the band's height less the margins.
    EXPECT_DOUBLE_EQ(flow.coverFlowLayout()->itemSize().height(), container.height() - 20);
}

TEST_F(FlowViewTest, BackgroundIsLightestAtTheBottom) {
    QXFlowView& flow = make(0, {200, 200});
    const QImage shot = flow.grab().toImage();
    const QColor bottom = shot.pixelColor(100, 199);
    const QColor top = shot.pixelColor(100, 0);
    EXPECT_NEAR(bottom.red(), 52, 3);
    EXPECT_NEAR(bottom.blue(), 69, 3);
    EXPECT_LE(top.red(), 3);
}

TEST_F(FlowViewTest, ReloadSelectsTheFirstItemAndTellsTheDelegateOnlyOfRealChanges) {
    QXFlowView& flow = make(10);
    EXPECT_EQ(flow.selectedIndex(), 0u);
    EXPECT_EQ(source.selectionChanges, 0); // the first load selects 0 silently
    EXPECT_EQ(flow.title(), QStringLiteral("Item 0"));
    flow.setSelectedIndex(5);
    EXPECT_EQ(source.selectionChanges, 1);
    EXPECT_EQ(flow.title(), QStringLiteral("Item 5"));
    flow.setSelectedIndex(5);
    flow.setSelectedIndex(10);
    flow.setSelectedIndex(QXNotFound);
    EXPECT_EQ(source.selectionChanges, 1);
    flow.reloadContent();
    EXPECT_EQ(flow.selectedIndex(), 0u);
    EXPECT_EQ(source.selectionChanges, 2);
    flow.reloadContent();
    EXPECT_EQ(source.selectionChanges, 2);
    // An item without a title shows none.
    source.items[0]->title.reset();
    EXPECT_EQ(flow.titleAtIndex(0), QString());
    source.items.clear();
    flow.reloadContent();
    EXPECT_EQ(flow.selectedIndex(), QXNotFound);
    EXPECT_EQ(flow.title(), QString());
}

TEST_F(FlowViewTest, ArrowKeysStepAndStopAtTheEnds) {
    QXFlowView& flow = make(3);
    QTest::keyClick(&flow, Qt::Key_Left);
    EXPECT_EQ(flow.selectedIndex(), 0u);
    QTest::keyClick(&flow, Qt::Key_Right);
    QTest::keyClick(&flow, Qt::Key_Right);
    QTest::keyClick(&flow, Qt::Key_Right);
    EXPECT_EQ(flow.selectedIndex(), 2u);
    QTest::keyClick(&flow, Qt::Key_Left);
    EXPECT_EQ(flow.selectedIndex(), 1u);
}

TEST_F(FlowViewTest, ClicksSelectAndDoubleAndRightClicksReachTheDelegate) {
    QXFlowView& flow = make(9);
    flow.setSelectedIndex(4);
    const QPoint right = centreOf(5);
    QTest::mouseClick(&flow, Qt::LeftButton, {}, right);
    EXPECT_EQ(flow.selectedIndex(), 5u);
    EXPECT_TRUE(source.doubleClicked.empty());
    QTest::mouseDClick(&flow, Qt::LeftButton, {}, centreOf(5));
    EXPECT_EQ(source.doubleClicked, std::vector<QXIndex>{5});
    // Without a delegate answer the control's action goes.
    source.answersDoubleClick = false;
    QSignalSpy action(&flow, &QXFlowView::actionTriggered);
    QTest::mouseDClick(&flow, Qt::LeftButton, {}, centreOf(5));
    EXPECT_EQ(action.count(), 1);
    // A right click names the item under it and leaves the selection.
    QTest::mouseClick(&flow, Qt::RightButton, {}, centreOf(3));
    EXPECT_EQ(source.rightClicked, std::vector<QXIndex>{3});
    EXPECT_EQ(flow.selectedIndex(), 5u);
    // The background is no item.
    QTest::mouseClick(&flow, Qt::RightButton, {}, QPoint(2, 2));
    EXPECT_EQ(source.rightClicked.size(), 1u);
}

TEST_F(FlowViewTest, ScrollBarClicksStepAndKnobDragsTrack) {
    QXFlowView& flow = make(41);
    ASSERT_FALSE(flow.scrollBarLayer().isHidden());
    // Beside the knob (at the left end): a step right.
    QTest::mouseClick(&flow, Qt::LeftButton, {}, onScrollBar(0.9));
    EXPECT_EQ(flow.selectedIndex(), 1u);
    QTest::mouseClick(&flow, Qt::LeftButton, {}, onScrollBar(0.9));
    EXPECT_EQ(flow.selectedIndex(), 2u);
    settle();
    QTest::mouseClick(&flow, Qt::LeftButton, {}, onScrollBar(0.001));
    EXPECT_EQ(flow.selectedIndex(), 1u);
    settle();
    // A drag that starts on the knob moves the selection with it, clamped at the far end.
    const QRectF knob = flow.scrollBarLayer().knob().frame();
    const QRectF bar = flow.scrollBarLayer().frame();
    const QPoint grab(int(bar.left() + knob.center().x()), onScrollBar(0).y());
    QTest::mousePress(&flow, Qt::LeftButton, {}, grab);
    QMouseEvent move(QEvent::MouseMove, QPointF(grab + QPoint(2000, 0)),
                     flow.mapToGlobal(QPointF(grab + QPoint(2000, 0))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&flow, &move);
    EXPECT_EQ(flow.selectedIndex(), 40u);
    QTest::mouseRelease(&flow, Qt::LeftButton, {}, grab + QPoint(2000, 0));
    EXPECT_EQ(flow.scrollBarLayer().draggingOffset(), -1);
}

TEST_F(FlowViewTest, AHiddenScrollBarTakesNoClicks) {
    QXFlowView& flow = make(2, {800, 300});
    ASSERT_TRUE(flow.scrollBarLayer().isHidden());
    QTest::mouseClick(&flow, Qt::LeftButton, {}, onScrollBar(0.95));
    EXPECT_EQ(flow.selectedIndex(), 0u);
}

TEST_F(FlowViewTest, WheelMovesByWholeItemsWithinTheRow) {
    QXFlowView& flow = make(10);
    flow.setSelectedIndex(3);
    auto wheel = [&](QPoint angle) {
        QWheelEvent event(QPointF(400, 100), flow.mapToGlobal(QPointF(400, 100)), QPoint(), angle,
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&flow, &event);
    };
    // Qt's deltas are negative for a scroll to the right and down, which step forward.
    wheel({-180, 0}); // 1.5 notches
    EXPECT_EQ(flow.selectedIndex(), 4u);
    wheel({60, 0}); // -0.5 truncates toward zero from 3.5
    EXPECT_EQ(flow.selectedIndex(), 3u);
    wheel({0, 120 * 50});
    EXPECT_EQ(flow.selectedIndex(), 0u);
    wheel({0, std::numeric_limits<int>::min()});
    EXPECT_EQ(flow.selectedIndex(), 9u);
}

TEST_F(FlowViewTest, KnobPositionsAreClampedAndNotANumberIsIgnored) {
    QXFlowView& flow = make(11);
    QXScrollBarLayer& bar = flow.scrollBarLayer();
    flow.knobDraggedToPosition(bar, 0.999);
    EXPECT_EQ(flow.selectedIndex(), 9u);
    flow.knobDraggedToPosition(bar, 1.0);
    EXPECT_EQ(flow.selectedIndex(), 10u);
    flow.knobDraggedToPosition(bar, 0.5);
    flow.knobDraggedToPosition(bar, std::nan(""));
    EXPECT_EQ(flow.selectedIndex(), 5u);
    flow.knobDraggedToPosition(bar, 1e300);
    EXPECT_EQ(flow.selectedIndex(), 10u);
    flow.knobDraggedToPosition(bar, -4);
    EXPECT_EQ(flow.selectedIndex(), 0u);
    // The knob sits where the selection is.
    source.fill(5);
    flow.reloadContent();
    flow.setSelectedIndex(2);
    EXPECT_EQ(flow.currentKnobPosition(bar), 0.5);
    source.fill(1);
    flow.reloadContent();
    EXPECT_EQ(flow.currentKnobPosition(bar), 0.0);
    // Another bar's requests are not this view's.
    auto other = QXScrollBarLayer::create();
    source.fill(11);
    flow.reloadContent();
    flow.knobDraggedToPosition(*other, 1.0);
    EXPECT_EQ(flow.selectedIndex(), 0u);
}

TEST_F(FlowViewTest, ImagesArriveForTheVisibleItemsAndAreCached) {
    QXFlowView& flow = make(30);
    ASSERT_TRUE(waitForImages());
    const QXIndexRange visible = flow.visibleItemIndexes();
    EXPECT_EQ(visible.location, 0u);
    EXPECT_LT(visible.last(), 29u);
    for (QXIndex i = 0; i <= visible.last(); ++i)
        EXPECT_FALSE(flow.imageCache().imageForUUID(source.items[i]->uid).isNull()) << i;
    EXPECT_TRUE(flow.imageCache().imageForUUID(source.items[29]->uid).isNull());
    // The face of the selected cover is its own colour on screen.
    settle();
    const QRectF face = flow.selectedItemFrame();
    const QImage shot = flow.grab().toImage();
    const QColor seen = shot.pixelColor(face.center().toPoint());
    const QColor expected = ColourItem::colourFor(0);
    EXPECT_NEAR(seen.red(), expected.red(), 3);
    EXPECT_NEAR(seen.green(), expected.green(), 3);
    EXPECT_NEAR(seen.blue(), expected.blue(), 3);
}

TEST_F(FlowViewTest, ARebuiltLayerKeepsItsPictureUntilItsNewImageIsDecoded) {
    QXFlowView& flow = make(12);
    flow.setSelectedIndex(3);
    settle();
    ASSERT_TRUE(waitForImages());
    // A new cover for the selected item and its neighbour: new UIDs, same titles.
    for (int i : {3, 4}) {
        source.items[i]->representation = ColourItem::png(Qt::white);
        source.items[i]->uid += QStringLiteral(":new");
    }
    flow.reloadContent();
    flow.setSelectedIndex(3);
    flow.flushLayout();
    // In the same pass, before any decode came back, nothing shows the placeholder.
    for (QXIndex i : {2u, 3u, 4u, 5u})
        EXPECT_NE(flow.coverFlowLayer().contentLayerAtIndex(i)->contents().cacheKey(),
                  QXFlowView::defaultImage().cacheKey())
            << i;
    // And the new pictures replace the old ones once decoded.
    ASSERT_TRUE(TestSupport::waitUntil([&] {
        return !flow.imageCache().imageForUUID(source.items[3]->uid).isNull() &&
               !flow.imageCache().imageForUUID(source.items[4]->uid).isNull();
    }));
    TestSupport::drainEvents();
    EXPECT_EQ(flow.coverFlowLayer().contentLayerAtIndex(3)->contents().pixelColor(10, 10),
              QColor(Qt::white));
    // A selected item with a cached image shows it at once while it is decoded again.
    flow.setSelectedIndex(11);
    settle();
    ASSERT_TRUE(TestSupport::waitUntil(
        [&] { return !flow.imageCache().imageForUUID(source.items[11]->uid).isNull(); }));
    flow.setSelectedIndex(0);
    settle();
    TestSupport::drainEvents();
    flow.reloadContent();
    flow.setSelectedIndex(11);
    flow.flushLayout();
    EXPECT_NE(flow.coverFlowLayer().contentLayerAtIndex(11)->contents().cacheKey(),
              QXFlowView::defaultImage().cacheKey());
    // A rebuilt layer whose item changed (another title) is not given the old picture.
    source.items[5]->title = QStringLiteral("Someone else");
    source.items[5]->uid += QStringLiteral(":other");
    flow.imageCache().reset();
    flow.reloadContent();
    EXPECT_EQ(flow.coverFlowLayer().contentLayerAtIndex(5)->contents().cacheKey(),
              QXFlowView::defaultImage().cacheKey());
}

namespace {
// The application's decoder, counting the decoders made (on the asking thread).
struct CountingDecoder : RetinaCoverDecoder {
    static inline int made = 0;
    CountingDecoder(const QVariant& item, std::uint64_t size)
        : RetinaCoverDecoder(item, size) {
        ++made;
    }
};
} // namespace

TEST_F(FlowViewTest, ItemsTooSmallToSeeAreNotDecoded) {
    QXFlowView& flow = make(0, {300, 60});
    flow.imageFactory().registerClass<CountingDecoder>(QXFlowViewNSDataRepresentationType);
    CountingDecoder::made = 0;
    source.fill(6);
    EXPECT_NO_THROW({
        flow.reloadContent();
        flow.flushLayout();
        flow.grab();
    });
    EXPECT_LT(flow.coverFlowLayout()->itemSize().width(), 1);
    EXPECT_EQ(CountingDecoder::made, 0);
    // Once there is room, the items are decoded.
    flow.resize(300, 200);
    settle();
    EXPECT_GT(CountingDecoder::made, 0);
}

TEST_F(FlowViewTest, TheAdapterNeverReachesPastTheItems) {
    QXFlowView& flow = make(3);
    QXFlowViewDatasourceContentAdapter adapter(&flow);
    EXPECT_EQ(adapter.count(), 3u);
    EXPECT_EQ(adapter.objectAtIndexedSubscript(2), source.items[2]);
    try {
        adapter.objectAtIndexedSubscript(3);
        ADD_FAILURE() << "no range error";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(), "Index 3 out of bounds (3)");
    }
    source.items.clear();
    EXPECT_EQ(adapter.objectAtIndexedSubscript(QXNotFound), nullptr);
    EXPECT_THROW(QXFlowViewDatasourceContentAdapter(nullptr), QXInvalidParameter);
    // A data source that throws never unwinds through the view.
    source.fill(3);
    source.throwsOnItems = true;
    EXPECT_NO_THROW({
        flow.reloadContent();
        flow.flushLayout();
        flow.grab();
    });
    EXPECT_EQ(flow.title(), QString());
}

TEST_F(FlowViewTest, AnAcceptableDropHighlightsAndReachesTheDataSource) {
    QXFlowView& flow = make(5);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/song.mp3"))});
    const QPoint over = centreOf(1);
    QDragEnterEvent enter(over, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&flow, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(flow.highlightedLayer(), &flow.backgroundLayer());
    // No operation offered: nothing is marked and the move is not taken.
    QDragMoveEvent refused(over, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&flow, &refused);
    EXPECT_FALSE(refused.isAccepted());
    EXPECT_EQ(flow.highlightedLayer(), nullptr);
    source.validation = Qt::CopyAction;
    QDragMoveEvent move(over, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&flow, &move);
    EXPECT_TRUE(move.isAccepted());
    EXPECT_EQ(flow.highlightedLayer(), flow.coverFlowLayer().contentLayerAtIndex(1));
    EXPECT_EQ(source.validated.back(), 1u);
    QDropEvent drop(over, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&flow, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(source.dropped, std::vector<QXIndex>{1});
    EXPECT_EQ(flow.highlightedLayer(), nullptr);
    // Over the background (in a new drag) the drop is validated for no item, and not performed.
    QDragEnterEvent again(QPoint(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&flow, &again);
    QDragMoveEvent background(QPoint(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&flow, &background);
    EXPECT_EQ(source.validated.back(), QXNotFound);
    EXPECT_EQ(flow.highlightedLayer(), &flow.backgroundLayer());
    QDropEvent nowhere(QPoint(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&flow, &nowhere);
    EXPECT_FALSE(nowhere.isAccepted());
}

TEST_F(FlowViewTest, DraggingOutWritesTheSelectedFileAndAMoveToTheTrashRemovesIt) {
    QXFlowView& flow = make(3);
    source.items[1]->type = QXFlowViewPathRepresentationType;
    source.items[1]->representation = QStringLiteral("/music/a.mp3");
    QMimeData data;
    EXPECT_FALSE(flow.initiateDragFromSelection(data)); // item 0 names no file
    flow.setSelectedIndex(1);
    EXPECT_TRUE(flow.isPathRepresentationAtSelection());
    EXPECT_TRUE(flow.initiateDragFromSelection(data));
    EXPECT_EQ(data.urls(), QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/music/a.mp3"))});
    flow.draggingSessionEnded(Qt::CopyAction);
    EXPECT_TRUE(source.removed.empty());
    flow.draggingSessionEnded(Qt::MoveAction);
    EXPECT_EQ(source.removed, std::vector<QXIndex>{1});
}

TEST_F(FlowViewTest, AssistiveToolsSeeAScrollAreaWithTheListAndTheBar) {
    QXFlowView& flow = make(40);
    using namespace QXAccessibility;
    EXPECT_EQ(flow.accessibilityAttributeValue(roleAttribute).toString(), scrollAreaRole);
    const QVariantList children = flow.accessibilityAttributeValue(childrenAttribute).toList();
    ASSERT_EQ(children.size(), 2);
    EXPECT_EQ(layerOf(children[0]), &flow.coverFlowLayer());
    EXPECT_EQ(layerOf(children[1]), &flow.scrollBarLayer());
    EXPECT_EQ(layerOf(flow.accessibilityAttributeValue(horizontalScrollBarAttribute)),
              &flow.scrollBarLayer());
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&flow);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::Pane);
    ASSERT_EQ(iface->childCount(), 2);
    EXPECT_EQ(iface->child(0)->role(), QAccessible::List);
    EXPECT_EQ(iface->child(1)->role(), QAccessible::ScrollBar);
    // Setting the bar's value moves the selection.
    QAccessibleValueInterface* value = iface->child(1)->valueInterface();
    ASSERT_NE(value, nullptr);
    value->setCurrentValue(1.0);
    EXPECT_EQ(flow.selectedIndex(), 39u);
    // A point over the selected cover is the list's.
    settle();
    const QPoint over = flow.mapToGlobal(flow.selectedItemFrame().center().toPoint());
    EXPECT_EQ(iface->childAt(over.x(), over.y()), iface->child(0));
}
