#include "coverflow/QXScrollBarLayer.h"
#include "coverflow/QXLayerAccessibility.h"
#include "coverflow/QXLayerAccessible.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Sizes : QXScrollBarDelegate {
    std::optional<double> content = 1000, visible = 250, position = 0.5;
    std::vector<double> dragged;
    int decrements = 0, increments = 0;
    bool knobDraggedToPosition(QXScrollBarLayer&, double p) override {
        dragged.push_back(p);
        return true;
    }
    bool decrementClicked(QXScrollBarLayer&) override { return ++decrements, true; }
    bool incrementClicked(QXScrollBarLayer&) override { return ++increments, true; }
    std::optional<double> contentSize(QXScrollBarLayer&) override { return content; }
    std::optional<double> visibleSize(QXScrollBarLayer&) override { return visible; }
    std::optional<double> currentKnobPosition(QXScrollBarLayer&) override { return position; }
};

std::shared_ptr<QXScrollBarLayer> bar(Sizes& sizes, double width) {
    auto b = QXScrollBarLayer::create();
    b->setScrollBarDelegate(&sizes);
    b->setFrame({0, 0, width, 20});
    b->setNeedsLayout();
    b->layoutIfNeeded();
    return b;
}

} // namespace

TEST(QXScrollBarLayerTest, KnobFollowsTheRatioAndPosition) {
    Sizes sizes;
    auto b = bar(sizes, 410);
    EXPECT_FALSE(b->isHidden());
    EXPECT_EQ(b->knob().frame(), QRectF(155, 2, 100, 16));
    sizes.position = 1.7;
    b->setNeedsLayout();
    b->layoutIfNeeded();
    EXPECT_EQ(b->knob().frame().right(), 405);
    sizes.position = -0.2;
    b->setNeedsLayout();
    b->layoutIfNeeded();
    EXPECT_EQ(b->knob().frame().left(), 5);
    sizes.position = NAN;
    b->setNeedsLayout();
    b->layoutIfNeeded();
    EXPECT_EQ(b->knob().frame().left(), 5);

    sizes.content = 10000;
    sizes.visible = 100;
    auto narrow = bar(sizes, 210);
    EXPECT_EQ(narrow->knob().frame().width(), 40);

    sizes.content = 300;
    sizes.visible = 1000;
    EXPECT_TRUE(bar(sizes, 410)->isHidden());
    sizes.content = 0;
    sizes.visible = 0;
    EXPECT_TRUE(bar(sizes, 410)->isHidden());
}

TEST(QXScrollBarLayerTest, ClicksStepAndDragsTrackTheKnob) {
    Sizes sizes;
    auto b = bar(sizes, 410);
    b->mouseDraggedToPoint({300, 10});
    EXPECT_TRUE(sizes.dragged.empty()) << "no drag before a mouse-down on the knob";
    b->mouseDownAtPoint({50, 10});
    b->mouseDownAtPoint({350, 10});
    EXPECT_EQ(sizes.decrements, 1);
    EXPECT_EQ(sizes.increments, 1);
    b->mouseDownAtPoint({160, 10});
    EXPECT_EQ(b->draggingOffset(), 5);
    b->mouseDraggedToPoint({1000, 10});
    b->mouseDraggedToPoint({-1000, 10});
    b->mouseDraggedToPoint({160 + 75, 10});
    ASSERT_EQ(sizes.dragged.size(), 3u);
    EXPECT_EQ(sizes.dragged[0], 1);
    EXPECT_EQ(sizes.dragged[1], 0);
    EXPECT_DOUBLE_EQ(sizes.dragged[2], 0.75);
    b->endDrag();
    b->mouseDraggedToPoint({200, 10});
    EXPECT_EQ(sizes.dragged.size(), 3u);
}

TEST(QXScrollBarLayerTest, HiddenOrFullWidthBarsTakeNoInput) {
    Sizes sizes;
    sizes.content = 100;
    auto hidden = bar(sizes, 410);
    hidden->mouseDownAtPoint({10, 10});
    hidden->mouseDownAtPoint({400, 10});
    EXPECT_EQ(sizes.decrements + sizes.increments, 0);
    sizes.content = 1000;
    sizes.visible = 999;
    auto tiny = bar(sizes, 45);
    tiny->mouseDownAtPoint({10, 10});
    tiny->mouseDraggedToPoint({30, 10});
    EXPECT_TRUE(sizes.dragged.empty()) << "a knob as wide as the track cannot be dragged";
}

TEST(QXScrollBarLayerTest, AccessibleValueIsClampedAndAnnounced) {
    Sizes sizes;
    QWidget view;
    view.resize(546, 300);
    auto root = QXLayer::create();
    root->setAnchorPoint({0, 0});
    root->setBounds({0, 0, 546, 300});
    root->setUsesConstraintLayout(true);
    auto b = bar(sizes, 100);
    root->addSublayer(b);
    root->layoutIfNeeded();
    EXPECT_NEAR(b->frame().width(), 409.5, 1e-9);
    EXPECT_EQ(b->frame().top(), 10);
    QXLayerAccessibility::setAccessibilityEnabledLayer(&view, *root);

    std::vector<QVariant> posted;
    QXAccessibility::setObserver([&](const QVariant& e, const QString&) { posted.push_back(e); });
    QAccessibleInterface* iface = QXLayerAccessible::interfaceForLayer(b.get());
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::ScrollBar);
    EXPECT_EQ(iface->parent(), QAccessible::queryAccessibleInterface(&view));
    auto* value = iface->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_DOUBLE_EQ(value->currentValue().toDouble(), 0.5);
    value->setCurrentValue(2.0);
    value->setCurrentValue(NAN);
    EXPECT_EQ(sizes.dragged, std::vector<double>{1.0});
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(QXAccessibility::objectOf(posted[0]), &view);
    // y-up layers: the bar 10 above the bottom is 270 ... 290 from the view's top.
    const QRect r = iface->rect();
    EXPECT_EQ(r.top() - view.mapToGlobal(QPoint(0, 0)).y(), 270);
    EXPECT_EQ(r.height(), 20);

    ASSERT_EQ(iface->childCount(), 1);
    QAccessibleInterface* knob = iface->child(0);
    EXPECT_EQ(knob->role(), QAccessible::Indicator);
    EXPECT_DOUBLE_EQ(knob->valueInterface()->currentValue().toDouble(), 0.5);
    QXAccessibility::setObserver({});
}
