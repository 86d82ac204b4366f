#include "coverflow/QXLayer.h"
#include "coverflow/QXTextLayer.h"

#include <gtest/gtest.h>

namespace {

struct Counting : QXLayer {
    int passes = 0;
    void layoutSublayers() override {
        ++passes;
        QXLayer::layoutSublayers();
    }
};

} // namespace

TEST(QXLayerLayoutTest, OnlyMarkedLayersAreLaidOutWhereverTheyAre) {
    auto root = QXLayer::create();
    auto middle = QXLayer::create();
    auto deep = std::make_shared<Counting>();
    auto other = std::make_shared<Counting>();
    root->addSublayer(middle);
    middle->addSublayer(deep);
    root->addSublayer(other);
    root->layoutIfNeeded();
    const int deepBefore = deep->passes, otherBefore = other->passes;
    deep->setNeedsLayout();
    root->layoutIfNeeded();
    EXPECT_EQ(deep->passes, deepBefore + 1);
    EXPECT_EQ(other->passes, otherBefore);
    root->layoutIfNeeded();
    EXPECT_EQ(deep->passes, deepBefore + 1);
    // A subtree with a pending pass keeps it when it moves under another layer.
    auto detached = QXLayer::create();
    auto pending = std::make_shared<Counting>();
    detached->addSublayer(pending);
    pending->setNeedsLayout();
    const int pendingBefore = pending->passes;
    other->addSublayer(detached);
    root->layoutIfNeeded();
    EXPECT_EQ(pending->passes, pendingBefore + 1);
}

TEST(QXLayerLayoutTest, ConstraintsReadSiblingsAfterTheyArePlacedAndSpanBetweenTwoEdges) {
    auto root = QXLayer::create();
    root->setAnchorPoint({0, 0});
    root->setBounds({0, 0, 400, 300});
    root->setUsesConstraintLayout(true);
    const QString super = QStringLiteral("superlayer");
    // Listed first, but placed from the text below it.
    auto band = QXLayer::create();
    band->setConstraints({{QXConstraint::minY, QStringLiteral("text"), QXConstraint::maxY, 1, 0},
                          {QXConstraint::maxY, super, QXConstraint::maxY, 1, 0},
                          {QXConstraint::width, super, QXConstraint::width, 1, 0},
                          {QXConstraint::midX, super, QXConstraint::midX, 1, 0}});
    auto text = QXTextLayer::create();
    text->setName(QStringLiteral("text"));
    text->setFontSize(20);
    text->setConstraints({{QXConstraint::minY, super, QXConstraint::minY, 1, 50},
                          {QXConstraint::midX, super, QXConstraint::midX, 1, 0}});
    root->addSublayer(band);
    root->addSublayer(text);
    root->layoutIfNeeded();
    const QRectF line = text->frame();
    EXPECT_EQ(line.top(), 50);
    EXPECT_EQ(line.height(), text->preferredFrameSize()->height());
    EXPECT_EQ(band->frame(), QRectF(0, line.bottom(), 400, 300 - line.bottom()));
    // The line keeps its height without text.
    text->setString(QStringLiteral("Title"));
    root->layoutIfNeeded();
    const double withText = text->frame().height();
    text->setString(QString());
    root->layoutIfNeeded();
    EXPECT_EQ(text->frame().height(), withText);
    EXPECT_EQ(text->frame().width(), 0);
}
