#include "CoverFlowFixture.h"

#include "coverflow/QXInvalidParameter.h"
#include "coverflow/QXLayerAccessibility.h"
#include "coverflow/QXLayerAccessible.h"

#include <QWidget>

#include <stdexcept>

using namespace QXAccessibility;

TEST(QXLayerAccessibilityTest, RegistrationMakesAnElement) {
    auto layer = QXLayer::create();
    QXLayerAccessibility& a = layer->accessibility();
    EXPECT_TRUE(a.accessibilityIsIgnored());
    EXPECT_THROW(a.setReadableAccessibilityAttribute(QString(), [] { return QVariant(); }),
                 QXInvalidParameter);
    EXPECT_THROW(a.setReadableAccessibilityAttribute(titleAttribute, {}), QXInvalidParameter);
    a.setReadableAccessibilityAttribute(roleAttribute, [] { return QVariant(); });
    EXPECT_FALSE(a.accessibilityIsIgnored());
    // A handler answering nothing lets the default through.
    EXPECT_EQ(a.accessibilityAttributeValue(roleAttribute).toString(), unknownRole);

    int written = 0;
    a.setWritableAccessibilityAttribute(
        positionAttribute, [] { return QVariant(QPointF(1, 2)); },
        [&](const QVariant&) { ++written; });
    EXPECT_FALSE(a.accessibilityIsAttributeSettable(positionAttribute));
    a.accessibilitySetValue(QPointF(), positionAttribute);
    EXPECT_EQ(written, 0);

    EXPECT_FALSE(a.accessibilityAttributeNames().contains(childrenAttribute));
    layer->addSublayer(QXLayer::create());
    EXPECT_TRUE(a.accessibilityAttributeNames().contains(childrenAttribute));
    layer->removeAllSublayers();
    EXPECT_FALSE(a.accessibilityAttributeNames().contains(childrenAttribute));

    int pressed = 0;
    a.setAccessibilityAction(QStringLiteral("AXPress"), [&] { ++pressed; });
    a.removeAccessibilityAttribute(roleAttribute);
    a.removeAccessibilityAttribute(positionAttribute);
    a.accessibilityPerformAction(QStringLiteral("AXPress"));
    EXPECT_EQ(pressed, 1);
    EXPECT_FALSE(a.accessibilityIsIgnored()) << "actions keep the layer an element";
    EXPECT_THROW(a.qx_defaultParentAttributeHandler(), std::logic_error);
}

using CoverFlowAccessibilityTest = CoverFlowFixture;

TEST_F(CoverFlowAccessibilityTest, ListIsBridgedWithTheHostAsParent) {
    build(600, 220, 6, 2);
    QWidget view;
    view.resize(600, 220);
    QXLayerAccessibility::setAccessibilityEnabledLayer(&view, *host);
    QAccessibleInterface* list = QXLayerAccessible::interfaceForLayer(flow.get());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->role(), QAccessible::List);
    // The host layer registers nothing, so the view stands in as the parent.
    EXPECT_EQ(list->parent(), QAccessible::queryAccessibleInterface(&view));
    EXPECT_EQ(QXLayerAccessible::interfaceForLayer(host.get()), nullptr);
    EXPECT_EQ(list->rect().size(), QSize(600, 220));
    QXLayerAccessibility& a = flow->accessibility();
    EXPECT_EQ(a.accessibilityAttributeValue(subroleAttribute).toString(), contentListSubrole);

    // Item layers register nothing: the writable selection still takes a layer.
    a.accessibilitySetValue(QVariantList{element(flow->contentLayers()[4].get())},
                            selectedChildrenAttribute);
    EXPECT_EQ(layout->selectedItemIndex(), 4u);
    a.accessibilitySetValue(QVariantList{}, selectedChildrenAttribute);
    EXPECT_EQ(layout->selectedItemIndex(), 4u);

    // The interface goes with its layer.
    const QAccessible::Id id = flow->accessibility().platformId;
    ASSERT_NE(id, 0u);
    flow->removeFromSuperlayer();
    flow.reset();
    EXPECT_EQ(QAccessible::accessibleInterface(id), nullptr);
}
