#include "FlowViewFixture.h"

#include "coverflow/QXArrayController.h"
#include "coverflow/QXFlowViewContentBinder.h"
#include "coverflow/QXInvalidParameter.h"

#include <gtest/gtest.h>

// An item of a bound array: its three image keys are observable properties.
class BoundItem : public QXObservable {
    Q_OBJECT
    Q_PROPERTY(QVariant imageItemRepresentation READ representation)
    Q_PROPERTY(QString imageItemRepresentationType READ type)
    Q_PROPERTY(QString imageItemUID READ uid)
    Q_PROPERTY(QString imageItemTitle READ title)

public:
    BoundItem(const QString& name, const QColor& colour)
        : name(name)
        , bytes(ColourItem::png(colour))
        , uidValue(name) {}
    QVariant representation() const { return bytes; }
    QString type() const { return QXFlowViewNSDataRepresentationType; }
    QString uid() const { return uidValue; }
    QString title() const { return name; }
    void setColour(const QColor& colour) {
        bytes = ColourItem::png(colour);
        Q_EMIT valueChanged(QStringLiteral("imageItemRepresentation"));
    }
    void setUID(const QString& uid) {
        uidValue = uid;
        Q_EMIT valueChanged(QStringLiteral("imageItemUID"));
    }
    QVariant valueForKey(const QString& key) const override {
        return property(key.toUtf8().constData());
    }

    QString name;

private:
    QByteArray bytes;
    QString uidValue;
};

// A class that lacks the UID of an item.
class NoUIDItem : public QXObservable {
    Q_OBJECT
    Q_PROPERTY(QVariant imageItemRepresentation READ representation)
    Q_PROPERTY(QString imageItemRepresentationType READ type)

public:
    QVariant representation() const { return {}; }
    QString type() const { return {}; }
    QVariant valueForKey(const QString&) const override { return {}; }
};

namespace {

struct Recorder : QXFlowViewContentBinderDelegate {
    QStringList events;
    void contentArrayDidChange(QXFlowViewContentBinder&) override {
        events << QStringLiteral("array");
    }
    void contentBinderItemChanged(QXFlowViewContentBinder&, QXObservable* item) override {
        events << static_cast<BoundItem*>(item)->name;
    }
};

} // namespace

TEST(QXFlowViewContentBinderTest, RefusesControllersWhoseItemsLackTheImageKeys) {
    QXArrayController noUID(&NoUIDItem::staticMetaObject);
    try {
        QXFlowViewContentBinder binder(&noUID, QXArrayController::arrangedObjectsKey);
        ADD_FAILURE() << "accepted";
    } catch (const QXInvalidParameter& error) {
        EXPECT_STREQ(error.what(), "Invalid parameter not satisfying: [[controller objectClass] "
                                   "instancesRespondToSelector:@selector(imageItemUID)]");
    }
    QXArrayController good(&BoundItem::staticMetaObject);
    EXPECT_THROW(QXFlowViewContentBinder(nullptr, QStringLiteral("x")), QXInvalidParameter);
    EXPECT_THROW(QXFlowViewContentBinder(&good, QString()), QXInvalidParameter);
    QXFlowViewContentBinder binder(&good, QXArrayController::arrangedObjectsKey);
    EXPECT_EQ(binder.bindingInfo().value(QXFlowViewContentBinder::observedKeyPathKey).toString(),
              QXArrayController::arrangedObjectsKey);
    EXPECT_FALSE(binder.observedItems().has_value());
    binder.stopObservingContent(); // harmless while not observing
}

TEST(QXFlowViewContentBinderTest, FollowsTheListAndEveryItemInIt) {
    BoundItem a(QStringLiteral("a"), Qt::red), b(QStringLiteral("b"), Qt::green),
        c(QStringLiteral("c"), Qt::blue);
    QXArrayController controller(&BoundItem::staticMetaObject);
    controller.setContent({&a, &b});
    QXFlowViewContentBinder binder(&controller, QXArrayController::arrangedObjectsKey);
    Recorder recorder;
    binder.setDelegate(&recorder);
    binder.startObservingContent();
    // New items report their three keys (key by key over the items) before the list change.
    EXPECT_EQ(recorder.events, (QStringList{"a", "b", "a", "b", "a", "b", "array"}));
    recorder.events.clear();
    controller.setContent({&b, &c});
    EXPECT_EQ(recorder.events, (QStringList{"c", "c", "c", "array"}));
    EXPECT_EQ(binder.observedItems(), (QList<QXObservable*>{&b, &c}));
    recorder.events.clear();
    a.setUID(QStringLiteral("a2")); // no longer observed
    b.setUID(QStringLiteral("b2"));
    EXPECT_EQ(recorder.events, (QStringList{"b"}));
    binder.stopObservingContent();
    recorder.events.clear();
    c.setUID(QStringLiteral("c2"));
    controller.setContent({&a});
    EXPECT_TRUE(recorder.events.isEmpty());
    EXPECT_FALSE(binder.observedItems().has_value());
}

using BoundFlowViewTest = FlowViewFixture;

TEST_F(BoundFlowViewTest, ABoundControllerFeedsTheViewAndFollowsItsSelection) {
    view = std::make_unique<QXFlowView>();
    view->resize(800, 300);
    view->show();
    BoundItem a(QStringLiteral("a"), Qt::red), b(QStringLiteral("b"), Qt::green),
        c(QStringLiteral("c"), Qt::blue);
    QXArrayController controller(&BoundItem::staticMetaObject);
    controller.setContent({&a, &b});
    QObject notAController;
    EXPECT_THROW(view->bind(QXFlowView::contentArrayBinding, &notAController,
                            QXArrayController::arrangedObjectsKey),
                 QXInvalidParameter);
    view->bind(QXFlowView::contentArrayBinding, &controller, QXArrayController::arrangedObjectsKey);
    EXPECT_EQ(view->numberOfItems(), 2u);
    EXPECT_EQ(view->title(), QStringLiteral("a"));
    EXPECT_EQ(view->infoForBinding(QXFlowView::contentArrayBinding)
                  .value(QXFlowViewContentBinder::observedObjectKey)
                  .value<QObject*>(),
              &controller);
    view->setSelectedIndex(1);
    EXPECT_EQ(controller.selectionIndex(), 1u);
    controller.setContent({&b, &c, &a});
    EXPECT_EQ(view->numberOfItems(), 3u);
    EXPECT_EQ(view->selectedIndex(), 0u);
    settle();
    ASSERT_TRUE(waitForImages());
    // A changed image drops the item's cached one, so the item is decoded again.
    auto cached = [&](const QString& uid) { return view->imageCache().imageForUUID(uid); };
    ASSERT_FALSE(cached(QStringLiteral("c")).isNull());
    EXPECT_EQ(cached(QStringLiteral("c")).pixelColor(0, 0), QColor(Qt::blue));
    c.setColour(Qt::yellow);
    EXPECT_TRUE(cached(QStringLiteral("c")).isNull());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !cached(QStringLiteral("c")).isNull(); }));
    EXPECT_EQ(cached(QStringLiteral("c")).pixelColor(0, 0), QColor(Qt::yellow));
    // A changed UID is decoded under the new one.
    c.setUID(QStringLiteral("c-new"));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !cached(QStringLiteral("c-new")).isNull(); }));
    view->unbind(QXFlowView::contentArrayBinding);
    EXPECT_EQ(view->contentBinder(), nullptr);
    EXPECT_TRUE(view->infoForBinding(QXFlowView::contentArrayBinding).isEmpty());
}

#include "QXFlowViewContentBinderTest.moc"
