#pragma once

// A flow view on the offscreen platform fed by a data source of solid-colour PNG items, with a
// clock the test moves so that animations end when the test says.

#include "coverflow/QXFlowView.h"
#include "coverflow/QXRepresentationTypes.h"
#include "coverflow/QXTransaction.h"
#include "support/EventLoop.h"

#include <QBuffer>
#include <QImage>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

struct ColourItem : QXFlowViewItem {
    QVariant representation;
    QString type = QXFlowViewNSDataRepresentationType;
    QString uid;
    std::optional<QString> title;

    static QColor colourFor(int i) { return QColor::fromHsv(i * 37 % 360, 200, 220); }
    static QByteArray png(const QColor& colour, QSize size = {64, 64}) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    }
    QVariant imageItemRepresentation() const override { return representation; }
    QString imageItemRepresentationType() const override { return type; }
    QString imageItemUID() const override { return uid; }
    std::optional<QString> imageItemTitle() const override { return title; }
};

struct ColourItems : QXFlowViewDataSource, QXFlowViewDelegate {
    std::vector<std::shared_ptr<ColourItem>> items;
    int selectionChanges = 0;
    std::vector<QXIndex> doubleClicked, rightClicked, removed;
    bool answersDoubleClick = true;
    bool throwsOnItems = false;
    std::optional<Qt::DropAction> validation;
    std::vector<QXIndex> validated;
    std::vector<QXIndex> dropped;

    void fill(int count, QSize size = {64, 64}) {
        items.clear();
        for (int i = 0; i < count; ++i) {
            auto item = std::make_shared<ColourItem>();
            item->representation = ColourItem::png(ColourItem::colourFor(i), size);
            item->uid = QStringLiteral("item-%1").arg(i);
            item->title = QStringLiteral("Item %1").arg(i);
            items.push_back(item);
        }
    }
    QXIndex numberOfItemsInFlowView(QXFlowView&) override { return items.size(); }
    QXFlowViewItemPtr itemAtIndex(QXFlowView&, QXIndex index) override {
        if (throwsOnItems)
            throw std::runtime_error("no items today");
        return items.at(index);
    }
    std::optional<Qt::DropAction> validateDrop(QXFlowView&, const QDropEvent&,
                                               QXIndex index) override {
        validated.push_back(index);
        return validation;
    }
    std::optional<bool> acceptDrop(QXFlowView&, const QDropEvent&, QXIndex index) override {
        dropped.push_back(index);
        return true;
    }
    bool removeItemAtIndex(QXFlowView&, QXIndex index) override {
        removed.push_back(index);
        return true;
    }
    void flowViewSelectionDidChange(QXFlowView&) override { ++selectionChanges; }
    bool itemWasDoubleClickedAtIndex(QXFlowView&, QXIndex index) override {
        if (!answersDoubleClick)
            return false;
        doubleClicked.push_back(index);
        return true;
    }
    bool itemWasRightClickedAtIndex(QXFlowView&, QXIndex index, const QMouseEvent&) override {
        rightClicked.push_back(index);
        return true;
    }
};

class FlowViewFixture : public ::testing::Test {
protected:
    double now = 100;
    ColourItems source;
    std::unique_ptr<QXFlowView> view;

    void SetUp() override {
        QXTransaction::setClock([this] { return now; });
    }
    void TearDown() override {
        view.reset();
        TestSupport::drainEvents();
        QXTransaction::setClock({});
    }

    // A shown view of count items, at rest.
    QXFlowView& make(int count, QSize size = {800, 300}) {
        source.fill(count);
        view = std::make_unique<QXFlowView>();
        view->resize(size);
        view->setDataSource(&source);
        view->setDelegate(&source);
        view->reloadContent();
        view->show();
        settle();
        return *view;
    }
    // Ends every animation and runs the pending layout pass.
    void settle() {
        view->flushLayout();
        now += 10;
        QXTransaction::processCompletions();
        view->flushLayout();
    }
    // Where an item's centre is on screen, in widget coordinates.
    QPoint centreOf(QXIndex index) {
        settle();
        QXLayer* item = view->coverFlowLayer().contentLayerAtIndex(index);
        const QPointF root = item->matrixToAncestor(&view->backgroundLayer(), true)
                                 .mapPoint(item->bounds().center());
        return QPoint(int(root.x()), int(view->height() - root.y()));
    }
    // The point of the scroll bar at a fraction of its width, in widget coordinates.
    QPoint onScrollBar(double fraction) {
        const QRectF bar = view->scrollBarLayer().frame();
        return QPoint(int(bar.left() + fraction * bar.width()),
                      int(view->height() - bar.center().y()));
    }
    bool waitForImages() {
        return TestSupport::waitUntil([this] {
            const QXIndexRange visible = view->visibleItemIndexes();
            for (QXIndex i = visible.location; visible.length && i <= visible.last(); ++i)
                if (view->coverFlowLayer().contentLayerAtIndex(i)->contents().cacheKey() ==
                    QXFlowView::defaultImage().cacheKey())
                    return false;
            return !visible.isEmpty();
        });
    }
};
