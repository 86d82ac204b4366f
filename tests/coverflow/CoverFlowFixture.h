#pragma once

// A cover-flow layer inside a host layer, with solid-colour items and a clock the test moves.

#include "coverflow/QXCoverFlowLayer.h"
#include "coverflow/QXTransaction.h"

#include <QColor>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

struct SolidItems : QXCoverFlowLayerDataSource {
    std::vector<QColor> colors;
    int willRelayout = 0;
    int didRelayout = 0;
    std::vector<QXIndex> shown;

    static QColor colorFor(QXIndex i) { return QColor::fromHsv(int(i * 37 % 360), 200, 230); }
    QXLayer::Ptr contentLayerForIndex(QXCoverFlowLayer&, QXIndex index) override {
        auto layer = QXLayer::create();
        QImage image(8, 8, QImage::Format_ARGB32_Premultiplied);
        image.fill(colorFor(index));
        layer->setContents(image);
        layer->setContentsGravity(QXLayer::Gravity::resizeAspectFill);
        layer->qx_disableImplicitAnimationForKey(QStringLiteral("bounds"));
        layer->qx_disableImplicitAnimationForKey(QStringLiteral("contents"));
        return layer;
    }
    void coverFlowLayerWillRelayout(QXCoverFlowLayer&) override { ++willRelayout; }
    void coverFlowLayerDidRelayout(QXCoverFlowLayer&) override { ++didRelayout; }
    void willShowLayer(QXCoverFlowLayer&, QXLayer&, QXIndex index) override {
        shown.push_back(index);
    }
};

class CoverFlowFixture : public ::testing::Test {
protected:
    double now = 100;
    std::shared_ptr<QXCoverFlowLayout> layout;
    std::shared_ptr<QXLayer> host;
    std::shared_ptr<QXCoverFlowLayer> flow;
    SolidItems items;

    void SetUp() override {
        QXTransaction::setClock([this] { return now; });
    }
    void TearDown() override {
        if (flow)
            flow->setDataSource(nullptr);
        QXTransaction::setClock({});
    }

    // A row of count items in a width x height host, the flow view's spacing of 50.
    void build(double width, double height, QXIndex count, QXIndex selected = 0) {
        items.shown.clear();
        layout = std::make_shared<QXCoverFlowLayout>();
        layout->setInterItemSpacing(50);
        host = QXLayer::create();
        host->setAnchorPoint({0, 0});
        host->setBounds({0, 0, width, height});
        host->setBackgroundColor(Qt::black);
        flow = QXCoverFlowLayer::layerWithLayout(layout);
        flow->setDataSource(&items);
        host->addSublayer(flow);
        flow->setFrame({0, 0, width, height});
        layout->setNumberOfItems(count);
        layout->setSelectedItemIndex(selected);
        host->layoutIfNeeded();
        settle();
    }
    void settle() {
        now += 10;
        QXTransaction::processCompletions();
    }
    QImage render(double dpr = 1) {
        const QRectF b = host->bounds();
        QImage image(int(b.width() * dpr), int(b.height() * dpr),
                     QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        host->render(painter, b.height());
        return image;
    }
    // The on-screen centre of an item, in the flow layer's space (y-up).
    QPointF projectedCentre(QXIndex i) {
        const auto& layer = flow->contentLayers()[i];
        return layer->matrixToAncestor(flow.get(), true).mapPoint(layer->bounds().center());
    }
};
