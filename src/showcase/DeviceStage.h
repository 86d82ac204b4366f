#pragma once

// The carousel in the middle of the showcase: the three series side by side, or every
// generation of one series. The selected item stands in the centre at full size; the others are
// shifted aside, raised, turned away, shrunk and dimmed. Each item stands on a faint reflection
// and casts a shadow; side items carry a caption. A capsule at the foot shows or hides the
// generation strip. Clicks on an item, drags across the stage and scrolling over it ask the
// showcase to move.

#include "showcase/DeviceStageGeometry.h"
#include "showcase/StartupDeviceArtwork.h"
#include "showcase/StartupDeviceFlowState.h"

#include <QImage>
#include <QPolygonF>
#include <QString>
#include <QWidget>

#include <map>
#include <tuple>
#include <vector>

class GenerationToggle;
class QVariantAnimation;

class DeviceStage : public QWidget {
    Q_OBJECT

public:
    static constexpr int heightLimit = 360;
    static constexpr double dragDistance = 30;
    // Perspective of the turn, as a share of the item's larger side.
    static constexpr double perspective = 0.45;

    struct Item {
        StartupDeviceArtwork artwork;
        double scale = 1;
        QString caption; // empty for the centre item
        QString accessibleName;
    };

    struct Content {
        bool generationsMode = false;
        int selected = 0;
        std::vector<Item> items; // in position order
        QString toggleTitle;
        QString toggleAction;
        bool toggleCollapses = false;
        QString toggleAccessibleName;
    };

    // One item as it stands in the current frame (mid-animation values while moving).
    using Frame = DeviceStageGeometry::Item;

    explicit DeviceStage(QWidget* parent = nullptr);
    ~DeviceStage() override;

    void setContent(const Content& content, StartupDeviceFlowState::Animation animation);
    const Content& content() const { return content_; }

    DeviceStageGeometry stageGeometry() const;
    const std::vector<Frame>& frames() const { return current_; }
    bool isAnimating() const;
    // The artwork's rectangle before the turn, and the quadrilateral it is drawn in.
    QRectF artworkRect(int position) const;
    QPolygonF artworkQuad(int position) const;
    // The item drawn on top at a point, front to back; -1 for none.
    int itemAt(QPointF point) const;

    GenerationToggle* toggle() const { return toggle_; }

    // Rendered artworks kept for the items on show.
    std::size_t cachedArtworkCount() const { return cache_.size(); }
    void clearCache() { cache_.clear(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void itemActivated(int position);
    void moveRequested(int delta);
    void toggleRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

public:
    // One item's pictures, kept while the item is on show.
    struct Rendered {
        QImage artwork;    // at the full (centre) height
        QImage shadow;     // blurred silhouette, at a quarter of the resolution
        QRectF shadowRect; // relative to the artwork's rectangle at full height
        QImage strip;      // the reflection at the height last drawn
        int stripKey = -1; // that height in device pixels
    };

private:
    struct CacheKey {
        int series;
        int generation;
        int finish;
        qint64 imageKey;
        int pixelHeight;
        int ratioPercent;
        bool operator<(const CacheKey& o) const {
            return std::tie(series, generation, finish, imageKey, pixelHeight, ratioPercent) <
                   std::tie(o.series, o.generation, o.finish, o.imageKey, o.pixelHeight,
                            o.ratioPercent);
        }
    };
    std::vector<Frame> targets() const;
    std::vector<int> paintOrder() const;
    void snapToTargets();
    void animationStep(double t);
    CacheKey keyFor(const Item& item, double devicePixelRatio) const;
    // Renders the pictures of the items at these positions that the cache lacks.
    void renderMissing(const std::vector<int>& positions, double devicePixelRatio);
    bool isOnStage(int position) const;
    void pruneCache(double devicePixelRatio);
    QTransform turn(const QRectF& artwork, double tiltDegrees) const;
    void paintItem(QPainter& painter, int position, Rendered& rendered, double ratio);
    void paintCaption(QPainter& painter, int position);
    void placeToggle();

    Content content_;
    // Where the running animation starts and ends; worked out once, not on every frame.
    std::vector<Frame> from_;
    std::vector<Frame> to_;
    std::vector<Frame> current_;
    QVariantAnimation* animation_ = nullptr;
    GenerationToggle* toggle_ = nullptr;
    std::map<CacheKey, Rendered> cache_;

    QPointF pressPoint_;
    int pressedItem_ = -1;
    bool pressed_ = false;
    bool dragging_ = false;
};
