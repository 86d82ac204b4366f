#pragma once

// Where each item of the cover flow stands: the item side, frames, 3D transforms and the row's
// width. Holds the selection and the count; knows no items beyond their aspect ratios.

#include "coverflow/QXCoverFlowLayoutAttributes.h"
#include "coverflow/QXNotFound.h"
#include "coverflow/QXTransform3D.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <optional>
#include <vector>

class QXCoverFlowLayout;

class QXCoverFlowLayoutDelegate {
public:
    virtual ~QXCoverFlowLayoutDelegate() = default;
    // Width / height of the item's image.
    virtual double aspectRatioForItem(const QXCoverFlowLayout& layout, QXIndex index) = 0;
};

class QXCoverFlowLayout {
public:
    // Names of the observable properties, as passed to observers.
    static inline const QString stackedAngleKey = QStringLiteral("stackedAngle");
    static inline const QString interItemSpacingKey = QStringLiteral("interItemSpacing");
    static inline const QString selectedItemIndexKey = QStringLiteral("selectedItemIndex");
    static inline const QString stackedDistanceKey = QStringLiteral("stackedDistance");
    static inline const QString verticalMarginKey = QStringLiteral("verticalMargin");
    static inline const QString numberOfItemsKey = QStringLiteral("numberOfItems");
    static inline const QString visibleSizeKey = QStringLiteral("visibleSize");

    QXCoverFlowLayout()
        : QXCoverFlowLayout(QSizeF(100, 100)) {}
    explicit QXCoverFlowLayout(QSizeF visibleSize);
    QXCoverFlowLayout(const QXCoverFlowLayout&) = delete;
    QXCoverFlowLayout& operator=(const QXCoverFlowLayout&) = delete;

    double interItemSpacing() const { return interItemSpacing_; }
    void setInterItemSpacing(double spacing);
    double stackedAngle() const { return stackedAngle_; }
    void setStackedAngle(double degrees);
    QXIndex selectedItemIndex() const { return selectedItemIndex_; }
    void setSelectedItemIndex(QXIndex index);
    QXIndex numberOfItems() const { return numberOfItems_; }
    // Notifies observers on every call, also with the same count (the cover-flow layer reloads).
    void setNumberOfItems(QXIndex count);
    double stackedDistance() const { return stackedDistance_; }
    void setStackedDistance(double distance);
    double verticalMargin() const { return verticalMargin_; }
    void setVerticalMargin(double margin);
    QSizeF visibleSize() const { return visibleSize_; }
    void setVisibleSize(QSizeF size);
    QXCoverFlowLayoutDelegate* delegate() const { return delegate_; }
    // Not owned; the owner clears it before the delegate dies.
    void setDelegate(QXCoverFlowLayoutDelegate* delegate) { delegate_ = delegate; }

    // The square item: side = visible height - 2 x margin, never negative.
    QSizeF itemSize() const;
    QSizeF contentSize() const;
    QRectF visibleRect() const { return {QPointF(0, 0), visibleSize_}; }
    double aspectRatioForItem(QXIndex index) const;
    QTransform aspectTransformForItem(QXIndex index) const;
    QSizeF sizeForItem(QXIndex index) const;
    QPointF originForItem(QXIndex index) const;
    QRectF itemFrameForItem(QXIndex index) const;
    double horizontalOffsetForItem(QXIndex index) const;
    QXIndex distanceForItemFromSelection(QXIndex index) const;
    QXTransform3D transformForItem(QXIndex index) const;
    // Empty for an index at or beyond the count.
    std::optional<QXCoverFlowLayoutAttributes> layoutAttributesForItemAtIndex(QXIndex index) const;

    // Everything the geometry depends on besides the items' aspect ratios, so that a pass can be
    // worked out again later exactly as it was.
    struct Metrics {
        double width = 0;
        double height = 0;
        double interItemSpacing = 0;
        double verticalMargin = 0;
        double cosine = 0;
        QXIndex selectedItemIndex = QXNotFound;
        QXIndex numberOfItems = 0;
        QXTransform3D leftTransform;
        QXTransform3D rightTransform;
        friend bool operator==(const Metrics&, const Metrics&) = default;
    };
    Metrics metrics() const;
    static double itemSide(const Metrics& m);
    static double step(const Metrics& m);
    static double horizontalOffsetForItem(const Metrics& m, QXIndex index);
    // The attributes of an index below the count.
    static QXCoverFlowLayoutAttributes attributesForItem(const Metrics& m, QXIndex index,
                                                         double aspectRatio);

    // Observation: called with the property's key after each change of that property.
    using Observer = std::function<void(const QString& key)>;
    int addObserver(Observer observer);
    void removeObserver(int token);

    // Keyed archive: the seven stored values under their property names, read back as stored.
    QVariantMap toVariantMap() const;
    void fromVariantMap(const QVariantMap& map);

private:
    void notify(const QString& key);
    void updateSelection();
    void updateTrigonometry();

    double interItemSpacing_ = 10;
    double stackedAngle_ = 70;
    QXIndex selectedItemIndex_ = QXNotFound;
    QXIndex numberOfItems_ = 0;
    double stackedDistance_ = 300;
    double verticalMargin_ = 10;
    QXCoverFlowLayoutDelegate* delegate_ = nullptr;
    QSizeF visibleSize_;
    std::vector<std::pair<int, Observer>> observers;
    int nextToken = 1;
    // Derived from the angle and distance, kept so a pass over many items computes them once.
    double cosine = 0;
    QXTransform3D leftTransform;
    QXTransform3D rightTransform;
};
